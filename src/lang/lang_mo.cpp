// The texts from a gettext catalogue (.mo) held in memory: the Windows
// programs carry theirs inside the .exe, the page hands in the one it
// loaded. Nothing in the catalogue is trusted: a catalogue that is cut
// short, out of order or otherwise not msgfmt's own answers nothing, and the
// English texts stand.
#include "lang/lang_mo.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "lang/lang.h"

namespace {

struct Catalogue {
    const uint8_t *data = nullptr;
    size_t size = 0;
    bool swapped = false;   // written on a machine of the other byte order
    uint32_t count = 0;
    uint32_t originals = 0;
    uint32_t translations = 0;
    char plural[128] = "";  // the C expression of the header's Plural-Forms
    bool keyed = false;     // originals are keys: the FNV-1a hash of the English, in hex
    unsigned long forms = 2;
};

Catalogue active;

uint32_t word_at(const Catalogue &c, size_t at) {
    uint32_t v;
    memcpy(&v, c.data + at, 4);
    return c.swapped ? __builtin_bswap32(v) : v;
}

// Entry `i` of the table at `table`: its text and length, or null where it
// does not lie within the catalogue or lacks the zero byte after it.
const char *entry(const Catalogue &c, uint32_t table, uint32_t i, uint32_t *length) {
    const size_t at = (size_t)table + (size_t)i * 8;
    if (at + 8 > c.size) return nullptr;
    const uint32_t len = word_at(c, at), offset = word_at(c, at + 4);
    if ((uint64_t)offset + len >= c.size || c.data[offset + len] != 0) return nullptr;
    *length = len;
    return (const char *)c.data + offset;
}

// The translation of `key` (a msgid, or context EOT msgid), all its forms
// with the zero bytes between them; null where there is none.
const char *lookup(const Catalogue &c, const char *key, uint32_t *length) {
    if (!c.data) return nullptr;
    // A catalogue packed for a program that holds the English texts itself
    // (the Windows programs) names each by its hash; the header stays "".
    char hashed[9];
    if (c.keyed && *key) {
        uint32_t h = 0x811C9DC5u;
        for (const unsigned char *p = (const unsigned char *)key; *p; ++p) h = (h ^ *p) * 0x01000193u;
        for (int i = 7; i >= 0; --i, h >>= 4) hashed[i] = "0123456789abcdef"[h & 15];
        hashed[8] = '\0';
        key = hashed;
    }
    uint32_t low = 0, high = c.count;
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        uint32_t len;
        const char *original = entry(c, c.originals, mid, &len);
        if (!original) return nullptr;
        const int order = strcmp(key, original);
        if (order == 0) {
            const char *found = entry(c, c.translations, mid, length);
            return found && *length ? found : nullptr;
        }
        if (order < 0)
            high = mid;
        else
            low = mid + 1;
    }
    return nullptr;
}

// The plural rule: a C expression over n, as in the header's Plural-Forms.
// A rule that does not read is taken as English's.
struct Rule {
    const char *p;
    unsigned long n;
    int depth = 0;
    bool bad = false;

    void space() {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    }
    bool take(const char *op) {
        space();
        const size_t len = strlen(op);
        if (strncmp(p, op, len) != 0) return false;
        // "<" is not the start of "<=", nor "!" of "!=", nor "=" alone anything;
        // ")" before "==" is still ")".
        if (len == 1 && ((strchr("<>!", *op) && p[1] == '=') || ((*op == '|' || *op == '&') && p[1] == *op)))
            return false;
        p += len;
        return true;
    }
    unsigned long primary() {
        space();
        if (++depth > 64) bad = true;
        if (bad) return 0;
        unsigned long v = 0;
        if (*p == 'n') {
            ++p;
            v = n;
        } else if (*p >= '0' && *p <= '9') {
            while (*p >= '0' && *p <= '9') v = v * 10 + (unsigned long)(*p++ - '0');
        } else if (take("(")) {
            v = conditional();
            if (!take(")")) bad = true;
        } else if (take("!")) {
            v = !primary();
        } else {
            bad = true;
        }
        --depth;
        return v;
    }
    unsigned long product() {
        unsigned long v = primary();
        for (;;) {
            if (bad) return 0;
            if (take("*")) {
                v *= primary();
            } else if (take("/") || take("%")) {
                const char op = p[-1];
                const unsigned long d = primary();
                if (d == 0) {
                    bad = true;
                    return 0;
                }
                v = op == '/' ? v / d : v % d;
            } else {
                return v;
            }
        }
    }
    unsigned long sum() {
        unsigned long v = product();
        for (;;) {
            if (take("+"))
                v += product();
            else if (take("-"))
                v -= product();
            else
                return v;
        }
    }
    unsigned long relation() {
        unsigned long v = sum();
        for (;;) {
            if (take("<="))
                v = v <= sum();
            else if (take(">="))
                v = v >= sum();
            else if (take("<"))
                v = v < sum();
            else if (take(">"))
                v = v > sum();
            else
                return v;
        }
    }
    unsigned long equality() {
        unsigned long v = relation();
        for (;;) {
            if (take("=="))
                v = v == relation();
            else if (take("!="))
                v = v != relation();
            else
                return v;
        }
    }
    unsigned long conjunction() {
        unsigned long v = equality();
        while (take("&&")) {
            const unsigned long w = equality();
            v = v && w;
        }
        return v;
    }
    unsigned long disjunction() {
        unsigned long v = conjunction();
        while (take("||")) {
            const unsigned long w = conjunction();
            v = v || w;
        }
        return v;
    }
    unsigned long conditional() {
        if (++depth > 64) bad = true;
        if (bad) return 0;
        const unsigned long test = disjunction();
        unsigned long v = test;
        if (take("?")) {
            const unsigned long yes = conditional();
            if (!take(":")) bad = true;
            const unsigned long no = conditional();
            v = test ? yes : no;
        }
        --depth;
        return v;
    }
};

unsigned long plural_form(const Catalogue &c, unsigned long n) {
    if (!c.plural[0]) return n != 1;
    Rule rule{c.plural, n};
    const unsigned long form = rule.conditional();
    rule.space();
    return rule.bad || *rule.p ? n != 1 : form;
}

// "nplurals=N; plural=EXPR;" out of the header, if it has them.
void read_plural_forms(Catalogue *c, const char *header) {
    const char *line = strstr(header, "Plural-Forms:");
    if (!line) return;
    const size_t length = strcspn(line, "\n");
    const char *count = strstr(line, "nplurals=");
    const char *rule = count ? strstr(count + 9, "plural=") : nullptr;
    if (!rule || rule >= line + length) return;
    const unsigned long n = strtoul(count + 9, nullptr, 10);
    rule += 7;
    const size_t rule_length = strcspn(rule, ";\n");
    if (n < 1 || n > 6 || rule_length >= sizeof c->plural) return;
    c->forms = n;
    memcpy(c->plural, rule, rule_length);
    c->plural[rule_length] = '\0';
}

}  // namespace

bool lang_use_catalogue(const void *mo, size_t size) {
    active = Catalogue();
    Catalogue c;
    c.data = (const uint8_t *)mo;
    c.size = size;
    if (!mo || size < 28) return false;
    const uint32_t magic = word_at(c, 0);
    if (magic != 0x950412de) {
        c.swapped = true;
        if (word_at(c, 0) != 0x950412de) return false;
    }
    if ((word_at(c, 4) >> 16) > 1) return false;   // a major revision we do not know
    c.count = word_at(c, 8);
    c.originals = word_at(c, 12);
    c.translations = word_at(c, 16);
    if (c.count == 0 || c.count > size / 16 || c.originals > size || c.translations > size) return false;
    // The header is the translation of the empty text, which sorts first.
    uint32_t len;
    const char *first = entry(c, c.originals, 0, &len);
    const char *header = first && len == 0 ? entry(c, c.translations, 0, &len) : nullptr;
    if (!header) return false;
    read_plural_forms(&c, header);
    c.keyed = strstr(header, "X-Kelm-Keys: fnv1a32\n") != nullptr;
    active = c;
    return true;
}

const char *tr(const char *msgid) {
    uint32_t len;
    // The empty text too: its translation is the header, as gettext's is.
    const char *found = lookup(active, msgid, &len);
    return found ? found : msgid;
}

const char *trn(const char *singular, const char *plural, unsigned long n) {
    uint32_t len;
    const char *found = lookup(active, singular, &len);
    if (!found) return n == 1 ? singular : plural;
    // The forms, each ended by a zero byte; a form the catalogue lacks is
    // no reason to show a wrong one.
    unsigned long form = plural_form(active, n);
    if (form >= active.forms) return n == 1 ? singular : plural;
    const char *text = found, *end = found + len;
    for (; form > 0; --form) {
        text += strlen(text) + 1;
        if (text > end) return n == 1 ? singular : plural;
    }
    return *text ? text : (n == 1 ? singular : plural);
}

const char *trc(const char *context, const char *msgid) {
    // gettext's key for a text in a context: the context, EOT, the text.
    char key[512];
    const size_t a = strlen(context), b = strlen(msgid);
    if (a + b + 2 > sizeof key) return msgid;
    memcpy(key, context, a);
    key[a] = '\004';
    memcpy(key + a + 1, msgid, b + 1);
    uint32_t len;
    const char *found = lookup(active, key, &len);
    return found ? found : msgid;
}
