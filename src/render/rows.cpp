#include "render/rows.h"

#include <stdlib.h>
#include <string.h>

#include "render/fallback.h"

namespace {

// What text_rows writes: bytes that do not fit are dropped, and the last
// piece that fits is cut at a character.
struct Rows {
    char *out;
    int32_t size, length;
    bool full;
    void put(const char *s, int32_t n) {
        if (full || n <= 0) return;
        if (length + n >= size) {
            n = size - 1 - length;
            while (n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80) --n;
            full = true;
        }
        memcpy(out + length, s, (size_t)n);
        length += n;
    }
};

float width_of(const struct nk_user_font *font, const char *s, int32_t n) {
    return n > 0 ? font->width(font->userdata, font->height, s, n) : 0.0f;
}

// The bytes of the characters at the start of `s` that fit in `width`, the
// first one always, so that every row takes something.
int32_t fitting(const struct nk_user_font *font, const char *s, int32_t n, float width) {
    uint32_t c;
    int32_t end = utf8_decode(s, n, &c);
    while (end < n) {
        const int32_t next = end + utf8_decode(s + end, n - end, &c);
        if (width_of(font, s, next) > width) break;
        end = next;
    }
    return end;
}

// One line of the text, without its line break, as rows.
void wrap(const struct nk_user_font *font, const char *s, int32_t n, float width, Rows *rows) {
    int32_t start = 0;
    while (start < n && width_of(font, s + start, n - start) > width) {
        int32_t cut = -1;
        for (int32_t p = start + 1; p < n; ++p) {
            if (s[p] != ' ') continue;
            if (width_of(font, s + start, p - start) > width) break;
            cut = p;
        }
        // The space goes; a word cut in two keeps all its characters.
        int32_t next = cut + 1;
        if (cut < 0) next = cut = start + fitting(font, s + start, n - start, width);
        rows->put(s + start, cut - start);
        if ((start = next) >= n) return;   // nothing left for another row
        rows->put("\r\n", 2);
    }
    rows->put(s + start, n - start);
}

}  // namespace

int32_t text_rows(const struct nk_user_font *font, const char *text, int32_t length, float width, char *out,
                  int32_t size) {
    if (!out || size <= 0) return 0;
    Rows rows = {out, size, 0, false};
    for (int32_t i = 0; i <= length;) {
        int32_t end = i;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        if (font && font->width && width > 0)
            wrap(font, text + i, end - i, width, &rows);
        else
            rows.put(text + i, end - i);
        if (end == length) break;
        const int32_t brk = text[end] == '\r' && end + 1 < length && text[end + 1] == '\n' ? 2 : 1;
        rows.put(text + end, brk);   // the text's own line break, as it was
        i = end + brk;
    }
    out[rows.length] = '\0';
    return rows.length;
}

void render_label_rows(struct nk_context *ctx, const char *text) {
    if (!ctx || !ctx->current || !ctx->current->layout || !text || !ctx->style.font) return;
    struct nk_rect bounds;
    if (!nk_widget(&bounds, ctx)) return;
    const struct nk_style *style = &ctx->style;
    const struct nk_user_font *font = style->font;
    const struct nk_vec2 pad = style->text.padding;
    // Where nk_label_wrap draws its first piece, and with what.
    const float line = 2 * pad.y + font->height;
    struct nk_rect label = nk_rect(bounds.x + pad.x, bounds.y + 2 * pad.y, NK_MAX(bounds.w - 2 * pad.x, 0.0f),
                                         NK_MAX(line / 2, line / 2 - font->height / 2));
    // A break takes one byte more than the space it replaces; a cut word, two.
    const int32_t length = (int32_t)strlen(text), size = 3 * length + 1;
    char local[4096];
    char *rows = size <= (int32_t)sizeof local ? local : (char *)malloc((size_t)size);
    if (!rows) return;
    const int32_t n = text_rows(font, text, length, label.w, rows, size);
    // Nuklear cuts a text wider than its rectangle. The rows fit already,
    // but measured together they may come out a fraction wider than each
    // alone (GDI+ rounds otherwise at a scale of 2), which would cut off
    // everything after the widest row.
    label.w = NK_MAX(label.w, font->width(font->userdata, font->height, rows, n));
    nk_draw_text(&ctx->current->buffer, label, rows, n, font, style->window.background, style->text.color);
    if (rows != local) free(rows);
}
