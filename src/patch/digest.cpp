#include "patch/digest.h"

char digest[DIGEST_SIZE];

uint32_t file_md5_hex(const char *filename) { return file_md5_hex_to(filename, digest); }
