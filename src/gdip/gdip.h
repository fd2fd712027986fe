// The GDI+ drawing backend: owns GDI+ for the process, the back buffer that
// every frame is drawn into, one pen, one brush, one string format, the private
// font collections and the Nuklear context; draws Nuklear's command list (the
// draw_* primitives of render/draw.h), supplies fonts, images and the clipboard.
// One backend per process: no operation takes the record as an argument.
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

enum { GDIP_FONT_COLLECTIONS = 10 };

struct GdipBackend {
    ULONG_PTR gdiplus_token;
    GpGraphics *window_graphics;
    GpGraphics *back_buffer_graphics;
    GpBitmap *back_buffer;
    GpPen *pen;
    GpSolidFill *brush;
    GpStringFormat *text_format;
    GpFontCollection *font_collections[GDIP_FONT_COLLECTIONS];
    int32_t collection_count;
    struct nk_context context;
};

extern GdipBackend gdip;

// A Nuklear user font with its GDI+ font; `user_font` comes first, so the
// record's address is its user font's.
struct GdipFont {
    struct nk_user_font user_font;
    GpFont *gdi_font;
};

// --- renderer ---------------------------------------------------------------------
struct nk_context *gdip_init(HWND window, unsigned int width, unsigned int height);
void gdip_shutdown(void);
void gdip_render(int antialias);
void gdip_clear(struct nk_color color);
void gdip_fill_polygon(const struct nk_vec2i *points, int count, struct nk_color color);

// Rebuilds window graphics, back buffer and its graphics for a new client size.
// A size of 0 in either direction (a minimised window) keeps what there is.
// Does nothing before gdip_init.
void gdip_resize(HWND window, unsigned int width, unsigned int height);
// Copies the back buffer to `dc` at (0, 0), at its own size (for WM_PAINT).
void gdip_paint(HDC dc);
// Copies the back buffer to the window: at its own size, or stretched to
// `width` x `height` when `stretch` is non-zero.
void gdip_present(int stretch, int width, int height);

// --- fonts ------------------------------------------------------------------------
GdipFont *gdip_font_create(const char *name, int size);
GdipFont *gdip_font_from_memory(const void *data, int size_bytes, int size);
GdipFont *gdip_font_from_file(const wchar_t *path, int size);
GdipFont *gdip_font_from_collection(int size);
void gdip_font_free(GdipFont *font);
void gdip_set_font(GdipFont *font);
float gdip_text_width(nk_handle handle, float height, const char *text, int length);
void gdip_draw_text(short x, short y, unsigned short w, unsigned short h, const char *text, int length,
                    GdipFont *font, struct nk_color color);

// --- images -----------------------------------------------------------------------
struct nk_image gdip_load_image_memory(const void *data, uint32_t size);
struct nk_image gdip_load_image_file(const wchar_t *path);
struct nk_image gdip_wrap_image(GpImage *image);
void gdip_image_free(struct nk_image *image);

// --- clipboard --------------------------------------------------------------------
void gdip_clipboard_copy(nk_handle userdata, const char *text, int length);
void gdip_clipboard_paste(nk_handle userdata, struct nk_text_edit *edit);

// --- input (the host's window procedure hands every message here) ----------------
int gdip_handle_event(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
