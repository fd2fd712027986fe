// Fonts for Nuklear: GDI+ fonts by family name or from TrueType data in the
// backend's private collections, text measuring (Nuklear's width callback)
// and text drawing. Text arrives as UTF-8 and goes to GDI+ as UTF-16.
//
// Measuring runs many times per frame, so it converts into a buffer on the
// stack and creates no GDI+ object; it uses the back buffer's graphics and the
// one text format, so that what is measured is what gets drawn.
#include <stdlib.h>

#include "gdip/gdip.h"
#include "render/draw.h"

namespace {

// Longest run converted in one piece. UTF-8 never needs more UTF-16 units than
// it has bytes, so this many bytes always fit into this many units.
enum { TEXT_UNITS = 1024 };

// Family names are short (GDI caps them at 32 units); longer ones are not found.
enum { NAME_UNITS = 256 };

int to_utf16(const char *text, int length, WCHAR *out, int capacity) {
    return MultiByteToWideChar(CP_UTF8, 0, text, length, out, capacity);
}

float measure(const GdipFont *font, const WCHAR *text, int units) {
    const RectF layout(0.0f, 0.0f, 65536.0f, 65536.0f);
    RectF box;
    const GdipBackend *gdip = font->backend;
    if (GdipMeasureString(gdip->back_buffer_graphics, text, units, font->gdi_font, &layout, gdip->text_format, &box,
                          nullptr, nullptr) != Ok)
        return 0.0f;
    return box.Width;
}

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

// Runs too long for the stack buffer are measured piece by piece: each piece
// ends at a line break or before TEXT_UNITS bytes, never inside a UTF-8
// sequence; pieces of a line add up, and the widest line is the width. Seams
// between pieces may lose a pair kerning, which a run this long can afford.
float measure_long(const GdipFont *font, const char *text, int length) {
    WCHAR units[TEXT_UNITS];
    float widest = 0.0f, line = 0.0f;
    int start = 0;
    while (start < length) {
        int end = length - start > TEXT_UNITS ? start + TEXT_UNITS : length;
        bool line_ends = false;
        for (int i = start; i < end; ++i) {
            if (is_line_break(text[i])) {
                end = i + 1;
                line_ends = true;
                break;
            }
        }
        if (!line_ends)
            while (end < length && end - 1 > start && ((unsigned char)text[end] & 0xC0) == 0x80) --end;
        line += measure(font, units, to_utf16(text + start, end - start, units, TEXT_UNITS));
        if (line_ends) {
            if (line > widest) widest = line;
            line = 0.0f;
        }
        start = end;
    }
    return line > widest ? line : widest;
}

// The slot the next registration adds its font to, created on first use; null
// when all slots have yielded a font or GDI+ cannot make a collection.
GpFontCollection *registration_slot(GdipBackend *gdip) {
    if (gdip->collection_count < 0 || gdip->collection_count >= GDIP_FONT_COLLECTIONS) return nullptr;
    GpFontCollection *&slot = gdip->font_collections[gdip->collection_count];
    if (!slot && GdipNewPrivateFontCollection(&slot) != Ok) slot = nullptr;
    return slot;
}

}  // namespace

GdipFont *gdip_font_create(GdipBackend *gdip, const char *name, int size) {
    GdipFont *font = (GdipFont *)calloc(1, sizeof(GdipFont));
    if (!font) return nullptr;
    font->backend = gdip;
    WCHAR family_name[NAME_UNITS + 1];
    const int units = name ? to_utf16(name, -1, family_name, NAME_UNITS) : 0;
    if (units > 0) {
        family_name[units] = 0;
        GpFontFamily *family = nullptr;
        if (GdipCreateFontFamilyFromName(family_name, nullptr, &family) == Ok) {
            GdipCreateFont(family, (REAL)size, FontStyleRegular, UnitPixel, &font->gdi_font);
            GdipDeleteFontFamily(family);
        }
    }
    return font;
}

GdipFont *gdip_font_from_memory(GdipBackend *gdip, const void *data, int size_bytes, int size) {
    GpFontCollection *collection = registration_slot(gdip);
    if (!collection || GdipPrivateAddMemoryFont(collection, data, size_bytes) != Ok) return nullptr;
    return gdip_font_from_collection(gdip, size);
}

GdipFont *gdip_font_from_file(GdipBackend *gdip, const wchar_t *path, int size) {
    GpFontCollection *collection = registration_slot(gdip);
    if (!collection || GdipPrivateAddFontFile(collection, path) != Ok) return nullptr;
    return gdip_font_from_collection(gdip, size);
}

GdipFont *gdip_font_from_collection(GdipBackend *gdip, int size) {
    if (gdip->collection_count < 0 || gdip->collection_count >= GDIP_FONT_COLLECTIONS) return nullptr;
    GpFontCollection *collection = gdip->font_collections[gdip->collection_count];
    if (!collection) return nullptr;

    GdipFont *font = (GdipFont *)calloc(1, sizeof(GdipFont));
    if (!font) return nullptr;
    font->backend = gdip;
    INT count = 0, found = 0;
    GpFontFamily **families = nullptr;
    if (GdipGetFontCollectionFamilyCount(collection, &count) != Ok || count < 1) goto fail;
    families = (GpFontFamily **)calloc((size_t)count, sizeof(GpFontFamily *));
    if (!families || GdipGetFontCollectionFamilyList(collection, count, families, &found) != Ok || found < 1)
        goto fail;
    // The family is the data's own: the one just added comes last.
    if (GdipCreateFont(families[found - 1], (REAL)size, FontStyleRegular, UnitPixel, &font->gdi_font) != Ok) goto fail;
    free(families);
    ++gdip->collection_count;
    return font;

fail:
    free(families);
    free(font);
    return nullptr;
}

void gdip_font_free(GdipFont *font) {
    if (!font) return;
    if (font->gdi_font) GdipDeleteFont(font->gdi_font);
    free(font);
}

void gdip_set_font(struct nk_context *ctx, GdipFont *font) {
    if (!font) return;
    font->user_font.userdata = nk_handle_ptr(font);
    REAL size = 0.0f;
    if (font->gdi_font) GdipGetFontSize(font->gdi_font, &size);
    font->user_font.height = size;
    font->user_font.width = gdip_text_width;
    nk_style_set_font(ctx, &font->user_font);
}

float gdip_text_width(nk_handle handle, float height, const char *text, int length) {
    (void)height;
    const GdipFont *font = (const GdipFont *)handle.ptr;
    if (!font || !text || length <= 0) return 0.0f;
    if (length > TEXT_UNITS) return measure_long(font, text, length);
    WCHAR units[TEXT_UNITS];
    return measure(font, units, to_utf16(text, length, units, TEXT_UNITS));
}

void gdip_draw_text(short x, short y, unsigned short w, unsigned short h, const char *text, int length,
                    GdipFont *font, struct nk_color color) {
    // The run starts at the rectangle's top left and is neither wrapped nor
    // clipped to it (NoWrap | NoClip). A zero-sized layout rectangle means "no
    // bounds" and draws the same; Wine's GDI+ needs it, as it otherwise drops
    // the lines below the rectangle's height and the characters past its width.
    (void)w;
    (void)h;
    const RectF layout((REAL)x, (REAL)y, 0.0f, 0.0f);
    if (!font || !text || length <= 0) return;

    // Drawing cannot be split like measuring (pieces would need placing), so
    // the rare run longer than the stack buffer gets a buffer of its own.
    WCHAR local[TEXT_UNITS];
    WCHAR *units = local;
    if (length > TEXT_UNITS && !(units = (WCHAR *)malloc((size_t)length * sizeof(WCHAR)))) return;
    const int count = to_utf16(text, length, units, length > TEXT_UNITS ? length : TEXT_UNITS);

    const GdipBackend *gdip = font->backend;
    GdipSetSolidFillColor(gdip->brush, draw_argb(color));
    GdipDrawString(gdip->back_buffer_graphics, units, count, font->gdi_font, &layout, gdip->text_format, gdip->brush);
    if (units != local) free(units);
}
