// The Windows programs' language: the user's display languages, in their
// order, against the catalogues carried in the .exe as RCDATA resources
// named KELM_LANG_<CODE> (made at build time from po/ by pack_catalogue.py:
// the catalogue's size in 4 bytes, little-endian, then the catalogue in
// LZNT1, which ntdll decompresses; ntdll is in every process already).
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "lang/lang.h"
#include "lang/lang_list.h"
#include "lang/lang_mo.h"

void lang_init(void) {
    enum { MOST = 16, TAG = 32 };   // languages looked at, and the longest tag kept
    WCHAR names[MOST * TAG];
    ULONG count = 0, size = sizeof names / sizeof *names;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names, &size)) return;
    // A list of names, each ended by a zero, the list by another.
    char tags[MOST][TAG];
    const char *wanted[MOST];
    size_t n = 0;
    for (const WCHAR *name = names; name < names + size && *name && n < MOST; name += wcslen(name) + 1) {
        size_t i = 0;
        for (; name[i] && i + 1 < TAG; ++i) tags[n][i] = name[i] < 0x80 ? (char)name[i] : '?';
        tags[n][i] = '\0';
        wanted[n] = tags[n];
        ++n;
    }
    const char *codes[32];
    size_t have = 0;
    for (; have < kLangCatalogueCount && have < 32; ++have) codes[have] = kLangCatalogues[have].code;
    const int pick = lang_pick(wanted, n, codes, have);
    if (pick < 0) return;
    char resource[TAG] = "KELM_LANG_";
    size_t at = strlen(resource);
    for (const char *c = codes[pick]; *c && at + 1 < sizeof resource; ++c)
        resource[at++] = (char)(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
    resource[at] = '\0';
    HRSRC found = FindResourceA(nullptr, resource, MAKEINTRESOURCEA(10));   // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const unsigned char *packed = loaded ? (const unsigned char *)LockResource(loaded) : nullptr;
    const DWORD packed_size = found ? SizeofResource(nullptr, found) : 0;
    if (!packed || packed_size < 4) return;
    typedef LONG(WINAPI * Decompress)(USHORT, PUCHAR, ULONG, PUCHAR, ULONG, PULONG);
    Decompress decompress =
        (Decompress)(void (*)(void))GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDecompressBuffer");
    const ULONG length = packed[0] | packed[1] << 8 | packed[2] << 16 | (ULONG)packed[3] << 24;
    // The catalogue lives as long as the program: its texts are answered in place.
    unsigned char *catalogue = decompress && length <= (1u << 20) ? (unsigned char *)malloc(length) : nullptr;
    ULONG got = 0;
    if (catalogue && decompress(2 /* COMPRESSION_FORMAT_LZNT1 */, catalogue, length, (PUCHAR)packed + 4,
                                packed_size - 4, &got) == 0 &&
        got == length && lang_use_catalogue(catalogue, length))
        return;
    free(catalogue);   // English, then
}
