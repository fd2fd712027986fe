// How the patcher compiles Nuklear: fixed-width (64-bit size) types, the default
// allocator, standard file I/O, font baking and the default font and vertex
// output compiled in though unused, no command user data, and buttons that fire
// on press (the library's default). Include this instead of nuklear.h.
#pragma once

#define NK_INCLUDE_FIXED_TYPES
#define NK_INCLUDE_DEFAULT_ALLOCATOR
#define NK_INCLUDE_STANDARD_IO
#define NK_INCLUDE_VERTEX_BUFFER_OUTPUT
#define NK_INCLUDE_FONT_BAKING
#define NK_INCLUDE_DEFAULT_FONT

// Nuklear's assertions stay on in every build, NDEBUG or not: a violated
// library precondition ends the program with the C runtime's own assertion
// report, as a debug build's assert would.
#ifdef __cplusplus
extern "C"
#endif
    void nk_assert_report(const char *expression, const char *file, unsigned line);
#define NK_ASSERT(expr) ((expr) ? (void)0 : nk_assert_report(#expr, __FILE__, __LINE__))

#include "nuklear.h"
