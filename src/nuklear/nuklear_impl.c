// The one translation unit that holds Nuklear's implementation, and the report
// behind NK_ASSERT (nuklear_config.h).

// The runtime's report, reached whatever NDEBUG says for the rest of the
// build: the function that the C library's assert() calls when its expression
// is false.
#undef NDEBUG
#include <assert.h>
#include <stdlib.h>

void nk_assert_report(const char *expression, const char *file, unsigned line) {
#if defined(_WIN32)
    _assert(expression, file, line);
#else
    __assert_fail(expression, file, line, "Nuklear");
#endif
    abort();
}

#define NK_IMPLEMENTATION
#include "nuklear_config.h"
