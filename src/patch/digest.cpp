#include "patch/digest.h"

#include <errno.h>
#include <stdio.h>

#include "patch/fileio.h"

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

uint32_t stream_file_blocks(const char *filename, int (*feed)(void *ctx, const unsigned char *block, size_t len),
                            void *ctx) {
    FILE *file = open_regular_file(filename, "rb");
    if (!file) return (uint32_t)errno_or_eio();
    uint32_t code = 0;
    unsigned char block[1024];
    for (;;) {
        size_t got = fread(block, 1, sizeof block, file);
        if (got > 0 && !feed(ctx, block, got)) {
            code = EIO;
            break;
        }
        if (got < sizeof block) {
            if (ferror(file)) code = (uint32_t)errno_or_eio();
            break;
        }
    }
    fclose(file);
    return code;
}
