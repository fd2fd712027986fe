#include "patch/digest.h"

char digest[DIGEST_SIZE];

uint32_t file_md5_hex(const char *filename) { return file_md5_hex_to(filename, digest); }

void digest_hex(const unsigned char *raw, unsigned len, char *out) {
    static const char kHex[] = "0123456789abcdef";
    for (unsigned i = 0; i < len; ++i) {
        out[2 * i] = kHex[raw[i] >> 4];
        out[2 * i + 1] = kHex[raw[i] & 15];
    }
    out[2 * len] = '\0';
}
