// What both drawing layers share for text: which font draws each character,
// runs cut into lines and spans, cmap tables read, and popup text laid out in
// rows. No drawing layer: a resolver and fonts made up by the tests.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "fixed_font.h"
#include "render/fallback.h"
#include "render/rows.h"

namespace {

// A font with ASCII and Cyrillic whose resolver gives Greek to slot 1, CJK
// and combining accents to slot 2 and nothing else to anyone; it counts what
// it was asked.
struct Fonts {
    Fallback fallback;
    std::map<uint32_t, int> asked;
    Fonts() {
        fallback_init(&fallback, resolve, this);
        const FallbackRange own[] = {{0x0410, 0x044F}, {0x0D, 0x0D}, {0x20, 0x7E}};   // not in order
        fallback_set_own(&fallback, own, 3);
    }
    ~Fonts() { fallback_free(&fallback); }
    static uint8_t resolve(void *owner, uint32_t c) {
        ++((Fonts *)owner)->asked[c];
        if (c >= 0x0370 && c <= 0x03FF) return 1;
        if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x0300 && c <= 0x036F)) return 2;
        return FALLBACK_NONE;
    }
    // The spans of a run as "line:slot:text" and the widest line, each
    // character 10 pixels wide.
    std::vector<std::string> spans(const std::string &text, double *widest = nullptr) {
        std::vector<std::string> out;
        const double w = fallback_layout(&fallback, text.data(), (int32_t)text.size(),
                                         [&](int line, uint8_t slot, const char *s, int bytes, double x) {
                                             std::string piece(s, (size_t)bytes);
                                             out.push_back(std::to_string(line) + ":" + std::to_string(slot) + ":" +
                                                           piece + "@" + std::to_string((int)x));
                                             int32_t characters = 0;
                                             uint32_t c;
                                             for (int i = 0; i < bytes; ++characters) i += utf8_decode(s + i, bytes - i, &c);
                                             return 10.0 * characters;
                                         });
        if (widest) *widest = w;
        return out;
    }
};

TEST(Fallback, OwnCharactersNeverReachTheResolverAndEachOtherIsAskedOnce) {
    Fonts f;
    EXPECT_FALSE(fallback_needed(&f.fallback, "Patch \xD0\x96\r\n\n", 10));   // ASCII, Cyrillic, line breaks
    EXPECT_FALSE(fallback_needed(&f.fallback, "\t\x01", 2));   // controls are the font's own, drawn or not
    EXPECT_TRUE(fallback_needed(&f.fallback, "Jos\xC3\xA9", 5));
    EXPECT_TRUE(fallback_needed(&f.fallback, "a\xFF", 2));   // a stray byte is U+FFFD, which the font lacks
    EXPECT_TRUE(f.asked.empty()) << "looking costs nothing";

    EXPECT_EQ(FALLBACK_OWN, fallback_slot(&f.fallback, 'a'));
    EXPECT_EQ(FALLBACK_OWN, fallback_slot(&f.fallback, 0x0416));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(1, fallback_slot(&f.fallback, 0x03B1));
        EXPECT_EQ(2, fallback_slot(&f.fallback, 0x4E2D));
        EXPECT_EQ(FALLBACK_NONE, fallback_slot(&f.fallback, 0xE9));
    }
    EXPECT_EQ((std::map<uint32_t, int>{{0xE9, 1}, {0x03B1, 1}, {0x4E2D, 1}}), f.asked);

    // Thousands of answers: the table grows and keeps every one.
    for (uint32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) EXPECT_EQ(2, fallback_slot(&f.fallback, c));
    for (uint32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) ASSERT_EQ(2, fallback_slot(&f.fallback, c));
    for (uint32_t c = 0x4E00; c < 0x4E00 + 3000; ++c) ASSERT_EQ(1, f.asked[c]) << c;

    f.fallback.off = true;
    EXPECT_FALSE(fallback_needed(&f.fallback, "Jos\xC3\xA9", 5));
    EXPECT_EQ(FALLBACK_OWN, fallback_slot(&f.fallback, 0x4E2D));
}

TEST(Fallback, RunsAreCutIntoLinesAndSpansPlacedOneAfterAnother) {
    Fonts f;
    double widest = 0;
    // Greek, then Han, a letter no font has (its own box), and a second line.
    EXPECT_EQ((std::vector<std::string>{"0:0:a@0", "0:1:\xCE\xB1\xCE\xB2@10", "0:2:\xE4\xB8\xAD@30",
                                        "0:0:\xC3\xA9z@40", "1:0:b @0", "1:1:\xCE\xB3@20"}),
              f.spans("a\xCE\xB1\xCE\xB2\xE4\xB8\xAD\xC3\xA9z\r\nb \xCE\xB3", &widest));
    EXPECT_EQ(60.0, widest);
    // An accent typed after its letter goes with the letter, to the font that has the accent.
    EXPECT_EQ((std::vector<std::string>{"0:0:Jos@0", "0:2:e\xCC\x81@30", "0:0:!@50"}), f.spans("Jose\xCC\x81!"));
    // Each line break ends a line: CR LF, LF, CR; an empty line has no span.
    EXPECT_EQ((std::vector<std::string>{"0:0:a@0", "2:0:b@0", "3:1:\xCE\xB1@0"}),
              f.spans("a\n\nb\r\xCE\xB1"));
}

TEST(Utf8, StrictAsCairoAndEveryStrayByteIsOneReplacement) {
    uint32_t c = 0;
    EXPECT_EQ(2, utf8_sequence((const unsigned char *)"\xC3\xA9", 2, &c));
    EXPECT_EQ(0xE9u, c);
    EXPECT_EQ(4, utf8_sequence((const unsigned char *)"\xF0\x9F\x98\x80", 4, &c));
    EXPECT_EQ(0x1F600u, c);
    for (const char *bad : {"\xC0\xAF", "\xED\xA0\x80", "\xEF\xB7\x90", "\xEF\xBF\xBE", "\xE4\xB8", "\x80"})
        EXPECT_EQ(0, utf8_sequence((const unsigned char *)bad, (int32_t)strlen(bad), &c)) << bad;
    EXPECT_EQ(1, utf8_decode("\xE4\xB8", 2, &c));   // cut short
    EXPECT_EQ(0xFFFDu, c);
}

// --- cmap tables -----------------------------------------------------------------
void put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back((uint8_t)(v >> 8));
    b.push_back((uint8_t)v);
}
void put32(std::vector<uint8_t> &b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v & 0xFFFF);
}

// A cmap whose one subtable maps 'A'-'C' by delta, U+0400-U+0402 through
// the glyph array with U+0401 unmapped (glyph 0), and the closing 0xFFFF.
std::vector<uint8_t> format4_cmap() {
    std::vector<uint8_t> t;
    put16(t, 0);
    put16(t, 1);
    put16(t, 3), put16(t, 1), put32(t, 12);   // Windows, Unicode BMP, at 12
    const uint16_t ends[] = {0x43, 0x402, 0xFFFF}, starts[] = {0x41, 0x400, 0xFFFF}, deltas[] = {0xFFC3, 0, 1};
    std::vector<uint8_t> s;
    put16(s, 4), put16(s, 0), put16(s, 0), put16(s, 6), put16(s, 4), put16(s, 1), put16(s, 2);
    for (uint16_t v : ends) put16(s, v);
    put16(s, 0);
    for (uint16_t v : starts) put16(s, v);
    for (uint16_t v : deltas) put16(s, v);
    put16(s, 0), put16(s, 4), put16(s, 0);   // the second segment's glyphs are 4 bytes on
    put16(s, 7), put16(s, 0), put16(s, 9);
    s[2] = (uint8_t)(s.size() >> 8), s[3] = (uint8_t)s.size();
    t.insert(t.end(), s.begin(), s.end());
    return t;
}

TEST(Cmap, Format4And12AreReadAndTheFullRepertoireWins) {
    std::vector<uint8_t> t = format4_cmap();
    FallbackRange *r = nullptr;
    ASSERT_EQ(3, cmap_ranges(t.data(), t.size(), &r));
    EXPECT_TRUE(r[0].first == 0x41 && r[0].last == 0x43);
    EXPECT_TRUE(r[1].first == 0x400 && r[1].last == 0x400);
    EXPECT_TRUE(r[2].first == 0x402 && r[2].last == 0x402);
    free(r);

    // Add a format 12 subtable (Unicode full repertoire): its groups win.
    std::vector<uint8_t> g;
    put16(g, 12), put16(g, 0), put32(g, 16 + 24), put32(g, 0), put32(g, 2);
    put32(g, 0x20), put32(g, 0x7E), put32(g, 0);   // the first code goes to .notdef
    put32(g, 0x1F600), put32(g, 0x1F64F), put32(g, 500);
    t[3] = 2;   // two subtables: the records move the first subtable 8 bytes on
    t.insert(t.begin() + 12, 8, 0);
    t[11] = 20;
    t[12] = 0, t[13] = 3, t[14] = 0, t[15] = 10;   // Windows, full repertoire
    const uint32_t at = (uint32_t)t.size();
    t[16] = (uint8_t)(at >> 24), t[17] = (uint8_t)(at >> 16), t[18] = (uint8_t)(at >> 8), t[19] = (uint8_t)at;
    t.insert(t.end(), g.begin(), g.end());
    ASSERT_EQ(2, cmap_ranges(t.data(), t.size(), &r));
    EXPECT_TRUE(r[0].first == 0x21 && r[0].last == 0x7E);
    EXPECT_TRUE(r[1].first == 0x1F600 && r[1].last == 0x1F64F);
    free(r);

    // Cut short or without a Unicode subtable: nothing, never a read past the end.
    for (size_t size = 0; size < t.size(); size += 3) {
        FallbackRange *cut = nullptr;
        cmap_ranges(t.data(), size, &cut);
        free(cut);
    }
    t[13] = 1;   // a Macintosh subtable instead of the full repertoire
    ASSERT_EQ(3, cmap_ranges(t.data(), t.size(), &r));
    free(r);
}

TEST(Cmap, TablesAreFoundInFontsAndTheFirstFontOfACollection) {
    std::vector<uint8_t> font;
    put32(font, 0x00010000), put16(font, 2), put16(font, 0), put16(font, 0), put16(font, 0);
    put32(font, 0x636D6170), put32(font, 0), put32(font, 44), put32(font, 4);   // 'cmap'
    put32(font, 0x676C7966), put32(font, 0), put32(font, 48), put32(font, 2);   // 'glyf'
    put32(font, 0xC0FFEE00), put16(font, 7);
    size_t size = 0;
    const uint8_t *cmap = sfnt_table(font.data(), font.size(), 0x636D6170, &size);
    ASSERT_EQ(font.data() + 44, cmap);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(nullptr, sfnt_table(font.data(), font.size(), 0x4F532F32, &size));   // no 'OS/2'
    EXPECT_EQ(nullptr, sfnt_table(font.data(), 47, 0x676C7966, &size));            // past the end

    std::vector<uint8_t> ttc;
    put32(ttc, 0x74746366), put32(ttc, 0x00010000), put32(ttc, 1), put32(ttc, 16);
    for (size_t i = 0; i < font.size(); ++i) ttc.push_back(font[i]);
    // The directory's offsets count from the file's start, as in a collection.
    ttc[16 + 12 + 11] = 44 + 16;
    EXPECT_EQ(ttc.data() + 60, sfnt_table(ttc.data(), ttc.size(), 0x636D6170, &size));
}

// --- rows --------------------------------------------------------------------------
std::string rows(const std::string &text, float width, int32_t size = 4096) {
    nk_user_font font;
    fixed_font_init(&font);   // 7 pixels a character
    std::vector<char> out((size_t)size);
    const int32_t n = text_rows(&font, text.data(), (int32_t)text.size(), width, out.data(), size);
    EXPECT_EQ('\0', out[(size_t)n]);
    return std::string(out.data(), (size_t)n);
}

TEST(Rows, WrappedLinesGetRowsOfTheirOwnAndTheTextsOwnBreaksStay) {
    // What fits is left byte for byte as it is.
    const std::string fits = "Patcher features:\r\n1. Fix\r\n\r\n2024 ostrel";
    EXPECT_EQ(fits, rows(fits, 7 * 17));
    // Broken at the last space that fits (70 pixels are 10 characters);
    // the space gives way to the break, other spaces stay.
    EXPECT_EQ("The chosen\r\npath is\r\nlonger\r\nthan 255.\r\nMove it.", rows("The chosen path is longer than 255.\r\nMove it.", 70));
    EXPECT_EQ("one  two\r\nthree", rows("one  two three", 70));
    // Line feeds and lone carriage returns are kept as they were.
    EXPECT_EQ("aaaa\r\nbbbb\ncc\rdd", rows("aaaa bbbb\ncc\rdd", 35));
    // A word wider than a row is cut between two characters, never inside
    // one (the test font gives each byte 7 pixels, Greek letters 14).
    EXPECT_EQ("abcde\r\nfghij\r\n\xCE\xB1\xCE\xB2\r\n\xCE\xB3", rows("abcdefghij\xCE\xB1\xCE\xB2\xCE\xB3", 35));
    EXPECT_EQ("", rows("", 70));
    // A row narrower than any character still takes one each; a space that
    // ends the text makes no empty row.
    EXPECT_EQ("a\r\nb", rows("ab", 1));
    EXPECT_EQ("aaaa\r\nbbbb", rows("aaaa bbbb ", 28));
}

TEST(Rows, TheOutputIsCutAtACharacterWhenItHasNoRoom) {
    EXPECT_EQ("abc", rows("abcdef", 700, 4));
    EXPECT_EQ("ab", rows("ab\xCE\xB1", 700, 4));   // the two bytes of alpha would leave no terminator
}

}  // namespace
