// Bounded text copies for the engine's fixed-size buffers.
#pragma once

#include <stddef.h>
#include <string.h>

// Copies `src` into `dst` of `size` bytes, always terminated, cut if too long.
// Returns the length written.
inline size_t copy_text(char *dst, size_t size, const char *src) {
    size_t n = strlen(src);
    if (n >= size) n = size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}
