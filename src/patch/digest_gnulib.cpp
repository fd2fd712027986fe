// MD5 through gnulib's md5 module, for WebAssembly, where there is no
// platform cryptographic service to ask. The module is compiled from Debian's
// gnulib package, as it stands there.
#include <stddef.h>

// gnulib's headers are C99; C++ spells the qualifier differently.
#define restrict __restrict
#include "md5.h"
#undef restrict

#include "patch/digest.h"

static int feed(void *ctx, const unsigned char *block, size_t len) {
    md5_process_bytes(block, len, (struct md5_ctx *)ctx);
    return 1;
}

uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]) {
    struct md5_ctx ctx;
    md5_init_ctx(&ctx);
    uint32_t code = stream_file_blocks(filename, feed, &ctx);
    if (code == 0) {
        unsigned char raw[16];
        md5_finish_ctx(&ctx, raw);
        digest_hex(raw, sizeof raw, out);
    }
    return code;
}
