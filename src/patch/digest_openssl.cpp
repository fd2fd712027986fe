// MD5 through OpenSSL's EVP interface, streamed in 1024-byte blocks.
#include <errno.h>
#include <openssl/evp.h>

#include "patch/digest.h"
#include "patch/fileio.h"

uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]) {
    FILE *file = open_regular_file(filename, "rb");
    if (!file) return (uint32_t)errno_or_eio();

    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    if (!ctx || !EVP_DigestInit_ex(ctx, EVP_md5(), nullptr)) {
        EVP_MD_CTX_free(ctx);
        fclose(file);
        return ENOMEM;
    }

    uint32_t code = 0;
    unsigned char block[1024];
    for (;;) {
        size_t got = fread(block, 1, sizeof block, file);
        if (got > 0 && !EVP_DigestUpdate(ctx, block, got)) {
            code = EIO;
            break;
        }
        if (got < sizeof block) {
            if (ferror(file)) code = (uint32_t)errno_or_eio();
            break;
        }
    }
    if (code == 0) {
        unsigned char raw[EVP_MAX_MD_SIZE];
        unsigned len = 0;
        if (EVP_DigestFinal_ex(ctx, raw, &len) && len == 16)
            digest_hex(raw, len, out);
        else
            code = EIO;
    }
    EVP_MD_CTX_free(ctx);
    fclose(file);
    return code;
}
