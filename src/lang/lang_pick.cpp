// The choice of catalogue from the user's languages, for the programs that
// carry their catalogues themselves (Windows, the page). gettext makes the
// same choice for the Linux programs from LANGUAGE and the locale.
#include <ctype.h>
#include <string.h>

#include "lang/lang_mo.h"

namespace {

// "pt-BR", "pt_BR.UTF-8", "zh-Hans-CN", "sr_RS@latin": language, script and
// region, in lower case (a part longer than a tag has is cut short).
struct Tag {
    char language[9] = "", script[5] = "", region[4] = "";
};

Tag parse(const char *text) {
    Tag tag;
    const char *p = text;
    for (int part = 0; *p && *p != '.' && *p != '@'; ++part) {
        char piece[9];
        size_t n = 0;
        for (; *p && *p != '.' && *p != '@' && *p != '-' && *p != '_'; ++p)
            if (n + 1 < sizeof piece) piece[n++] = (char)tolower((unsigned char)*p);
        piece[n] = '\0';
        if (*p == '-' || *p == '_') ++p;
        if (part == 0)
            strcpy(tag.language, piece);
        else if (n == 4 && !tag.script[0] && !tag.region[0])
            strcpy(tag.script, piece);
        else if (!tag.region[0] && (n == 2 || n == 3))
            strcpy(tag.region, piece);
    }
    return tag;
}

// Chinese is two written languages: the script decides, or else the region.
const char *chinese_script(const Tag &tag) {
    if (tag.script[0]) return tag.script;
    return !strcmp(tag.region, "tw") || !strcmp(tag.region, "hk") || !strcmp(tag.region, "mo") ? "hant" : "hans";
}

bool same(const Tag &wanted, const Tag &have, bool whole) {
    if (strcmp(wanted.language, have.language) != 0) return false;
    if (!strcmp(wanted.language, "zh")) return !strcmp(chinese_script(wanted), chinese_script(have));
    return !whole || !strcmp(wanted.region, have.region);
}

}  // namespace

int lang_pick(const char *const *wanted, size_t wanted_count, const char *const *available, size_t available_count) {
    for (size_t w = 0; w < wanted_count; ++w) {
        const Tag tag = parse(wanted[w]);
        // The programs' own language ends the search: English is the user's choice.
        if (!strcmp(tag.language, "en") || !strcmp(tag.language, "c") || !strcmp(tag.language, "posix")) return -1;
        // The whole tag first, then the language alone (another region's
        // catalogue of it only where there is none without a region).
        for (int pass = 0; pass < 3; ++pass)
            for (size_t a = 0; a < available_count; ++a) {
                const Tag have = parse(available[a]);
                const bool match = pass == 0   ? same(tag, have, true)
                                   : pass == 1 ? !have.region[0] && same(tag, have, false)
                                               : same(tag, have, false);
                if (match) return (int)a;
            }
    }
    return -1;
}
