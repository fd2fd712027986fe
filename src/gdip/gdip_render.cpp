// The backend record, GDI+ start-up and shutdown, the back buffer and its
// presentation, and the draw_* primitives that render/walk.cpp drives.
//
// Every primitive draws on back_buffer_graphics with the one pen or the one
// brush, re-coloured in place; GDI+ statuses are not examined here: a call
// GDI+ rejects simply draws nothing, and the walk goes on.
#include "gdip/gdip.h"

#include "render/draw.h"

GdipBackend gdip;

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

// The back buffer and its graphics for one client size, made before the old
// ones are released so that a failed creation leaves the backend as it was.
bool make_buffers(HWND window, unsigned int width, unsigned int height, GpGraphics **window_graphics,
                  GpBitmap **back_buffer, GpGraphics **back_buffer_graphics) {
    *window_graphics = nullptr;
    *back_buffer = nullptr;
    *back_buffer_graphics = nullptr;
    if (GdipCreateFromHWND(window, window_graphics) != Ok) return false;
    if (GdipCreateBitmapFromGraphics((INT)width, (INT)height, *window_graphics, back_buffer) == Ok &&
        GdipGetImageGraphicsContext(*back_buffer, back_buffer_graphics) == Ok)
        return true;
    if (*back_buffer) GdipDisposeImage(*back_buffer);
    GdipDeleteGraphics(*window_graphics);
    *window_graphics = nullptr;
    *back_buffer = nullptr;
    return false;
}

}  // namespace

struct nk_context *gdip_init(HWND window, unsigned int width, unsigned int height) {
    GdiplusStartupInput startup(nullptr, FALSE, TRUE);
    GdiplusStartup(&gdip.gdiplus_token, &startup, nullptr);

    GdipCreateFromHWND(window, &gdip.window_graphics);
    GdipCreateBitmapFromGraphics((INT)width, (INT)height, gdip.window_graphics, &gdip.back_buffer);
    GdipGetImageGraphicsContext(gdip.back_buffer, &gdip.back_buffer_graphics);
    GdipCreatePen1(0, 1.0f, UnitPixel, &gdip.pen);
    GdipCreateSolidFill(0, &gdip.brush);
    GdipStringFormatGetGenericTypographic(&gdip.text_format);
    GdipSetStringFormatFlags(gdip.text_format, StringFormatFlagsNoFitBlackBox | StringFormatFlagsMeasureTrailingSpaces |
                                                   StringFormatFlagsNoWrap | StringFormatFlagsNoClip);
    for (GpFontCollection *&slot : gdip.font_collections) slot = nullptr;

    nk_init_default(&gdip.context, nullptr);
    gdip.collection_count = 0;
    gdip.context.clip.copy = gdip_clipboard_copy;
    gdip.context.clip.paste = gdip_clipboard_paste;
    return &gdip.context;
}

void gdip_shutdown(void) {
    for (int32_t i = 0; i < gdip.collection_count && i < GDIP_FONT_COLLECTIONS; ++i)
        GdipDeletePrivateFontCollection(&gdip.font_collections[i]);
    GdipDeleteGraphics(gdip.window_graphics);
    GdipDeleteGraphics(gdip.back_buffer_graphics);
    GdipDisposeImage(gdip.back_buffer);
    GdipDeletePen(gdip.pen);
    GdipDeleteBrush(gdip.brush);
    GdipDeleteStringFormat(gdip.text_format);
    GdiplusShutdown(gdip.gdiplus_token);
    nk_free(&gdip.context);

    // Nothing may reach a released object: a late resize or paint (the window
    // outlives the backend by a few messages) sees null handles and does nothing.
    gdip.gdiplus_token = 0;
    gdip.window_graphics = nullptr;
    gdip.back_buffer_graphics = nullptr;
    gdip.back_buffer = nullptr;
    gdip.pen = nullptr;
    gdip.brush = nullptr;
    gdip.text_format = nullptr;
    for (GpFontCollection *&slot : gdip.font_collections) slot = nullptr;
    gdip.collection_count = 0;
}

void gdip_render(int antialias) {
    if (antialias) {
        GdipSetTextRenderingHint(gdip.back_buffer_graphics, TextRenderingHintClearTypeGridFit);
        GdipSetSmoothingMode(gdip.back_buffer_graphics, SmoothingModeHighQuality);
    } else {
        GdipSetTextRenderingHint(gdip.back_buffer_graphics, TextRenderingHintSingleBitPerPixelGridFit);
        GdipSetSmoothingMode(gdip.back_buffer_graphics, SmoothingModeNone);
    }
    render_commands(&gdip.context);
}

void gdip_clear(struct nk_color color) { GdipGraphicsClear(gdip.back_buffer_graphics, draw_argb(color)); }

void gdip_fill_polygon(const struct nk_vec2i *points, int count, struct nk_color color) {
    render_fill_polygon(points, count, color);
}

void gdip_resize(HWND window, unsigned int width, unsigned int height) {
    // A minimised window reports 0 x 0, and GDI+ cannot make an empty bitmap:
    // the last frame's buffer stays, so paint and present keep a valid object.
    if (!gdip.window_graphics || width == 0 || height == 0) return;
    GpGraphics *window_graphics, *back_buffer_graphics;
    GpBitmap *back_buffer;
    if (!make_buffers(window, width, height, &window_graphics, &back_buffer, &back_buffer_graphics)) return;
    GdipDeleteGraphics(gdip.window_graphics);
    GdipDeleteGraphics(gdip.back_buffer_graphics);
    GdipDisposeImage(gdip.back_buffer);
    gdip.window_graphics = window_graphics;
    gdip.back_buffer = back_buffer;
    gdip.back_buffer_graphics = back_buffer_graphics;
}

void gdip_paint(HDC dc) {
    if (!gdip.back_buffer) return;
    GpGraphics *graphics = nullptr;
    if (GdipCreateFromHDC(dc, &graphics) != Ok) return;
    GdipDrawImageI(graphics, gdip.back_buffer, 0, 0);
    GdipDeleteGraphics(graphics);
}

void gdip_present(int stretch, int width, int height) {
    if (!gdip.window_graphics || !gdip.back_buffer) return;
    if (stretch)
        GdipDrawImageRectI(gdip.window_graphics, gdip.back_buffer, 0, 0, width, height);
    else
        GdipDrawImageI(gdip.window_graphics, gdip.back_buffer, 0, 0);
}

// --- the primitives of render/draw.h -------------------------------------------------

void draw_clip(int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipSetClipRectI(gdip.back_buffer_graphics, x, y, w, h, CombineModeReplace);
}

void draw_pen(float width, uint32_t argb) {
    GdipSetPenWidth(gdip.pen, width);
    GdipSetPenColor(gdip.pen, argb);
}

void draw_brush(uint32_t argb) { GdipSetSolidFillColor(gdip.brush, argb); }

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    GdipDrawLineI(gdip.back_buffer_graphics, gdip.pen, x0, y0, x1, y1);
}

void draw_bezier(DrawPoint begin, DrawPoint ctrl0, DrawPoint ctrl1, DrawPoint end) {
    GdipDrawBezierI(gdip.back_buffer_graphics, gdip.pen, begin.x, begin.y, ctrl0.x, ctrl0.y, ctrl1.x, ctrl1.y, end.x,
                    end.y);
}

void draw_rect(int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipDrawRectangleI(gdip.back_buffer_graphics, gdip.pen, x, y, w, h);
}

void draw_fill_rect(int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipFillRectangleI(gdip.back_buffer_graphics, gdip.brush, x, y, w, h);
}

void draw_arc(int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    GdipDrawArcI(gdip.back_buffer_graphics, gdip.pen, x, y, w, h, start, sweep);
}

void draw_fill_pie(int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    GdipFillPieI(gdip.back_buffer_graphics, gdip.brush, x, y, w, h, start, sweep);
}

void draw_ellipse(int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipDrawEllipseI(gdip.back_buffer_graphics, gdip.pen, x, y, w, h);
}

void draw_fill_ellipse(int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipFillEllipseI(gdip.back_buffer_graphics, gdip.brush, x, y, w, h);
}

void draw_polygon(const DrawPoint *points, int32_t count) {
    GpPoint pts[DRAW_POLYGON_FILL_MAX];
    const int32_t n = copy_points(points, count, pts);
    GdipDrawPolygonI(gdip.back_buffer_graphics, gdip.pen, pts, n);
}

void draw_fill_polygon(const DrawPoint *points, int32_t count) {
    GpPoint pts[DRAW_POLYGON_FILL_MAX];
    const int32_t n = copy_points(points, count, pts);
    GdipFillPolygonI(gdip.back_buffer_graphics, gdip.brush, pts, n, FillModeAlternate);
}

void draw_text(int32_t x, int32_t y, int32_t w, int32_t h, const char *text, int32_t length, void *font,
               uint32_t argb) {
    // Back from ARGB to the packed nk_color that gdip_draw_text takes.
    const struct nk_color color = nk_rgba((int)((argb >> 16) & 0xFF), (int)((argb >> 8) & 0xFF), (int)(argb & 0xFF),
                                          (int)(argb >> 24));
    gdip_draw_text((short)x, (short)y, (unsigned short)w, (unsigned short)h, text, length, (GdipFont *)font, color);
}

void draw_image(void *image, int32_t x, int32_t y, int32_t w, int32_t h) {
    GdipDrawImageRectI(gdip.back_buffer_graphics, (GpImage *)image, x, y, w, h);
}
