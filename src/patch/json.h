// A small JSON line writer for the front ends (kelm-patch, the web page): one
// flat object per line, keys in the order they are written.
#pragma once

#include <stdio.h>

struct JsonLine {
    FILE *out;
    int fields;
};

void json_begin(JsonLine *line, FILE *out);
// `value` is any byte string: invalid UTF-8 becomes U+FFFD, control characters are escaped.
void json_string(JsonLine *line, const char *key, const char *value);
void json_int(JsonLine *line, const char *key, long long value);
void json_bool(JsonLine *line, const char *key, int value);
void json_null(JsonLine *line, const char *key);
void json_end(JsonLine *line);
