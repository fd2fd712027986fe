#include "patch/json.h"

#include <stdlib.h>
#include <string.h>

#include "patch/utf8.h"

void json_begin(JsonLine *line, FILE *out) {
    line->out = out;
    line->fields = 0;
    fputc('{', out);
}

static void write_quoted(FILE *out, const char *text) {
    // Every byte may grow into three (U+FFFD), so size the copy for that.
    size_t size = strlen(text) * 3 + 1;
    char *clean = (char *)malloc(size);
    if (!clean) abort();
    utf8_sanitize(text, clean, size);
    fputc('"', out);
    for (const unsigned char *s = (const unsigned char *)clean; *s; ++s) {
        switch (*s) {
        case '"': fputs("\\\"", out); break;
        case '\\': fputs("\\\\", out); break;
        case '\n': fputs("\\n", out); break;
        case '\r': fputs("\\r", out); break;
        case '\t': fputs("\\t", out); break;
        default:
            if (*s < 0x20)
                fprintf(out, "\\u%04x", *s);
            else
                fputc(*s, out);
        }
    }
    fputc('"', out);
    free(clean);
}

static void key(JsonLine *line, const char *name) {
    if (line->fields++) fputs(", ", line->out);
    write_quoted(line->out, name);
    fputs(": ", line->out);
}

void json_string(JsonLine *line, const char *name, const char *value) {
    key(line, name);
    write_quoted(line->out, value);
}

void json_int(JsonLine *line, const char *name, long long value) {
    key(line, name);
    fprintf(line->out, "%lld", value);
}

void json_bool(JsonLine *line, const char *name, int value) {
    key(line, name);
    fputs(value ? "true" : "false", line->out);
}

void json_null(JsonLine *line, const char *name) {
    key(line, name);
    fputs("null", line->out);
}

void json_end(JsonLine *line) { fputs("}\n", line->out); }
