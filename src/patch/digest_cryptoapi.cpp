// MD5 through CryptoAPI: the file is read with ReadFile in 1024-byte blocks and
// fed to a CALG_MD5 hash; everything acquired is released in the order hash,
// context, file.
#include <windows.h>
#include <wincrypt.h>

#include "patch/digest.h"

// A failing call that left no error code behind must still read as a failure.
static DWORD last_error(void) {
    DWORD err = GetLastError();
    return err ? err : ERROR_GEN_FAILURE;
}

uint32_t file_md5_hex_to(const char *filename, char out[DIGEST_SIZE]) {
    // Writers shared too: a reader that keeps them out would make a patcher
    // running at the same moment fail to open the file at all, "Permission
    // denied". Patchers keep each other out with their lock.
    HANDLE file = CreateFileA(filename, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_error();
    // A device (CON, a serial port) opens too, and reading it would wait for input.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return ERROR_INVALID_FUNCTION;
    }

    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        DWORD err = last_error();
        CloseHandle(file);
        return err;
    }

    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(prov, CALG_MD5, 0, 0, &hash)) {
        DWORD err = last_error();
        CloseHandle(file);
        CryptReleaseContext(prov, 0);
        return err;
    }

    DWORD err = 0;
    BYTE block[1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
            err = last_error();
            break;
        }
        if (got == 0) {
            BYTE raw[16];
            DWORD len = sizeof raw;
            if (!CryptGetHashParam(hash, HP_HASHVAL, raw, &len, 0)) {
                err = last_error();
                break;
            }
            digest_hex(raw, len, out);
            break;
        }
        if (!CryptHashData(hash, block, got, 0)) {
            err = last_error();
            break;
        }
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(prov, 0);
    CloseHandle(file);
    return err;
}
