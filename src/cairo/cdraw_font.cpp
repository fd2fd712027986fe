// Fonts for Nuklear: FreeType faces from TrueType data, or installed families
// through Cairo's fontconfig lookup; text measuring (Nuklear's width callback)
// and text drawing, with glyph fallback.
//
// Every font keeps one scaled font at its pixel size in logical pixels. Both
// measuring and drawing place the glyphs with it, so what Nuklear measured is
// where the glyphs land, at any scale of the back buffer; only the glyph
// images are rendered at the device size. Advances are whole pixels (hinted
// metrics), as GDI+ fits them to the grid when it draws with ClearType.
//
// A character the font lacks is drawn from the installed font that fontconfig
// ranks first among those that have it, asked once per character with the
// font's own family (DejaVu's cut-down UI font leads it to DejaVu Serif for
// accented Latin and Greek, and to a CJK face for Han, kana and Hangul).
// FreeType opens that font from its file, at the same pixel size, and its
// glyphs sit on the line's baseline. Each font opened this way is kept with
// the font it stands in for.
#include <stdlib.h>
#include <string.h>

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include FT_MODULE_H
#include FT_TRUETYPE_TABLES_H

#include "cairo/cdraw.h"

namespace {

// FreeType's allocator, handed over as a table instead of letting
// FT_Init_FreeType make one: a library made this way is released by
// FT_Done_Library alone, which waits for the last face that references it,
// while FT_Done_FreeType would free the allocator under faces Cairo still
// caches. FreeType only reads this table.
void *ft_alloc(FT_Memory, long size) { return malloc((size_t)size); }
void ft_free(FT_Memory, void *block) { free(block); }
void *ft_realloc(FT_Memory, long, long size, void *block) { return realloc(block, (size_t)size); }
FT_MemoryRec_ freetype_memory = {nullptr, ft_alloc, ft_free, ft_realloc};

const cairo_user_data_key_t face_key = {0};

// Cairo calls this when it drops the font face for good, which may be long
// after cdraw_font_free, since it keeps recently used fonts in a cache.
void release_face(void *data) {
    FT_Face face = (FT_Face)data;
    FT_Library library = face->glyph->library;
    FT_Done_Face(face);
    FT_Done_Library(library);
}

// A Cairo face for a FreeType face of the backend's library, which it takes
// over: released with the Cairo face, or here on failure (then null).
cairo_font_face_t *adopt_face(CdrawBackend *b, FT_Face face) {
    FT_Reference_Library(b->freetype);
    cairo_font_face_t *cairo_face = cairo_ft_font_face_create_for_ft_face(face, 0);
    if (cairo_font_face_set_user_data(cairo_face, &face_key, face, release_face) == CAIRO_STATUS_SUCCESS)
        return cairo_face;
    cairo_font_face_destroy(cairo_face);
    release_face(face);
    return nullptr;
}

bool ensure_library(CdrawBackend *b) {
    if (b->freetype) return true;
    if (FT_New_Library(&freetype_memory, &b->freetype) != 0) {
        b->freetype = nullptr;
        return false;
    }
    FT_Add_Default_Modules(b->freetype);
    FT_Set_Default_Properties(b->freetype);
    return true;
}

// GDI+ puts the baseline one cell ascent below the top of the line, and its
// cell ascent is the OS/2 usWinAscent; hhea's ascender stands in for fonts
// without one. The embedded font has the same value in both.
void read_metrics(CdrawFont *font, int pixels) {
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(font->measure, &extents);
    font->ascent = extents.ascent;
    font->line_height = extents.height;
    if (cairo_scaled_font_get_type(font->measure) != CAIRO_FONT_TYPE_FT) return;
    FT_Face face = cairo_ft_scaled_font_lock_face(font->measure);
    if (!face) return;
    if (FT_IS_SCALABLE(face) && face->units_per_EM > 0) {
        const double em = pixels / (double)face->units_per_EM;
        const TT_OS2 *os2 = (const TT_OS2 *)FT_Get_Sfnt_Table(face, FT_SFNT_OS2);
        font->ascent = (os2 && os2->version != 0xFFFF && os2->usWinAscent > 0 ? os2->usWinAscent : face->ascender) * em;
        font->line_height = face->height * em;
    }
    cairo_ft_scaled_font_unlock_face(font->measure);
}

// The characters the font has, from its charmap, and its family name, which
// fontconfig is asked to stay close to when it picks fonts for the rest.
void read_characters(CdrawFont *font) {
    if (cairo_scaled_font_get_type(font->measure) != CAIRO_FONT_TYPE_FT) return;
    FT_Face face = cairo_ft_scaled_font_lock_face(font->measure);
    if (!face) return;
    if (face->charmap && face->charmap->encoding == FT_ENCODING_UNICODE) {
        FallbackRanges own;
        FT_UInt glyph;
        for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0; c = FT_Get_Next_Char(face, c, &glyph))
            own.add((uint32_t)c, (uint32_t)c);
        if (!own.failed) fallback_set_own(&font->fallback, own.r, own.count);
        free(own.r);
    }
    if (face->family_name) font->family = strdup(face->family_name);
    cairo_ft_scaled_font_unlock_face(font->measure);
}

// The slot of the font in `file` at `index`, opened now if no slot holds it
// yet; FALLBACK_NONE when it cannot be opened, lacks the character after
// all, or every slot is taken.
uint8_t face_slot(CdrawFont *font, const char *file, int index, uint32_t c) {
    for (int32_t i = 0; i < font->face_count; ++i)
        if (font->faces[i].index == index && strcmp(font->faces[i].file, file) == 0) return (uint8_t)(i + 1);
    CdrawBackend *b = font->backend;
    if (font->face_count >= FALLBACK_FONTS || !ensure_library(b)) return FALLBACK_NONE;
    FT_Face face;
    if (FT_New_Face(b->freetype, file, index, &face) != 0) return FALLBACK_NONE;
    if (FT_Get_Char_Index(face, c) == 0) {
        FT_Done_Face(face);
        return FALLBACK_NONE;
    }
    cairo_font_face_t *cairo_face = adopt_face(b, face);
    if (!cairo_face) return FALLBACK_NONE;
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, font->user_font.height, font->user_font.height);
    cairo_matrix_init_identity(&identity);
    cairo_scaled_font_t *measure = cairo_scaled_font_create(cairo_face, &size, &identity, font->options);
    char *name = strdup(file);
    if (cairo_scaled_font_status(measure) != CAIRO_STATUS_SUCCESS || !name) {
        cairo_scaled_font_destroy(measure);
        cairo_font_face_destroy(cairo_face);
        free(name);
        return FALLBACK_NONE;
    }
    font->faces[font->face_count] = CdrawFace{cairo_face, measure, name, index};
    return (uint8_t)++font->face_count;
}

// The fallback's resolver: the installed fonts in the order fontconfig
// sorts them for the font's family, and the first that has the character,
// as an outline font, draws it. Fontconfig ranks a font that has a character
// before one that lacks it and orders the rest as for the family alone, so
// one sort, taken once, answers every character as a sort for each would.
uint8_t resolve(void *owner, uint32_t c) {
    CdrawFont *font = (CdrawFont *)owner;
    if (!font->sorted) {
        FcPattern *pattern = FcPatternCreate();
        if (pattern && (!font->family || FcPatternAddString(pattern, FC_FAMILY, (const FcChar8 *)font->family)) &&
            FcConfigSubstitute(nullptr, pattern, FcMatchPattern)) {
            FcDefaultSubstitute(pattern);
            FcResult result;
            font->sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
        }
        if (pattern) FcPatternDestroy(pattern);
    }
    uint8_t slot = FALLBACK_NONE;
    for (int i = 0; font->sorted && i < font->sorted->nfont && slot == FALLBACK_NONE; ++i) {
        const FcPattern *candidate = font->sorted->fonts[i];
        FcCharSet *has;
        FcChar8 *file;
        FcBool outline;
        int index = 0;
        if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &has) != FcResultMatch || !FcCharSetHasChar(has, c) ||
            FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch ||
            (FcPatternGetBool(candidate, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline))
            continue;
        FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
        slot = face_slot(font, (const char *)file, index, c);
    }
    return slot;
}

// Takes over `face`: it is released with the font, or here on failure.
CdrawFont *make_font(CdrawBackend *b, cairo_font_face_t *face, int pixels) {
    CdrawFont *font = (CdrawFont *)calloc(1, sizeof *font);
    if (!font) {
        cairo_font_face_destroy(face);
        return nullptr;
    }
    font->backend = b;
    font->face = face;
    fallback_init(&font->fallback, resolve, font);
    font->options = cairo_font_options_create();
    // Grey anti-aliasing: the buffer may be scaled or composited on its way
    // to the screen, where colour fringes would show.
    cairo_font_options_set_antialias(font->options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(font->options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(font->options, CAIRO_HINT_METRICS_ON);
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, pixels, pixels);
    cairo_matrix_init_identity(&identity);
    font->measure = cairo_scaled_font_create(face, &size, &identity, font->options);
    if (cairo_scaled_font_status(font->measure) != CAIRO_STATUS_SUCCESS) {
        cdraw_font_free(font);
        return nullptr;
    }
    read_metrics(font, pixels);
    read_characters(font);
    font->user_font.userdata = nk_handle_ptr(font);
    font->user_font.height = (float)pixels;
    font->user_font.width = cdraw_text_width;
    return font;
}

// The run as Cairo may take it: the run itself when it is valid UTF-8 (as
// Nuklear's own text is), else a copy in `*copy`, for the caller to free, in
// which every stray byte is U+FFFD, which is also how GDI+ shows it. File
// names on Linux need not be UTF-8.
const char *valid_utf8(const char *text, int *length, char **copy) {
    *copy = nullptr;
    const unsigned char *s = (const unsigned char *)text;
    int i = 0, n;
    uint32_t c;
    while (i < *length && (n = utf8_sequence(s + i, *length - i, &c)) > 0) i += n;
    if (i == *length) return text;
    if (!(*copy = (char *)malloc((size_t)*length * 3))) return nullptr;
    int out = 0;
    for (i = 0; i < *length; i += n > 0 ? n : 1) {
        n = utf8_sequence(s + i, *length - i, &c);
        static const char replacement[] = "\xEF\xBF\xBD";
        const char *from = n > 0 ? text + i : replacement;
        for (int k = 0; k < (n > 0 ? n : 3); ++k) (*copy)[out++] = from[k];
    }
    *length = out;
    return *copy;
}

// One line's glyphs; Cairo allocates only for lines longer than the local array.
struct Glyphs {
    enum { LOCAL = 256 };
    cairo_glyph_t local[LOCAL];
    cairo_glyph_t *glyphs = local;
    int count = 0;
    Glyphs() = default;
    Glyphs(const Glyphs &) = delete;
    Glyphs &operator=(const Glyphs &) = delete;
    ~Glyphs() {
        if (glyphs != local) cairo_glyph_free(glyphs);
    }
};

// Places a line's glyphs from the origin (x, baseline); returns its advance.
double place_line(cairo_scaled_font_t *font, double x, double baseline, const char *text, int length, Glyphs *out) {
    out->count = Glyphs::LOCAL;
    if (length <= 0 ||
        cairo_scaled_font_text_to_glyphs(font, x, baseline, text, length, &out->glyphs, &out->count, nullptr, nullptr,
                                         nullptr) != CAIRO_STATUS_SUCCESS ||
        out->count <= 0) {
        out->count = 0;
        return 0.0;
    }
    const cairo_glyph_t &last = out->glyphs[out->count - 1];
    cairo_text_extents_t extents;
    cairo_scaled_font_glyph_extents(font, &last, 1, &extents);
    return last.x + extents.x_advance - x;
}

}  // namespace

CdrawFont *cdraw_font_from_memory(CdrawBackend *b, const void *data, int size_bytes, int pixels) {
    if (!b || !data || size_bytes <= 0 || pixels <= 0 || !ensure_library(b)) return nullptr;
    FT_Face face;
    if (FT_New_Memory_Face(b->freetype, (const FT_Byte *)data, size_bytes, 0, &face) != 0) return nullptr;
    cairo_font_face_t *cairo_face = adopt_face(b, face);
    return cairo_face ? make_font(b, cairo_face, pixels) : nullptr;
}

CdrawFont *cdraw_font_create(CdrawBackend *b, const char *family, int pixels) {
    if (pixels <= 0) return nullptr;
    // The toy face resolves the family through fontconfig, look-alikes included.
    cairo_font_face_t *face =
        cairo_toy_font_face_create(family ? family : "", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return nullptr;
    }
    return make_font(b, face, pixels);
}

void cdraw_font_free(CdrawFont *font) {
    if (!font) return;
    for (int32_t i = 0; i < font->face_count; ++i) {
        cairo_scaled_font_destroy(font->faces[i].measure);
        cairo_font_face_destroy(font->faces[i].face);
        free(font->faces[i].file);
    }
    fallback_free(&font->fallback);
    if (font->sorted) FcFontSetDestroy(font->sorted);
    free(font->family);
    if (font->measure) cairo_scaled_font_destroy(font->measure);
    cairo_font_face_destroy(font->face);
    cairo_font_options_destroy(font->options);
    free(font);
}

float cdraw_text_width(nk_handle handle, float height, const char *text, int length) {
    (void)height;
    CdrawFont *font = (CdrawFont *)handle.ptr;
    if (!font || !text || length <= 0) return 0.0f;
    char *copy;
    if (!(text = valid_utf8(text, &length, &copy))) return 0.0f;
    double widest = 0.0;
    if (fallback_needed(&font->fallback, text, length)) {
        widest = fallback_layout(&font->fallback, text, length, [&](int, uint8_t slot, const char *span, int bytes, double) {
            Glyphs glyphs;
            return place_line(slot ? font->faces[slot - 1].measure : font->measure, 0.0, 0.0, span, bytes, &glyphs);
        });
    } else {
        text_for_each_line(text, length, [&](int, const char *line, int bytes) {
            Glyphs glyphs;
            const double width = place_line(font->measure, 0.0, 0.0, line, bytes, &glyphs);
            if (width > widest) widest = width;
        });
    }
    free(copy);
    return (float)widest;
}

void cdraw_draw_text(CdrawBackend *b, int32_t x, int32_t y, const char *text, int32_t length, CdrawFont *f,
                     uint32_t argb) {
    if (!b || !b->cr || !f || !text || length <= 0) return;
    char *copy;
    if (!(text = valid_utf8(text, &length, &copy))) return;
    cairo_set_font_size(b->cr, f->user_font.height);
    cairo_set_font_options(b->cr, f->options);
    cdraw_set_source_argb(b->cr, argb);
    if (fallback_needed(&f->fallback, text, length)) {
        fallback_layout(&f->fallback, text, length, [&](int index, uint8_t slot, const char *span, int bytes, double at) {
            Glyphs glyphs;
            const double advance = place_line(slot ? f->faces[slot - 1].measure : f->measure, x + at,
                                              y + f->ascent + index * f->line_height, span, bytes, &glyphs);
            if (glyphs.count > 0) {
                cairo_set_font_face(b->cr, slot ? f->faces[slot - 1].face : f->face);
                cairo_set_font_size(b->cr, f->user_font.height);
                cairo_show_glyphs(b->cr, glyphs.glyphs, glyphs.count);
            }
            return advance;
        });
        free(copy);
        return;
    }
    cairo_set_font_face(b->cr, f->face);
    text_for_each_line(text, length, [&](int index, const char *line, int bytes) {
        Glyphs glyphs;
        place_line(f->measure, x, y + f->ascent + index * f->line_height, line, bytes, &glyphs);
        if (glyphs.count > 0) cairo_show_glyphs(b->cr, glyphs.glyphs, glyphs.count);
    });
    free(copy);
}
