// The GDI+ drawing backend: starts GDI+, keeps the back buffer that every frame
// is drawn into, one pen, one brush, one string format and the private font
// collections; draws Nuklear's command list (the draw_* primitives of
// render/draw.h, with the record as their target) and supplies fonts and
// images. It draws and nothing else: the Nuklear context, the clipboard and
// event translation belong to the host, whose record holds this one.
#pragma once

#include <stdint.h>
#include <windows.h>

// The flat GDI+ API (Gdiplus::DllExports) and its handle types; the C++
// wrapper classes are not used. objidl.h supplies IStream and PROPID, which
// WIN32_LEAN_AND_MEAN keeps out of windows.h and gdiplus.h needs. In C++ the
// header puts everything in namespaces; the backend and its users call the
// flat functions and name the handle types unqualified.
#include <objidl.h>
#include <gdiplus.h>
using namespace Gdiplus;
using namespace Gdiplus::DllExports;

#include "nuklear_config.h"
#include "render/fallback.h"

enum { GDIP_FONT_COLLECTIONS = 10 };

// The installed families that fallback has looked at, with what each has
// (gdip_font.cpp).
struct GdipFamilies;

struct GdipBackend {
    // gdiplus.dll, loaded from System32 by gdip_init. The program binds its
    // functions at their first call (a delay-load import), so until this is
    // set none of them may be called. Never unloaded: the bound addresses
    // stay in the import table.
    HMODULE library;
    ULONG_PTR gdiplus_token;
    GpGraphics *window_graphics;
    GpGraphics *back_buffer_graphics;
    GpBitmap *back_buffer;
    GpPen *pen;
    GpSolidFill *brush;
    GpStringFormat *text_format;
    GpFontCollection *font_collections[GDIP_FONT_COLLECTIONS];
    int32_t collection_count;
    // Whether the back buffer holds anything yet: a new one is fully
    // transparent until the next frame clears it.
    bool drawn;
    // Device pixels per logical pixel: everything is drawn scaled by it, so
    // the walk, Nuklear and text measuring all stay in logical pixels.
    float scale;
    // Made when a font first meets a character it lacks; released by gdip_shutdown.
    GdipFamilies *families;
};

// An installed font that stands in for characters a font lacks, at that
// font's size, and how far its line top moves so that both baselines meet.
struct GdipStandIn {
    GpFont *font;
    float shift;
};

// A Nuklear user font with its GDI+ font; `user_font` comes first, so the
// record's address is its user font's. Measuring goes through the backend
// that made the font, so what is measured is what gets drawn. A character the
// font lacks is measured and drawn in an installed font that has it.
struct GdipFont {
    struct nk_user_font user_font;
    GpFont *gdi_font;
    GdipBackend *backend;
    // Which font draws each character; slot n is stand_ins[n - 1].
    Fallback fallback;
    GdipStandIn stand_ins[FALLBACK_FONTS];
    int32_t stand_in_count;
    float ascent, line_spacing;   // pixels: the top of a line to its baseline, and to the next line's top
    // An installed family's characters are read from GDI when first needed,
    // not at start-up, where the host makes a default font only to replace it.
    bool characters_unread;
};

// --- renderer ---------------------------------------------------------------------
// Starts GDI+ and makes the back buffer for `width` x `height` logical pixels
// at `scale` device pixels each (draw_device_pixels). Returns 0 when there is
// nothing to draw into (then gdip_shutdown releases the rest).
int gdip_init(GdipBackend *gdip, HWND window, unsigned int width, unsigned int height, float scale = 1.0f);
void gdip_shutdown(GdipBackend *gdip);
void gdip_render(GdipBackend *gdip, struct nk_context *ctx, int antialias);
void gdip_clear(GdipBackend *gdip, struct nk_color color);
void gdip_fill_polygon(GdipBackend *gdip, const struct nk_vec2i *points, int count, struct nk_color color);

// Rebuilds window graphics, back buffer and its graphics for a new client size
// in device pixels, drawn at the backend's `scale` (set it first to change it).
// A size of 0 in either direction (a minimised window) keeps what there is.
// Does nothing before gdip_init.
void gdip_resize(GdipBackend *gdip, HWND window, unsigned int width, unsigned int height);
// Copies the back buffer to `dc` at (0, 0), at its own size (for WM_PAINT).
void gdip_paint(GdipBackend *gdip, HDC dc);
// Copies the back buffer to the window: at its own size, or stretched to
// `width` x `height` when `stretch` is non-zero.
void gdip_present(GdipBackend *gdip, int stretch, int width, int height);

// --- fonts ------------------------------------------------------------------------
// Fonts by family name, from TrueType data or a font file. Each knows the
// characters it has (its cmap) and draws the others from installed fonts:
// by a list per script that holds Windows' own families first, then those a
// system gives Wine through fontconfig (Noto, DejaVu), and at last any
// installed family that has the character.
GdipFont *gdip_font_create(GdipBackend *gdip, const char *name, int size);
GdipFont *gdip_font_from_memory(GdipBackend *gdip, const void *data, int size_bytes, int size);
GdipFont *gdip_font_from_file(GdipBackend *gdip, const wchar_t *path, int size);
GdipFont *gdip_font_from_collection(GdipBackend *gdip, int size);
void gdip_font_free(GdipFont *font);
// Releases what fallback learnt of the installed families (gdip_shutdown does).
void gdip_forget_families(GdipBackend *gdip);
// Makes `font` the one `ctx` measures and draws with.
void gdip_set_font(struct nk_context *ctx, GdipFont *font);
float gdip_text_width(nk_handle handle, float height, const char *text, int length);
void gdip_draw_text(short x, short y, unsigned short w, unsigned short h, const char *text, int length,
                    GdipFont *font, struct nk_color color);

// --- images -----------------------------------------------------------------------
struct nk_image gdip_load_image_memory(const void *data, uint32_t size);
struct nk_image gdip_load_image_file(const wchar_t *path);
struct nk_image gdip_wrap_image(GpImage *image);
void gdip_image_free(struct nk_image *image);
// An ANSI code-page path as the UTF-16 that GDI+ takes; malloc'd, null on failure.
wchar_t *gdip_widen_path(const char *path);
