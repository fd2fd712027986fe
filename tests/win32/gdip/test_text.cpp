// Fonts from real TrueType data in private collections, measuring and drawing
// text with them, and the bounds of the collection table.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "backend.h"

namespace {

const wchar_t kDejaVuPath[] = L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";

// The font's bytes, read through Wine's view of the Linux file system.
std::string read_dejavu(void) {
    std::string bytes;
    HANDLE file = CreateFileW(kDejaVuPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD got = 0;
    ReadFile(file, bytes.data(), (DWORD)bytes.size(), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

class Text : public ::testing::Test {
protected:
    void SetUp() override {
        data = read_dejavu();
        if (data.empty()) GTEST_SKIP() << "DejaVuSans.ttf is not installed (fonts-dejavu-core)";
    }
    // Registered fonts stay with the backend until shutdown, so the data must too.
    static std::string data;
    static float width(GdipFont *font, const char *text) {
        return gdip_text_width(nk_handle_ptr(font), 0.0f, text, (int)strlen(text));
    }
};
std::string Text::data;

TEST_F(Text, FontFromMemoryMeasuresTrailingSpacesAndWholeCharacters) {
    const int32_t before = gdip.collection_count;
    ASSERT_LT(before, GDIP_FONT_COLLECTIONS);
    GdipFont *font = gdip_font_from_memory(&gdip, data.data(), (int)data.size(), 13);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(gdip.collection_count, before + 1);
    gdip_set_font(&test_context, font);
    EXPECT_EQ(test_context.style.font, &font->user_font);
    EXPECT_FLOAT_EQ(font->user_font.height, 13.0f);
    EXPECT_EQ(font->user_font.userdata.ptr, font);

    EXPECT_GT(width(font, "ab"), 0.0f);
    EXPECT_GT(width(font, "ab "), width(font, "ab") + 1.0f);
    EXPECT_EQ(gdip_text_width(nk_handle_ptr(font), 0.0f, nullptr, 3), 0.0f);

    // "é" is two UTF-8 bytes but one character: it must measure as the single
    // UTF-16 unit U+00E9, not as the two Latin-1 characters "Ã©".
    const RectF layout(0, 0, 65536, 65536);
    RectF one, two;
    GdipMeasureString(gdip.back_buffer_graphics, L"\u00e9", 1, font->gdi_font, &layout, gdip.text_format, &one, nullptr, nullptr);
    GdipMeasureString(gdip.back_buffer_graphics, L"\u00c3\u00a9", 2, font->gdi_font, &layout, gdip.text_format, &two, nullptr, nullptr);
    ASSERT_GT(two.Width, one.Width + 1.0f);
    EXPECT_NEAR(width(font, "\xc3\xa9"), one.Width, 0.01f);

    // Runs longer than the conversion buffer still measure about like their parts.
    const std::string word = "kelm\xc3\xa9 ", run = [&] { std::string r; for (int i = 0; i < 400; ++i) r += word; return r; }();
    EXPECT_NEAR(width(font, run.c_str()), 400 * width(font, word.c_str()), 400 * width(font, word.c_str()) * 0.02f);
    const std::string lines = run + "\n" + run.substr(0, 700);
    EXPECT_NEAR(width(font, lines.c_str()), width(font, run.c_str()), 0.5f);

    use_default_font();
    gdip_font_free(font);
}

// Bounds of the pixels that are not black.
struct Ink {
    int count = 0, left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
};
Ink ink(void) {
    const Pixels p = read_back_buffer();
    Ink r;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.at(x, y) & 0xFFFFFF) {
                ++r.count;
                r.left = std::min(r.left, x), r.right = std::max(r.right, x);
                r.top = std::min(r.top, y), r.bottom = std::max(r.bottom, y);
            }
    return r;
}

TEST_F(Text, DrawnTextIsNotClippedToItsRectangle) {
    GdipFont *font = gdip_font_from_memory(&gdip, data.data(), (int)data.size(), 13);
    ASSERT_NE(font, nullptr);
    const struct nk_color white = nk_rgb(255, 255, 255);
    gdip_clear(&gdip, nk_rgb(0, 0, 0));
    gdip_draw_text(10, 10, 200, 16, "MMMM", 0, font, white);
    EXPECT_EQ(ink().count, 0) << "length 0 must draw nothing";

    // A line break starts a new line that runs down past the rectangle's bottom.
    gdip_draw_text(10, 10, 200, 16, "M\nM", 3, font, white);
    Ink drawn = ink();
    EXPECT_GE(drawn.left, 10);
    EXPECT_GT(drawn.bottom, 10 + 16 + 4);
    EXPECT_LT(drawn.right, 10 + 20);

    gdip_clear(&gdip, nk_rgb(0, 0, 0));
    gdip_draw_text(10, 10, 200, 3, "MMMM", 4, font, white);
    drawn = ink();
    EXPECT_GT(drawn.bottom, 10 + 3 + 4) << "glyphs cut at a 3-pixel-high rectangle";
    EXPECT_GT(drawn.right, 10 + 30);
    gdip_font_free(font);
}

TEST_F(Text, RunWiderThanItsRectangleStaysOnOneLine) {
    GdipFont *font = gdip_font_from_memory(&gdip, data.data(), (int)data.size(), 13);
    ASSERT_NE(font, nullptr);
    gdip_clear(&gdip, nk_rgb(0, 0, 0));
    gdip_draw_text(10, 10, 20, 16, "MMMMMMMMMMMMMMMM", 16, font, nk_rgb(255, 255, 255));
    const Ink drawn = ink();
    EXPECT_GT(drawn.right, 10 + 150);
    EXPECT_LT(drawn.bottom, 10 + 16);
    gdip_font_free(font);
}

TEST_F(Text, CollectionTableFailsCleanlyAndNeverOverflows) {
    restart_backend();
    static const char garbage[] = "not a TrueType font at all, not even close";
    EXPECT_EQ(gdip_font_from_memory(&gdip, garbage, sizeof garbage, 13), nullptr);
    EXPECT_EQ(gdip.collection_count, 0);
    // After the failure, the same slot takes the next font.
    std::vector<GdipFont *> fonts;
    for (int i = 0; i < GDIP_FONT_COLLECTIONS; ++i) {
        GdipFont *font = gdip_font_from_memory(&gdip, data.data(), (int)data.size(), 13);
        ASSERT_NE(font, nullptr) << "registration " << i + 1;
        EXPECT_EQ(gdip.collection_count, i + 1);
        fonts.push_back(font);
    }
    EXPECT_EQ(gdip_font_from_memory(&gdip, data.data(), (int)data.size(), 13), nullptr);
    EXPECT_EQ(gdip_font_from_file(&gdip, kDejaVuPath, 13), nullptr);
    EXPECT_EQ(gdip_font_from_collection(&gdip, 13), nullptr);
    // collection_count sits right behind the table: an eleventh slot would overwrite it.
    EXPECT_EQ(gdip.collection_count, GDIP_FONT_COLLECTIONS);
    for (GdipFont *font : fonts) gdip_font_free(font);
    restart_backend();

    GdipFont *from_file = gdip_font_from_file(&gdip, kDejaVuPath, 20);
    ASSERT_NE(from_file, nullptr);
    EXPECT_EQ(gdip.collection_count, 1);
    gdip_font_free(from_file);
    gdip_font_free(nullptr);
}

TEST(Font, UnknownFamilyGivesARecordWithoutFontAndZeroHeight) {
    GdipFont *font = gdip_font_create(&gdip, "No Such Family Kelm", 12);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->gdi_font, nullptr);
    gdip_set_font(&test_context, font);
    EXPECT_EQ(font->user_font.height, 0.0f);
    const float w = gdip_text_width(nk_handle_ptr(font), 0.0f, "abc", 3);
    EXPECT_TRUE(std::isfinite(w));
    use_default_font();
    gdip_font_free(font);
}

}  // namespace
