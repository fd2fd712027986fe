// Folder names in several scripts, for the drawing layers' fallback tests:
// each name is made of distinct characters, so that it differs from itself
// reversed unless every character is drawn as the same box. And the fixed
// texts of the program, which must never need another font.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "patch/catalogue.h"

struct ScriptName {
    const char *script;
    const char *name;
    bool in_ui_font;    // Cyrillic: drawn by the UI font itself, with or without fallback
    const char *font;   // a font file with the script that the Debian packages install
};

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";            // fonts-dejavu-core
const char kCjk[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";         // fonts-noto-cjk
const char kDevanagari[] = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";   // fonts-noto-core

inline const std::vector<ScriptName> &script_names() {
    static const std::vector<ScriptName> names = {
        {"Latin", "\xE1\xBA\xBD\xE1\xBB\xB9\xC5\xA9\xC4\xA9\xE1\xBB\x99\xE1\xBB\x9D", false, kDejaVu},   // ẽỹũĩộờ
        {"Greek", "\xCE\xB1\xCE\xB2\xCE\xB3\xCE\xB4\xCE\xB5\xCE\xB6", false, kDejaVu},      // αβγδεζ
        {"Cyrillic", "\xD0\xB6\xD0\xB7\xD0\xB8\xD0\xB9\xD0\xBA\xD0\xBB", true, kDejaVu},    // жзийкл
        {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE4\xBD\x93\xE6\xB5\x8B\xE8\xAF\x95", false, kCjk},  // 中文字体测试
        {"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\x8B\xE3\x81\xAA\xE3\x82\xAB\xE3\x83\x8A", false,
         kCjk},                                                                                        // 日本語かなカナ
        {"Korean", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\xED\x8F\xB4\xEB\x8D\x94", false, kCjk},  // 한국어폴더
        // Drawn without shaping: its letters, but not its conjuncts.
        {"Devanagari", "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87", false,
         kDevanagari},                                                                                 // नमस्ते
    };
    return names;
}

// The same characters in the opposite order.
inline std::string reversed(const std::string &name) {
    std::vector<std::string> characters;
    for (size_t i = 0; i < name.size();) {
        size_t n = 1;
        while (i + n < name.size() && ((unsigned char)name[i + n] & 0xC0) == 0x80) ++n;
        characters.insert(characters.begin(), name.substr(i, n));
        i += n;
    }
    std::string out;
    for (const std::string &c : characters) out += c;
    return out;
}

// Every label, title and message text of the patcher.
inline std::vector<const char *> fixed_texts() {
    return {kPathPrompt,        kSupportedEditions, kMusicFixLabelShort, kMusicFixLabelLong, kLabelBrowse,
            kLabelFpsLimit,     kLabelInfo,         kLabelCredit,        kLabelPatch,        kLabelOk,
            kTitleUnsupported,  kTitleInformation,  kTextInformation,    kTitleSuccess,      kTextSuccess,
            kTitleReadingError, kTextReadingError,  kTitlePatchFailed,   kTitlePathTooLong,  kTextNotWritable,
            kTextFileChanged,   kTextPathTooLong,   kTitleDropRefused,   kTextDropRefused};
}
