#include "patch/utf8.h"

#include <string.h>

size_t utf8_sequence_length(const char *text) {
    const unsigned char *s = (const unsigned char *)text;
    unsigned c = s[0];
    size_t len;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4;
    else
        return 0;
    for (size_t i = 1; i < len; ++i)   // stops at the terminator, which is no continuation byte
        if ((s[i] & 0xC0) != 0x80) return 0;
    if (len == 3 && ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] >= 0xA0))) return 0;
    if (len == 4 && ((c == 0xF0 && s[1] < 0x90) || (c == 0xF4 && s[1] >= 0x90))) return 0;
    return len;
}

void utf8_sanitize(const char *in, char *out, size_t size) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    if (!size) return;
    const unsigned char *s = (const unsigned char *)in;
    size_t o = 0;
    while (*s) {
        size_t len = utf8_sequence_length((const char *)s);
        const char *piece = len ? (const char *)s : kReplacement;
        size_t piece_len = len ? len : 3;
        if (o + piece_len >= size) break;
        memcpy(out + o, piece, piece_len);
        o += piece_len;
        s += len ? len : 1;
    }
    out[o] = '\0';
}
