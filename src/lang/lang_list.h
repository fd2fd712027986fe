// The catalogues a build carries (generated from po/LINGUAS).
#pragma once

#include <stddef.h>

struct LangCatalogue {
    const char *code;      // "de", "pt_BR": the po/ file's name
    const char *autonym;   // the language's name in itself
};
extern const LangCatalogue kLangCatalogues[];
extern const size_t kLangCatalogueCount;
