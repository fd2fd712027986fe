#include "languages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "lang/lang.h"

#if defined(_WIN32) || defined(__EMSCRIPTEN__)
#include "lang/lang_mo.h"
#else
#include <locale.h>
#include <stdlib.h>
// glibc's count of catalogue changes: raised, it drops the texts it has
// already looked up (gettext's own manual names it for this).
extern "C" int _nl_msg_cat_cntr;
#endif

std::vector<std::string> shipped_languages() {
    std::ifstream linguas(KELM_SOURCE_DIR "/po/LINGUAS");
    std::vector<std::string> codes;
    for (std::string line; std::getline(linguas, line);)
        if (!line.empty() && line[0] != '#') codes.push_back(line);
    EXPECT_FALSE(codes.empty()) << "no po/LINGUAS";
    return codes;
}

void speak(const std::string &code) {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    static std::string catalogue;
    catalogue.clear();
    if (code.empty()) {
        lang_use_catalogue(nullptr, 0);
        return;
    }
    std::ifstream in(KELM_LOCALE_DIR "/" + code + "/LC_MESSAGES/kelm-patcher.mo", std::ios::binary);
    catalogue.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ASSERT_TRUE(lang_use_catalogue(catalogue.data(), catalogue.size())) << code;
#else
    static bool bound = false;
    if (!bound) lang_init();
    bound = true;
    if (code.empty())
        unsetenv("LANGUAGE");
    else
        setenv("LANGUAGE", code.c_str(), 1);
    // LANGUAGE counts in any locale but C itself.
    ASSERT_TRUE(setlocale(LC_ALL, "C.UTF-8"));
    ++_nl_msg_cat_cntr;
#endif
    if (!code.empty()) {
        ASSERT_STRNE("English", lang_autonym()) << code << ": the catalogue did not answer";
    }
}
