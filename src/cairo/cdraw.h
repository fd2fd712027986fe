// The Cairo drawing backend (Linux): a back buffer that every frame is drawn
// into, the draw_* primitives of render/draw.h over it, fonts from TrueType
// data (FreeType) or from an installed family (fontconfig), with every
// character a font lacks drawn from an installed font that has it (fontconfig
// picks it), Nuklear's text width callback, and PNG images.
//
// It draws into a Cairo ARGB32 image surface and nothing else: it opens no
// window, owns no Nuklear context, and leaves input, the clipboard and showing
// the buffer on screen to the host, which paints `back_buffer` in its own draw
// handler, scaled by 1 / scale, since the surface carries no device scale of
// its own. Everything it keeps between calls is in one CdrawBackend, which the
// walk hands to every primitive as its target.
//
// Geometry follows GDI+ so that both windows look alike: outlines sit half a
// pixel down and right (a 1-pixel line at y = 5 covers pixel row 5), fills
// cover exactly [x, x + w) x [y, y + h), arcs take GDI+ angles (degrees,
// clockwise from +x, measured at the ellipse's centre), filled polygons use
// the even-odd rule and at most 64 points, a run of text starts with the top
// of its line at the rectangle's top and is neither wrapped nor clipped to it.
// The buffer holds width * scale x height * scale device pixels and everything
// is drawn scaled, so a scale of 2 gives the same picture twice as sharp; all
// coordinates and text widths stay in logical pixels.
//
// Left out: images in formats other than PNG, and Nuklear's vertex output.
#pragma once

#include <stdint.h>

#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "nuklear_config.h"
#include "render/fallback.h"

struct CdrawBackend {
    cairo_surface_t *back_buffer;   // ARGB32, width * scale x height * scale device pixels
    cairo_t *cr;                    // draws into back_buffer, already scaled
    int width, height;              // logical size, the one Nuklear lays out in
    double scale;                   // device pixels per logical pixel
    // What draw_pen and draw_brush set for the outlines and fills after them.
    double pen_width;
    uint32_t pen_argb;
    uint32_t brush_argb;
    // Made by the first font load. Every face holds a reference of its own,
    // so a face that Cairo still caches after cdraw_shutdown stays valid.
    FT_Library freetype;
};

// An installed font that stands in for characters a font lacks, at that
// font's size.
struct CdrawFace {
    cairo_font_face_t *face;
    cairo_scaled_font_t *measure;
    char *file;   // where fontconfig found it, and its index there
    int index;
};

// A Nuklear user font; `user_font` comes first, so the record's address is its
// user font's. The user font is complete when the record is made: userdata is
// the record, height the pixel size, width cdraw_text_width; hand
// &font->user_font to nk_style_set_font.
struct CdrawFont {
    struct nk_user_font user_font;
    CdrawBackend *backend;
    cairo_font_face_t *face;
    cairo_scaled_font_t *measure;   // the face at its pixel size in logical pixels
    cairo_font_options_t *options;
    double ascent;                  // top of the line to the baseline, logical pixels
    double line_height;             // baseline to baseline
    // Which font draws each character; slot n is faces[n - 1].
    Fallback fallback;
    CdrawFace faces[FALLBACK_FONTS];
    int32_t face_count;
    char *family;   // the font's own family, which fontconfig is asked to stay close to
    // The installed fonts in fontconfig's order for this font, sorted once on
    // the first character the font lacks (a sort costs tens of milliseconds,
    // and a Japanese text has a hundred such characters).
    struct _FcFontSet *sorted;
};

// --- back buffer -----------------------------------------------------------------
// The colour rule, for the backend's files and the host alike: ARGB as
// (a << 24) | (r << 16) | (g << 8) | b becomes the context's source, alpha kept.
void cdraw_set_source_argb(cairo_t *cr, uint32_t argb);
// Returns 1, or 0 after releasing whatever it made (then cdraw_shutdown is still safe).
int cdraw_init(CdrawBackend *b, int width, int height, double scale);
// Releases the buffer and the backend's FreeType reference. Safe twice.
void cdraw_shutdown(CdrawBackend *b);
// A new buffer for a new size or scale, without a clip. Returns 1 when the
// buffer now has that size; 0 when the old one was kept, because a size is 0
// (a minimised window) or the new buffer could not be made.
int cdraw_resize(CdrawBackend *b, int width, int height, double scale);
// Sets every pixel of the buffer to the colour, alpha included, whatever the clip.
void cdraw_clear(CdrawBackend *b, struct nk_color color);
// Draws the context's command list, starting without a clip, and flushes the
// buffer so the host can read it. Leaves the list for the caller's nk_clear.
void cdraw_render(CdrawBackend *b, struct nk_context *ctx);

// --- fonts -----------------------------------------------------------------------
// The pixel size is the em size in pixels. The TrueType data is not copied: it
// must stay valid as long as the font and Cairo's cache may use it, which for
// the embedded font (static data) is always. Null when FreeType rejects it.
CdrawFont *cdraw_font_from_memory(CdrawBackend *b, const void *data, int size_bytes, int pixels);
// An installed family, as fontconfig matches it (it substitutes a look-alike
// for a family it lacks, such as "Arial"). Null only when nothing can be made.
CdrawFont *cdraw_font_create(CdrawBackend *b, const char *family, int pixels);
// May be null. The font must no longer be Nuklear's style font.
void cdraw_font_free(CdrawFont *font);
// A run of text as a text command draws it: the top of its first line at y,
// the run starting at x, a new line at each line break, nothing wrapped.
// Characters the font lacks come from installed fonts, on the same baseline.
void cdraw_draw_text(CdrawBackend *b, int32_t x, int32_t y, const char *text, int32_t length, CdrawFont *font,
                     uint32_t argb);
// Nuklear's width callback: the advance width of `length` bytes of UTF-8 in
// logical pixels, trailing spaces included; with line breaks, the widest line.
// Characters the font lacks are measured in the fonts that draw them.
float cdraw_text_width(nk_handle handle, float height, const char *text, int length);

// --- images ----------------------------------------------------------------------
// PNG data (bytes after the image's end are ignored) into an image whose handle
// is a Cairo image surface. A failure gives nk_image_id(0), which draws nothing.
struct nk_image cdraw_load_image_memory(const void *data, uint32_t size);
struct nk_image cdraw_load_image_file(const char *path);
// Releases the surface; the nk_image itself is left as it was.
void cdraw_image_free(struct nk_image *image);
