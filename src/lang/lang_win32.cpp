// The Windows programs' language: the user's display languages, in their
// order, against the catalogues carried in the .exe as RCDATA resources
// named KELM_LANG_<CODE> (lang.rc, made at build time from po/).
#include <windows.h>

#include <string>
#include <vector>

#include "lang/lang.h"
#include "lang/lang_list.h"
#include "lang/lang_mo.h"

void lang_init(void) {
    ULONG count = 0, size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) return;
    std::vector<WCHAR> names(size);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size)) return;
    // A list of names, each ended by a zero, the list by another.
    std::vector<std::string> wanted;
    for (const WCHAR *name = names.data(); name < names.data() + size && *name; name += wcslen(name) + 1) {
        std::string tag;
        for (const WCHAR *c = name; *c; ++c) tag += *c < 0x80 ? (char)*c : '?';
        wanted.push_back(tag);
    }
    std::vector<const char *> wanted_tags, codes;
    for (const std::string &tag : wanted) wanted_tags.push_back(tag.c_str());
    for (size_t i = 0; i < kLangCatalogueCount; ++i) codes.push_back(kLangCatalogues[i].code);
    const int pick = lang_pick(wanted_tags.data(), wanted_tags.size(), codes.data(), codes.size());
    if (pick < 0) return;
    std::string resource = "KELM_LANG_";
    for (const char *c = codes[pick]; *c; ++c) resource += (char)(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
    HRSRC found = FindResourceA(nullptr, resource.c_str(), MAKEINTRESOURCEA(10));   // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void *bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes) lang_use_catalogue(bytes, SizeofResource(nullptr, found));
}
