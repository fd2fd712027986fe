// MD5 of a whole file as 32 lower-case hexadecimal digits, from the platform's
// cryptographic service: CryptoAPI on Windows, OpenSSL's libcrypto on Linux,
// and in WebAssembly, which has neither, libmd's MD5.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum { DIGEST_SIZE = 33 };   // 32 hex digits and the terminator

// The program-wide digest text. Identification also uses it as scratch space for
// the version text it probes, so after a probe it holds those bytes until the
// digest overwrites them.
extern char digest[DIGEST_SIZE];

// Streams the file in 1024-byte blocks. Returns 0 with `out` filled, or a
// non-zero platform error code with `out` untouched. One implementation per
// platform.
uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]);

// The same into `digest`.
uint32_t file_md5_hex(const char *filename);

// For the digests that read through the C library: streams the regular file
// `filename` in 1024-byte blocks into `feed` (which returns 0 when it fails).
// Returns 0, or an errno when the file cannot be opened or read, or EIO when
// `feed` failed.
uint32_t stream_file_blocks(const char *filename, int (*feed)(void *ctx, const unsigned char *block, size_t len),
                            void *ctx);

// Writes `len` raw bytes as 2 * len lower-case hex digits and a terminator.
void digest_hex(const unsigned char *raw, unsigned len, char *out);
