// The backend record, GDI+ start-up and shutdown, the back buffer and its
// presentation, and the draw_* primitives that render/walk.cpp drives.
//
// Every primitive draws on back_buffer_graphics with the one pen or the one
// brush, re-coloured in place; GDI+ statuses are not examined here: a call
// GDI+ rejects simply draws nothing, and the walk goes on.
#include "gdip/gdip.h"
#include "patch/fileio.h"

#include "render/draw.h"

namespace {

// At most DRAW_POLYGON_FILL_MAX points, into the caller's fixed array.
int32_t copy_points(const DrawPoint *points, int32_t count, GpPoint *out) {
    const int32_t n = count < 0 ? 0 : count < DRAW_POLYGON_FILL_MAX ? count : DRAW_POLYGON_FILL_MAX;
    for (int32_t i = 0; i < n; ++i) {
        out[i].X = points[i].x;
        out[i].Y = points[i].y;
    }
    return n;
}

// Everything is drawn in logical pixels onto device pixels: outlines, fills,
// clips, images and text (GDI+ hints the glyphs at the size they land at, so
// they are as sharp as at 96 dpi). At a scale of 1 no transform is set at all.
void scale_drawing(GpGraphics *graphics, float scale) {
    if (scale != 1.0f) GdipScaleWorldTransform(graphics, scale, scale, MatrixOrderPrepend);
}

// The back buffer and its graphics for one client size, made before the old
// ones are released so that a failed creation leaves the backend as it was.
bool make_buffers(HWND window, unsigned int width, unsigned int height, float scale, GpGraphics **window_graphics,
                  GpBitmap **back_buffer, GpGraphics **back_buffer_graphics) {
    *window_graphics = nullptr;
    *back_buffer = nullptr;
    *back_buffer_graphics = nullptr;
    if (GdipCreateFromHWND(window, window_graphics) != Ok) return false;
    if (GdipCreateBitmapFromGraphics((INT)width, (INT)height, *window_graphics, back_buffer) == Ok &&
        GdipGetImageGraphicsContext(*back_buffer, back_buffer_graphics) == Ok) {
        scale_drawing(*back_buffer_graphics, scale);
        return true;
    }
    if (*back_buffer) GdipDisposeImage(*back_buffer);
    GdipDeleteGraphics(*window_graphics);
    *window_graphics = nullptr;
    *back_buffer = nullptr;
    return false;
}

}  // namespace

int gdip_init(GdipBackend *gdip, HWND window, unsigned int width, unsigned int height, float scale) {
    // From the system's folder only, whatever lies beside the program.
    gdip->library = (HMODULE)system_library(L"gdiplus.dll");
    if (!gdip->library) return 0;
    // Wine's GDI+ decodes through the imaging component, which it binds at
    // the first decode by a search that looks beside the program first, and
    // so everything that imports. Loaded from System32 now, it is found
    // already loaded then. (Windows' GDI+ has codecs of its own.)
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) system_library(L"windowscodecs.dll");
    GdiplusStartupInput startup(nullptr, FALSE, TRUE);
    GdiplusStartup(&gdip->gdiplus_token, &startup, nullptr);

    gdip->scale = scale > 0.0f ? scale : 1.0f;
    GdipCreateFromHWND(window, &gdip->window_graphics);
    GdipCreateBitmapFromGraphics(draw_device_pixels((int32_t)width, gdip->scale),
                                 draw_device_pixels((int32_t)height, gdip->scale), gdip->window_graphics,
                                 &gdip->back_buffer);
    GdipGetImageGraphicsContext(gdip->back_buffer, &gdip->back_buffer_graphics);
    if (gdip->back_buffer_graphics) scale_drawing(gdip->back_buffer_graphics, gdip->scale);
    GdipCreatePen1(0, 1.0f, UnitPixel, &gdip->pen);
    GdipCreateSolidFill(0, &gdip->brush);
    GdipStringFormatGetGenericTypographic(&gdip->text_format);
    GdipSetStringFormatFlags(gdip->text_format, StringFormatFlagsNoFitBlackBox | StringFormatFlagsMeasureTrailingSpaces |
                                                    StringFormatFlagsNoWrap | StringFormatFlagsNoClip);
    for (GpFontCollection *&slot : gdip->font_collections) slot = nullptr;
    gdip->collection_count = 0;
    gdip->drawn = false;
    // A GDI+ that did not start leaves no back buffer to draw into.
    return gdip->back_buffer_graphics != nullptr;
}

void gdip_shutdown(GdipBackend *gdip) {
    if (!gdip->library) {
        *gdip = GdipBackend{};
        return;
    }
    gdip_forget_families(gdip);
    for (int32_t i = 0; i < gdip->collection_count && i < GDIP_FONT_COLLECTIONS; ++i)
        GdipDeletePrivateFontCollection(&gdip->font_collections[i]);
    GdipDeleteGraphics(gdip->window_graphics);
    GdipDeleteGraphics(gdip->back_buffer_graphics);
    GdipDisposeImage(gdip->back_buffer);
    GdipDeletePen(gdip->pen);
    GdipDeleteBrush(gdip->brush);
    GdipDeleteStringFormat(gdip->text_format);
    if (gdip->gdiplus_token) GdiplusShutdown(gdip->gdiplus_token);

    // Nothing may reach a released object: a late resize or paint (the window
    // outlives the backend by a few messages) sees null handles and does nothing.
    HMODULE library = gdip->library;
    *gdip = GdipBackend{};
    gdip->library = library;
}

void gdip_render(GdipBackend *gdip, struct nk_context *ctx, int antialias) {
    if (antialias) {
        GdipSetTextRenderingHint(gdip->back_buffer_graphics, TextRenderingHintClearTypeGridFit);
        GdipSetSmoothingMode(gdip->back_buffer_graphics, SmoothingModeHighQuality);
    } else {
        GdipSetTextRenderingHint(gdip->back_buffer_graphics, TextRenderingHintSingleBitPerPixelGridFit);
        GdipSetSmoothingMode(gdip->back_buffer_graphics, SmoothingModeNone);
    }
    render_commands(ctx, gdip);
}

void gdip_clear(GdipBackend *gdip, struct nk_color color) {
    GdipGraphicsClear(gdip->back_buffer_graphics, draw_argb(color));
    gdip->drawn = true;
}

void gdip_fill_polygon(GdipBackend *gdip, const struct nk_vec2i *points, int count, struct nk_color color) {
    render_fill_polygon(gdip, points, count, color);
}

void gdip_resize(GdipBackend *gdip, HWND window, unsigned int width, unsigned int height) {
    // A minimised window reports 0 x 0, and GDI+ cannot make an empty bitmap:
    // the last frame's buffer stays, so paint and present keep a valid object.
    if (!gdip->window_graphics || width == 0 || height == 0) return;
    GpGraphics *window_graphics, *back_buffer_graphics;
    GpBitmap *back_buffer;
    if (!make_buffers(window, width, height, gdip->scale, &window_graphics, &back_buffer, &back_buffer_graphics))
        return;
    GdipDeleteGraphics(gdip->window_graphics);
    GdipDeleteGraphics(gdip->back_buffer_graphics);
    GdipDisposeImage(gdip->back_buffer);
    gdip->window_graphics = window_graphics;
    gdip->back_buffer = back_buffer;
    gdip->back_buffer_graphics = back_buffer_graphics;
    gdip->drawn = false;
}

void gdip_paint(GdipBackend *gdip, HDC dc) {
    if (!gdip->back_buffer) return;
    GpGraphics *graphics = nullptr;
    if (GdipCreateFromHDC(dc, &graphics) != Ok) return;
    // A back buffer that holds no frame yet is fully transparent, and drawing
    // it would change no pixel of the window. Skipping it saves the start-up
    // paint a full-size alpha blend, which under Wine costs as much as half a
    // frame.
    if (gdip->drawn) GdipDrawImageI(graphics, gdip->back_buffer, 0, 0);
    GdipDeleteGraphics(graphics);
}

void gdip_present(GdipBackend *gdip, int stretch, int width, int height) {
    if (!gdip->window_graphics || !gdip->back_buffer) return;
    if (stretch)
        GdipDrawImageRectI(gdip->window_graphics, gdip->back_buffer, 0, 0, width, height);
    else
        GdipDrawImageI(gdip->window_graphics, gdip->back_buffer, 0, 0);
}

// --- the primitives of render/draw.h -------------------------------------------------

void draw_clip(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipSetClipRectI(gdip->back_buffer_graphics, x, y, w, h, CombineModeReplace);
}

void draw_pen(void *target, float width, uint32_t argb) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipSetPenWidth(gdip->pen, width);
    GdipSetPenColor(gdip->pen, argb);
}

void draw_brush(void *target, uint32_t argb) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipSetSolidFillColor(gdip->brush, argb);
}

void draw_line(void *target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawLineI(gdip->back_buffer_graphics, gdip->pen, x0, y0, x1, y1);
}

void draw_bezier(void *target, DrawPoint begin, DrawPoint ctrl0, DrawPoint ctrl1, DrawPoint end) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawBezierI(gdip->back_buffer_graphics, gdip->pen, begin.x, begin.y, ctrl0.x, ctrl0.y, ctrl1.x, ctrl1.y, end.x,
                    end.y);
}

void draw_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawRectangleI(gdip->back_buffer_graphics, gdip->pen, x, y, w, h);
}

void draw_fill_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipFillRectangleI(gdip->back_buffer_graphics, gdip->brush, x, y, w, h);
}

void draw_arc(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawArcI(gdip->back_buffer_graphics, gdip->pen, x, y, w, h, start, sweep);
}

void draw_fill_pie(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipFillPieI(gdip->back_buffer_graphics, gdip->brush, x, y, w, h, start, sweep);
}

void draw_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawEllipseI(gdip->back_buffer_graphics, gdip->pen, x, y, w, h);
}

void draw_fill_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipFillEllipseI(gdip->back_buffer_graphics, gdip->brush, x, y, w, h);
}

void draw_polygon(void *target, const DrawPoint *points, int32_t count) {
    GdipBackend *gdip = (GdipBackend *)target;
    GpPoint pts[DRAW_POLYGON_FILL_MAX];
    const int32_t n = copy_points(points, count, pts);
    GdipDrawPolygonI(gdip->back_buffer_graphics, gdip->pen, pts, n);
}

void draw_fill_polygon(void *target, const DrawPoint *points, int32_t count) {
    GdipBackend *gdip = (GdipBackend *)target;
    GpPoint pts[DRAW_POLYGON_FILL_MAX];
    const int32_t n = copy_points(points, count, pts);
    GdipFillPolygonI(gdip->back_buffer_graphics, gdip->brush, pts, n, FillModeAlternate);
}

// The font knows the backend it was made by, which is the one drawing here.
void draw_text(void *, int32_t x, int32_t y, int32_t w, int32_t h, const char *text, int32_t length, void *font,
               uint32_t argb) {
    // Back from ARGB to the packed nk_color that gdip_draw_text takes.
    const struct nk_color color = nk_rgba((int)((argb >> 16) & 0xFF), (int)((argb >> 8) & 0xFF), (int)(argb & 0xFF),
                                          (int)(argb >> 24));
    gdip_draw_text((short)x, (short)y, (unsigned short)w, (unsigned short)h, text, length, (GdipFont *)font, color);
}

void draw_image(void *target, void *image, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipBackend *gdip = (GdipBackend *)target;
    GdipDrawImageRectI(gdip->back_buffer_graphics, (GpImage *)image, x, y, w, h);
}
