#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "lang/lang.h"

std::string tr_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char small[512];
    const int n = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) return std::string();
    if ((size_t)n < sizeof small) return std::string(small, (size_t)n);
    std::string out((size_t)n, '\0');
    va_start(args, format);
    vsnprintf(&out[0], (size_t)n + 1, format, args);
    va_end(args);
    return out;
}

const char *lang_code(void) {
    // The empty text's translation is the catalogue's header.
    static char code[16];
    const char *field = strstr(tr(""), "Language: ");
    if (!field) return "en";
    field += strlen("Language: ");
    const size_t n = strcspn(field, "\n");
    if (n == 0 || n >= sizeof code) return "en";
    memcpy(code, field, n);
    code[n] = '\0';
    return code;
}
