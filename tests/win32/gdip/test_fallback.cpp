// Glyph fallback in the GDI+ backend, with the UI font and the families that
// Wine finds through fontconfig (DejaVu from fonts-dejavu-core, Noto from
// fonts-noto-core and fonts-noto-cjk, which scripts/setup.sh installs).
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../unit/scripts.h"
#include "assets/assets.h"
#include "backend.h"

namespace {

const struct nk_color kWhite = nk_rgb(255, 255, 255);

// The UI font, on a fresh backend each time: a backend takes ten fonts at most.
class Fallback : public ::testing::Test {
  protected:
    void SetUp() override {
        restart_backend();
        font = gdip_font_from_memory(&gdip, ui_font_ttf, (int)ui_font_ttf_size, 13);
        ASSERT_NE(nullptr, font);
        gdip_set_font(&test_context, font);
    }
    void TearDown() override {
        use_default_font();
        gdip_font_free(font);
    }
    std::vector<uint32_t> drawn(const std::string &text, short y = 4) {
        gdip_clear(&gdip, nk_rgb(0, 0, 0));
        GdipSetTextRenderingHint(gdip.back_buffer_graphics, TextRenderingHintClearTypeGridFit);
        gdip_draw_text(4, y, 200, 16, text.data(), (int)text.size(), font, kWhite);
        return read_back_buffer().argb;
    }
    // Leftmost, rightmost, top and bottom inked pixel of what `drawn` drew.
    static std::vector<int> extent(const std::vector<uint32_t> &argb, int top = 0, int right = TEST_WIDTH) {
        int l = TEST_WIDTH, r = -1, t = TEST_HEIGHT, b = -1;
        for (int y = top; y < TEST_HEIGHT; ++y)
            for (int x = 0; x < right; ++x)
                if (argb[(size_t)(y * TEST_WIDTH + x)] & 0xFFFFFF)
                    l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
        return {l, r, t, b};
    }
    float width(const std::string &text) {
        return gdip_text_width(nk_handle_ptr(font), 13, text.data(), (int)text.size());
    }
    // The Linux font file, through Wine's view of the file system.
    static bool installed(const char *font) {
        std::string path = std::string("Z:") + font;
        std::replace(path.begin(), path.end(), '/', '\\');
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string stand_ins() {
        std::string names;
        for (int32_t i = 0; i < font->stand_in_count; ++i) {
            GpFontFamily *family = nullptr;
            WCHAR name[LF_FACESIZE] = {};
            GdipGetFamily(font->stand_ins[i].font, &family);
            GdipGetFamilyName(family, name, LANG_NEUTRAL);
            GdipDeleteFontFamily(family);
            char utf8[LF_FACESIZE * 3];
            WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
            names += (names.empty() ? "" : ", ") + std::string(utf8);
        }
        return names;
    }

    GdipFont *font = nullptr;
};

// Per script, as in the Linux backend's test: a name and its reverse differ
// only in real glyphs, measure as wide as they draw, and without fallback
// are the same boxes.
TEST_F(Fallback, NamesInEveryScriptDrawRealGlyphsAndMeasureAsDrawn) {
    for (const ScriptName &s : script_names()) {
        SCOPED_TRACE(s.script);
        if (!installed(s.font)) {
            printf("  %s: %s is not installed; scripts/setup.sh installs it\n", s.script, s.font);
            continue;
        }
        const std::string name = s.name, back = reversed(name);
        const std::vector<uint32_t> forth = drawn(name);
        EXPECT_NE(forth, drawn(back)) << "drawn as boxes";
        EXPECT_NEAR(4 + width(name), extent(forth)[1] + 1, 3.0);
        font->fallback.off = true;
        if (s.in_ui_font)
            EXPECT_NE(drawn(name), drawn(back)) << "the UI font's own Cyrillic";
        else
            EXPECT_EQ(drawn(name), drawn(back)) << "without fallback these should be boxes";
        font->fallback.off = false;
    }
    printf("  stand-ins: %s\n", stand_ins().c_str());
    EXPECT_GE(font->stand_in_count, 1);
}

TEST_F(Fallback, TheProgramsOwnTextsNeedNoOtherFontAndDrawAsBefore) {
    const std::vector<const char *> fixed = fixed_texts();
    std::vector<std::string> texts(fixed.begin(), fixed.end());
    for (int err = 1; err < 43; ++err) texts.push_back(strerror(err));   // the reasons in messages
    for (const std::string &text : texts)
        EXPECT_FALSE(fallback_needed(&font->fallback, text.data(), (int32_t)text.size())) << text;
    const std::vector<uint32_t> with = drawn(kTextInformation);
    font->fallback.off = true;
    EXPECT_EQ(with, drawn(kTextInformation));
    EXPECT_EQ(0, font->stand_in_count);
    EXPECT_EQ(nullptr, gdip.families) << "no installed family was looked at";
}

TEST_F(Fallback, StandInsSitOnTheBaselineAndLinesKeepTheirSpacing) {
    const std::vector<int> e = extent(drawn("e")), acute = extent(drawn("\xE1\xBA\xBD"));
    EXPECT_EQ(e[3], acute[3]) << "baselines differ";
    EXPECT_LT(acute[2], e[2]) << "the accent stands above the letter";
    EXPECT_NEAR(e[0], acute[0], 1);
    // A second line is as far below the first as GDI+ puts it by itself
    // (the H of each, left of the accent, which reaches higher).
    const std::vector<uint32_t> own = drawn("H\r\nH"), mixed = drawn("H\r\nH\xE1\xBA\xBD");
    const int h = 4 + (int)width("H");
    EXPECT_EQ(extent(own, 18, h), extent(mixed, 18, h));
    // An accent typed after its letter lands on it.
    EXPECT_NEAR(width("e"), width("e\xCC\x81"), 0.5f);
    // A character no installed family has is the UI font's own box.
    const std::string none = "a\xF4\x8F\xBF\xBD" "b";
    const std::vector<uint32_t> boxed = drawn(none);
    font->fallback.off = true;
    EXPECT_EQ(boxed, drawn(none));
    font->fallback.off = false;
    // Looked for once: drawing and measuring again opens and asks nothing more.
    const std::string greek = script_names()[1].name;
    drawn(greek);
    const int32_t stand_ins = font->stand_in_count;
    const uint32_t answers = font->fallback.used;
    drawn(greek);
    width(greek);
    EXPECT_EQ(stand_ins, font->stand_in_count);
    EXPECT_EQ(answers, font->fallback.used);
}

}  // namespace
