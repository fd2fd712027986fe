// Bounded text copies for the engine's fixed-size buffers.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

// Where `s` must end when only `n` of its bytes fit: at `n`, or before a
// UTF-8 character that `n` would cut in two.
inline size_t utf8_whole(const char *s, size_t n) {
    size_t end = n;
    while (end > 0 && ((unsigned char)s[end] & 0xC0) == 0x80) --end;
    return end;
}

// Copies `src` into `dst` of `size` bytes, always terminated, cut if too long
// (before the character that would not fit whole). Returns the length written.
inline size_t copy_text(char *dst, size_t size, const char *src) {
    size_t n = strlen(src);
    if (n >= size) n = utf8_whole(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

// After snprintf into `buf` of `size` bytes reported `wanted`: a text that was
// cut loses the part of a character the cut left at its end.
inline void mend_cut(char *buf, size_t size, int wanted) {
    if (wanted >= 0 && (size_t)wanted >= size && size > 0) buf[utf8_whole(buf, size - 1)] = '\0';
}

// snprintf, with mend_cut after it.
__attribute__((format(printf, 3, 4))) inline void format_into(char *buf, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    mend_cut(buf, size, vsnprintf(buf, size, format, args));
    va_end(args);
}
