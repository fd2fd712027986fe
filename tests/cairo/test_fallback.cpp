// Glyph fallback in the Cairo backend, with the UI font and the fonts Debian
// installs (fonts-dejavu-core, which the build needs anyway; fonts-noto-core
// and fonts-noto-cjk from scripts/setup.sh).
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../unit/scripts.h"
#include "assets/assets.h"
#include "cairo/cdraw.h"
#include "render/draw.h"

namespace {

const uint32_t kBlack = 0xFF000000;

class CairoFallback : public ::testing::TestWithParam<ScriptName> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(cdraw_init(&b, 240, 40, 1));
        font = cdraw_font_from_memory(&b, ui_font_ttf, (int)ui_font_ttf_size, 13);
        ASSERT_NE(nullptr, font);
    }
    void TearDown() override {
        cdraw_font_free(font);
        cdraw_shutdown(&b);
    }
    // The buffer's pixels after drawing `text` in white on black at (4, 4).
    std::vector<uint32_t> drawn(const std::string &text) {
        cdraw_clear(&b, nk_rgb(0, 0, 0));
        cdraw_draw_text(&b, 4, 4, text.data(), (int32_t)text.size(), font, 0xFFFFFFFF);
        cairo_surface_flush(b.back_buffer);
        const uint32_t *p = (const uint32_t *)cairo_image_surface_get_data(b.back_buffer);
        return std::vector<uint32_t>(p, p + 240 * 40);
    }
    // Leftmost and rightmost inked columns, top and bottom rows, of what `drawn` drew.
    static std::vector<int> extent(const std::vector<uint32_t> &pixels) {
        int left = 240, right = -1, top = 40, bottom = -1;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 240; ++x)
                if (pixels[(size_t)(y * 240 + x)] != kBlack)
                    left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                    bottom = std::max(bottom, y);
        return {left, right, top, bottom};
    }
    float width(const std::string &text) {
        return cdraw_text_width(nk_handle_ptr(font), 13, text.data(), (int)text.size());
    }
    CdrawBackend b;
    CdrawFont *font = nullptr;
};

// A name and the same name reversed differ only where real glyphs are drawn:
// boxes are all alike. Without fallback the same comparison finds nothing,
// which is what every window showed before.
TEST_P(CairoFallback, NamesDrawRealGlyphsAndMeasureAsDrawn) {
    const ScriptName &s = GetParam();
    if (access(s.font, R_OK) != 0) GTEST_SKIP() << s.font << " is not installed: scripts/setup.sh installs it";
    const std::string name = s.name, back = reversed(name);
    const std::vector<uint32_t> forth = drawn(name), reverse = drawn(back);
    EXPECT_NE(forth, reverse) << s.script << " is drawn as boxes";
    // What Nuklear measures is what is drawn: the path field clips and
    // scrolls by it.
    const std::vector<int> ink = extent(forth);
    EXPECT_NEAR(4 + width(name), ink[1] + 1, 2.5) << s.script;
    EXPECT_GT(width(name), 6 * 5.0f);

    font->fallback.off = true;
    if (s.in_ui_font)
        EXPECT_NE(drawn(name), drawn(back)) << "the UI font's own Cyrillic";
    else
        EXPECT_EQ(drawn(name), drawn(back)) << "without fallback, " << s.script << " should be boxes";
}

INSTANTIATE_TEST_SUITE_P(Scripts, CairoFallback, ::testing::ValuesIn(script_names()),
                         [](const ::testing::TestParamInfo<ScriptName> &info) { return info.param.script; });

using CairoFallbackFonts = CairoFallback;

TEST_F(CairoFallbackFonts, TheProgramsOwnTextsNeedNoOtherFontAndDrawAsBefore) {
    const std::vector<const char *> fixed = fixed_texts();
    std::vector<std::string> texts(fixed.begin(), fixed.end());
    for (int err = 1; err < 134; ++err) texts.push_back(strerror(err));   // the reasons in messages
    for (const std::string &text : texts) {
        EXPECT_FALSE(fallback_needed(&font->fallback, text.data(), (int32_t)text.size())) << text;
    }
    const std::vector<uint32_t> with = drawn(kLabelFpsLimit);
    font->fallback.off = true;
    EXPECT_EQ(with, drawn(kLabelFpsLimit));
    EXPECT_EQ(0, font->face_count) << "no other font was opened";
}

TEST_F(CairoFallbackFonts, FallbackSitsOnTheBaselineAndComesFromTheUiFontsFamily) {
    // e from the UI font, ẽ (which no shipped language needs) from DejaVu
    // Serif, which the UI font was cut from: fontconfig ranks it first for
    // the UI font's family.
    const std::vector<int> e = extent(drawn("e")), acute = extent(drawn("\xE1\xBA\xBD"));
    EXPECT_EQ(e[3], acute[3]) << "baselines differ";
    EXPECT_LT(acute[2], e[2]) << "the accent stands above the letter";
    EXPECT_EQ(e[0], acute[0]);
    ASSERT_EQ(1, font->face_count);
    EXPECT_NE(nullptr, strstr(font->faces[0].file, "DejaVuSerif")) << font->faces[0].file;

    // An accent typed after its letter lands on it: as wide as the letter,
    // not as two characters side by side.
    EXPECT_NEAR(width("e"), width("e\xCC\x81"), 0.5f);
    EXPECT_EQ(extent(drawn("\xC3\xA9"))[1], extent(drawn("e\xCC\x81"))[1]);

    // A character no font has (plane 16's last private-use code) is the UI
    // font's own box, as it would be without fallback, and so is a stray byte.
    const std::string none = "a\xF4\x8F\xBF\xBD" "b";
    const std::vector<uint32_t> boxed = drawn(none);
    font->fallback.off = true;
    EXPECT_EQ(boxed, drawn(none));
    font->fallback.off = false;

    // Each character is looked for once: drawing a name twice opens nothing more.
    drawn(script_names()[1].name);
    const int32_t faces = font->face_count;
    const uint32_t answers = font->fallback.used;
    drawn(script_names()[1].name);
    width(script_names()[1].name);
    EXPECT_EQ(faces, font->face_count);
    EXPECT_EQ(answers, font->fallback.used);
}

// The cmap reader that the Windows backend relies on, against FreeType's own
// reading of real fonts: the same characters, from the UI font, DejaVu, Noto
// and a CJK collection.
TEST(Cmap, ReadsWhatFreeTypeReads) {
    struct Font {
        std::string bytes;
        const char *path;
    };
    std::vector<Font> fonts = {{std::string((const char *)ui_font_ttf, ui_font_ttf_size), "the UI font"}};
    const char *files[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                           "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
                           "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"};
    for (const char *path : files) {
        FILE *f = fopen(path, "rb");
        if (!f) {
            printf("  (%s is not installed: scripts/setup.sh installs it)\n", path);
            continue;
        }
        std::string bytes;
        char chunk[65536];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
        fclose(f);
        fonts.push_back({bytes, path});
    }
    FT_Library library;
    ASSERT_EQ(0, FT_Init_FreeType(&library));
    for (const Font &font : fonts) {
        FT_Face face;
        ASSERT_EQ(0, FT_New_Memory_Face(library, (const FT_Byte *)font.bytes.data(), (FT_Long)font.bytes.size(), 0,
                                        &face))
            << font.path;
        FallbackRanges expected;
        FT_UInt glyph;
        for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph; c = FT_Get_Next_Char(face, c, &glyph))
            expected.add((uint32_t)c, (uint32_t)c);
        FT_Done_Face(face);

        size_t size = 0;
        const uint8_t *cmap = sfnt_table(font.bytes.data(), font.bytes.size(), 0x636D6170, &size);
        ASSERT_NE(nullptr, cmap) << font.path;
        FallbackRange *read = nullptr;
        const int32_t count = cmap_ranges(cmap, size, &read);
        ASSERT_EQ(expected.count, count) << font.path;
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_EQ(expected.r[i].first, read[i].first) << font.path << " range " << i;
            ASSERT_EQ(expected.r[i].last, read[i].last) << font.path << " range " << i;
        }
        printf("  %s: %d characters in %d ranges\n", font.path, (int)[&] {
            int n = 0;
            for (int32_t i = 0; i < count; ++i) n += (int)(read[i].last - read[i].first + 1);
            return n;
        }(), (int)count);
        free(read);
        free(expected.r);
    }
    FT_Done_FreeType(library);
}

}  // namespace
