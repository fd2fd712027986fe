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
#include "nuklear.h"
