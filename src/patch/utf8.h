// UTF-8 checks for text that leaves the program (JSON, the path field).
#pragma once

#include <stddef.h>

// Length of the valid UTF-8 sequence at `s` (1 to 4), or 0 where none starts:
// no overlong forms, surrogates or values past U+10FFFF.
size_t utf8_sequence_length(const char *s);

// Copies `in` to `out` (`size` bytes, always terminated), keeping valid UTF-8
// sequences and replacing every byte that starts no valid sequence with U+FFFD.
// Cuts only between characters when `out` is too small.
void utf8_sanitize(const char *in, char *out, size_t size);
