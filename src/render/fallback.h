// Glyph fallback, the part that both drawing layers share: which font draws
// each character of a run, decided once per character and kept; a run cut
// into lines and each line into spans of one font, placed one after another;
// and what a font's cmap table says the font has.
//
// The UI font carries ASCII, Cyrillic and a few signs. A character it has
// costs one look-up in its ranges, so a run made only of such characters
// (every text the patcher itself has) is drawn by the caller as it always
// was, without spans: fallback_needed says when that is not so. A character
// the font lacks goes once to the drawing layer's resolver, which finds an
// installed font that has it and answers with that font's slot, 1 and up,
// or FALLBACK_NONE when no font has it; then the font's own box is drawn.
// The answers stay with the font, so a name costs its look-ups once.
//
// Left out: shaping (Arabic joins, Indic clusters) and right-to-left order;
// spans are placed left to right in the order of the text.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum : uint8_t {
    FALLBACK_OWN = 0,       // the font itself draws the character
    FALLBACK_NONE = 0xFF,   // no font has it: the font's own box
};
// Fallback fonts one font may open: slots 1 to FALLBACK_FONTS.
enum { FALLBACK_FONTS = 24 };

// Code points first..last, both included.
struct FallbackRange {
    uint32_t first, last;
};

// Whether sorted, merged ranges hold the character.
bool ranges_have(const FallbackRange *ranges, int32_t count, uint32_t code_point);

// A list of ranges as a font's table yields them, in rising order: a code
// right after the last range extends it. The caller frees `r`.
struct FallbackRanges {
    FallbackRange *r = nullptr;
    int32_t count = 0, capacity = 0;
    bool failed = false;   // out of memory: the list is incomplete
    void add(uint32_t first, uint32_t last);
};

// Finds an installed font with the character and answers its slot, or
// FALLBACK_NONE. Called at most once per character and font.
typedef uint8_t (*FallbackResolve)(void *owner, uint32_t code_point);

struct Fallback {
    FallbackRange *own;   // the font's own characters, sorted and merged
    int32_t own_count;
    uint32_t own_ascii[4];   // one bit per ASCII code, for the common case
    // The resolver's answers: key (code point + 1) to slot, open addressing.
    uint32_t *keys;
    uint8_t *slots;
    uint32_t capacity, used;
    FallbackResolve resolve;
    void *owner;
    // Draws every character from the font itself, as before fallback
    // existed: what the tests compare the fallback against.
    bool off;
};

// A font that has everything until fallback_set_own says what it has, and
// asks `resolve` for the rest.
void fallback_init(Fallback *fallback, FallbackResolve resolve, void *owner);
// Copies `count` ranges in any order. Returns false without memory (then
// the font keeps drawing everything itself).
bool fallback_set_own(Fallback *fallback, const FallbackRange *ranges, int32_t count);
void fallback_free(Fallback *fallback);

// Whether the font itself draws the character: it has it, or it is a control
// character, which no other font should stand in for.
bool fallback_own(const Fallback *fallback, uint32_t code_point);
// The slot that draws the character (FALLBACK_OWN when the font has it),
// resolved on first sight and kept.
uint8_t fallback_slot(Fallback *fallback, uint32_t code_point);
// Whether some character of the run, line breaks aside, is not the font's own.
bool fallback_needed(const Fallback *fallback, const char *text, int32_t length);

// Length of the valid UTF-8 sequence at `s` (`left` bytes remain, at least
// 1), or 0: as strict as Cairo, which turns away a whole run for one overlong
// form, surrogate or non-character. Its character goes to *code_point.
int32_t utf8_sequence(const unsigned char *s, int32_t left, uint32_t *code_point);
// The character at `s` and its length; a byte that starts no valid sequence
// is U+FFFD, one byte long, as both drawing layers show it.
int32_t utf8_decode(const char *s, int32_t left, uint32_t *code_point);

// Carriage return, line feed and the pair of them each end a line, as GDI+
// breaks them. Calls line(index, start, bytes) for every line, the last too.
template <typename Line> void text_for_each_line(const char *text, int32_t length, Line line) {
    int32_t start = 0, index = 0;
    for (int32_t i = 0; i <= length; ++i) {
        if (i < length && text[i] != '\n' && text[i] != '\r') continue;
        line(index++, text + start, i - start);
        if (i + 1 < length && text[i] == '\r' && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
}

// Combining marks ride on the character before them: a cluster goes to one
// font, so that an accent typed as e + U+0301 lands on its letter.
bool fallback_combining(uint32_t code_point);

// Lays a run out as lines of spans and returns the widest line's advance.
// span(line, slot, bytes, count, x) measures or draws `count` bytes that the
// font in `slot` draws, starting `x` logical pixels into line `line`, and
// returns their advance. FALLBACK_NONE never reaches it: the font's own box
// stands in, so such characters go to FALLBACK_OWN.
template <typename Span> double fallback_layout(Fallback *fallback, const char *text, int32_t length, Span span) {
    double widest = 0.0;
    text_for_each_line(text, length, [&](int32_t line, const char *s, int32_t bytes) {
        double x = 0.0;
        int32_t start = 0;
        uint8_t slot = FALLBACK_OWN;
        for (int32_t i = 0; i < bytes;) {
            // One cluster: a character and the combining marks after it, in
            // the font of the first of them that the font lacks.
            uint32_t c;
            int32_t end = i + utf8_decode(s + i, bytes - i, &c);
            uint8_t here = fallback_slot(fallback, c);
            while (end < bytes) {
                const int32_t n = utf8_decode(s + end, bytes - end, &c);
                if (!fallback_combining(c)) break;
                if (here == FALLBACK_OWN) here = fallback_slot(fallback, c);
                end += n;
            }
            if (here == FALLBACK_NONE) here = FALLBACK_OWN;
            if (here != slot && i > start) {
                x += span(line, slot, s + start, i - start, x);
                start = i;
            }
            slot = here;
            i = end;
        }
        if (start < bytes) x += span(line, slot, s + start, bytes - start, x);
        if (x > widest) widest = x;
    });
    return widest;
}

// --- what a font has ---------------------------------------------------------------
// The table `tag` ('cmap' is 0x636D6170) of an sfnt font's data, or of the
// first font of a collection; null when the data holds none.
const uint8_t *sfnt_table(const void *font, size_t size, uint32_t tag, size_t *table_size);
// The characters that a cmap table maps to a glyph, from its Unicode subtables
// (formats 4 and 12), as sorted, merged ranges in *out, which the caller
// frees; returns their count, 0 (and null) when it reads no such subtable.
int32_t cmap_ranges(const uint8_t *cmap, size_t size, FallbackRange **out);
