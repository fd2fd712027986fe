// MD5 through libmd's MD5Init/MD5Update/MD5Final, for WebAssembly, where there
// is no platform cryptographic service to ask. libmd's md5.c is compiled from
// Debian's libmd source package as it stands there (fetched by the setup).
#include <md5.h>

#include "patch/digest.h"

static int feed(void *ctx, const unsigned char *block, size_t len) {
    MD5Update((MD5_CTX *)ctx, block, len);
    return 1;
}

uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]) {
    MD5_CTX ctx;
    MD5Init(&ctx);
    uint32_t code = stream_file_blocks(filename, feed, &ctx);
    if (code == 0) {
        unsigned char raw[MD5_DIGEST_LENGTH];
        MD5Final(raw, &ctx);
        digest_hex(raw, sizeof raw, out);
    }
    return code;
}
