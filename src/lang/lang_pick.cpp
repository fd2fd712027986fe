// The choice of catalogue from the user's languages, for the programs that
// carry their catalogues themselves (Windows, the page). gettext makes the
// same choice for the Linux programs from LANGUAGE and the locale.
#include <ctype.h>
#include <string.h>

#include <string>

#include "lang/lang_mo.h"

namespace {

struct Tag {
    std::string language, script, region;
};

// "pt-BR", "pt_BR.UTF-8", "zh-Hans-CN", "sr_RS@latin": language, script and
// region, in lower case.
Tag parse(const char *text) {
    Tag tag;
    std::string s;
    for (const char *p = text; *p && *p != '.' && *p != '@'; ++p)
        s += *p == '-' ? '_' : (char)tolower((unsigned char)*p);
    size_t start = 0;
    for (int part = 0; start <= s.size(); ++part) {
        size_t end = s.find('_', start);
        if (end == std::string::npos) end = s.size();
        const std::string piece = s.substr(start, end - start);
        if (part == 0)
            tag.language = piece;
        else if (piece.size() == 4 && tag.script.empty() && tag.region.empty())
            tag.script = piece;
        else if (tag.region.empty() && (piece.size() == 2 || piece.size() == 3))
            tag.region = piece;
        start = end + 1;
    }
    return tag;
}

// Chinese is two written languages: the script decides, or else the region.
std::string chinese_script(const Tag &tag) {
    if (!tag.script.empty()) return tag.script;
    if (tag.region == "tw" || tag.region == "hk" || tag.region == "mo") return "hant";
    return "hans";
}

bool same(const Tag &wanted, const Tag &have, bool whole) {
    if (wanted.language != have.language) return false;
    if (wanted.language == "zh") return chinese_script(wanted) == chinese_script(have);
    return !whole || wanted.region == have.region;
}

}  // namespace

int lang_pick(const char *const *wanted, size_t wanted_count, const char *const *available, size_t available_count) {
    for (size_t w = 0; w < wanted_count; ++w) {
        const Tag tag = parse(wanted[w]);
        // The programs' own language ends the search: English is the user's choice.
        if (tag.language == "en" || tag.language == "c" || tag.language == "posix") return -1;
        // The whole tag first, then the language alone (another region's
        // catalogue of it only where there is none without a region).
        for (int pass = 0; pass < 3; ++pass)
            for (size_t a = 0; a < available_count; ++a) {
                const Tag have = parse(available[a]);
                const bool match = pass == 0   ? same(tag, have, true)
                                   : pass == 1 ? have.region.empty() && same(tag, have, false)
                                               : same(tag, have, false);
                if (match) return (int)a;
            }
    }
    return -1;
}
