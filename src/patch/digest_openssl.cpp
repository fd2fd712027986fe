// MD5 through OpenSSL's EVP interface.
#include <errno.h>
#include <openssl/evp.h>

#include "patch/digest.h"

static int feed(void *ctx, const unsigned char *block, size_t len) {
    return EVP_DigestUpdate((EVP_MD_CTX *)ctx, block, len);
}

uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]) {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    if (!ctx || !EVP_DigestInit_ex(ctx, EVP_md5(), nullptr)) {
        EVP_MD_CTX_free(ctx);
        return ENOMEM;
    }
    uint32_t code = stream_file_blocks(filename, feed, ctx);
    if (code == 0) {
        unsigned char raw[EVP_MAX_MD_SIZE];
        unsigned len = 0;
        if (EVP_DigestFinal_ex(ctx, raw, &len) && len == 16)
            digest_hex(raw, len, out);
        else
            code = EIO;
    }
    EVP_MD_CTX_free(ctx);
    return code;
}
