// Catalogues held in memory, and the choice among those a program carries.
#pragma once

#include <stddef.h>

// Makes the gettext catalogue (.mo bytes, which must outlive its use)
// answer tr() and its kin. A catalogue that does not read leaves English;
// returns whether it was taken.
bool lang_use_catalogue(const void *mo, size_t size);

// Which of `available` (catalogue names: "de", "pt_BR", "zh_CN") serves a
// user who reads the languages `wanted` (BCP 47 tags or POSIX names, most
// wanted first): the whole tag first, then its language alone; Simplified
// Chinese by script or region. Returns the index in `available`, or -1 for
// English.
int lang_pick(const char *const *wanted, size_t wanted_count, const char *const *available, size_t available_count);
