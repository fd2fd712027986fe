// The shipped languages, for tests that run the program's texts in each.
#pragma once

#include <string>
#include <vector>

// po/LINGUAS: "de", "pt_BR", ...
std::vector<std::string> shipped_languages();

// Makes the texts answer in `code` ("" for English) from the build's own
// catalogues, as the platform's programs read them: glibc's gettext on
// Linux, the catalogue reader elsewhere. Fails the test where the
// catalogue cannot be had.
void speak(const std::string &code);
