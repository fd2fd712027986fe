// The back buffer, its lifecycle, and the draw_* primitives that render/walk.cpp
// drives, drawn with Cairo in logical pixels on a context scaled to the device.
//
// GDI+ puts pixel centres on integer coordinates, Cairo puts pixel edges there.
// Outlines are therefore drawn half a pixel further down and right, which
// covers the same pixels as GDI+ for any pen width (a 1-pixel line at y = 5 is
// row 5, not half of rows 4 and 5); fills are not moved, so that Nuklear's
// rectangles keep crisp edges with anti-aliasing on.
//
// A Cairo context that once errs draws nothing ever after, so every shape that
// Cairo would refuse (an ellipse of zero size makes a singular matrix) is
// turned away here, where GDI+ would simply draw nothing.
#include <math.h>
#include <string.h>

#include "cairo/cdraw.h"
#include FT_MODULE_H
#include "render/draw.h"

namespace {

const double kPixelCentre = 0.5;

CdrawBackend *backend(void *target) {
    CdrawBackend *b = (CdrawBackend *)target;
    return b && b->cr ? b : nullptr;
}

void stroke(CdrawBackend *b) {
    // Nuklear truncates thicknesses below 1 to 0; GDI+ draws a zero-width pen
    // as a hairline rather than not at all.
    cairo_set_line_width(b->cr, b->pen_width > 0 ? b->pen_width : 1.0);
    cdraw_set_source_argb(b->cr, b->pen_argb);
    cairo_stroke(b->cr);
}

void fill(CdrawBackend *b) {
    cdraw_set_source_argb(b->cr, b->brush_argb);
    cairo_fill(b->cr);
}

// GDI+ measures an arc's angles at the centre of its ellipse; Cairo's arc on a
// scaled circle takes the parametric angle. Same quadrant, so the whole turns
// of the original angle carry over and long sweeps stay monotonic.
double parametric(double degrees, double rx, double ry) {
    const double t = degrees * M_PI / 180.0;
    const double p = atan2(rx * sin(t), ry * cos(t));
    return p + 2.0 * M_PI * round((t - p) / (2.0 * M_PI));
}

// An elliptical arc in the box (x, y, w, h), continuing the current path.
void arc_path(cairo_t *cr, double x, double y, double w, double h, double start, double sweep) {
    if (sweep > 360.0) sweep = 360.0;
    if (sweep < -360.0) sweep = -360.0;
    const double rx = w / 2.0, ry = h / 2.0;
    const double a0 = parametric(start, rx, ry), a1 = parametric(start + sweep, rx, ry);
    cairo_save(cr);
    cairo_translate(cr, x + rx, y + ry);
    cairo_scale(cr, rx, ry);
    if (sweep >= 0)
        cairo_arc(cr, 0, 0, 1, a0, a1 < a0 ? a0 : a1);
    else
        cairo_arc_negative(cr, 0, 0, 1, a0, a1 > a0 ? a0 : a1);
    cairo_restore(cr);
}

void ellipse_path(cairo_t *cr, double x, double y, double w, double h) {
    cairo_new_sub_path(cr);
    arc_path(cr, x, y, w, h, 0, 360);
    cairo_close_path(cr);
}

// A context on a fresh buffer, with the state every frame relies on.
bool make_canvas(int width, int height, double scale, cairo_surface_t **surface, cairo_t **cr) {
    *surface = nullptr;
    *cr = nullptr;
    if (width <= 0 || height <= 0 || !(scale > 0) || !isfinite(scale)) return false;
    const double dw = draw_device_pixels(width, scale), dh = draw_device_pixels(height, scale);
    if (dw < 1 || dh < 1 || dw > 32767 || dh > 32767) return false;   // Cairo's limit for image surfaces
    *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int)dw, (int)dh);
    if (cairo_surface_status(*surface) == CAIRO_STATUS_SUCCESS) {
        *cr = cairo_create(*surface);
        if (cairo_status(*cr) == CAIRO_STATUS_SUCCESS) {
            cairo_scale(*cr, scale, scale);
            // GDI+'s alternate mode; rectangles, pies and ellipses fill alike either way.
            cairo_set_fill_rule(*cr, CAIRO_FILL_RULE_EVEN_ODD);
            return true;
        }
        cairo_destroy(*cr);
        *cr = nullptr;
    }
    cairo_surface_destroy(*surface);
    *surface = nullptr;
    return false;
}

}  // namespace

void cdraw_set_source_argb(cairo_t *cr, uint32_t argb) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
}

int cdraw_init(CdrawBackend *b, int width, int height, double scale) {
    memset(b, 0, sizeof *b);
    b->pen_width = 1.0;
    if (!make_canvas(width, height, scale, &b->back_buffer, &b->cr)) return 0;
    b->width = width;
    b->height = height;
    b->scale = scale;
    return 1;
}

void cdraw_shutdown(CdrawBackend *b) {
    if (b->cr) cairo_destroy(b->cr);
    if (b->back_buffer) cairo_surface_destroy(b->back_buffer);
    // Drops only the backend's reference: faces that Cairo still caches keep
    // the library alive until they go (see cdraw_font.cpp).
    if (b->freetype) FT_Done_Library(b->freetype);
    b->cr = nullptr;
    b->back_buffer = nullptr;
    b->freetype = nullptr;
}

int cdraw_resize(CdrawBackend *b, int width, int height, double scale) {
    cairo_surface_t *surface;
    cairo_t *cr;
    if (!b->cr || !make_canvas(width, height, scale, &surface, &cr)) return 0;
    cairo_destroy(b->cr);
    cairo_surface_destroy(b->back_buffer);
    b->back_buffer = surface;
    b->cr = cr;
    b->width = width;
    b->height = height;
    b->scale = scale;
    return 1;
}

void cdraw_clear(CdrawBackend *b, struct nk_color color) {
    if (!b->cr) return;
    cairo_save(b->cr);
    cairo_reset_clip(b->cr);
    cairo_set_operator(b->cr, CAIRO_OPERATOR_SOURCE);
    cdraw_set_source_argb(b->cr, draw_argb(color));
    cairo_paint(b->cr);
    cairo_restore(b->cr);
}

void cdraw_render(CdrawBackend *b, struct nk_context *ctx) {
    if (!b->cr) return;
    cairo_reset_clip(b->cr);
    render_commands(ctx, b);
    cairo_surface_flush(b->back_buffer);
}

// --- the primitives of render/draw.h ----------------------------------------------
// All of them are defined in this file: whatever links cdraw_render, and with
// it the walk, then gets every primitive the walk calls from the same object.

void draw_clip(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    CdrawBackend *b = backend(target);
    if (!b) return;
    cairo_reset_clip(b->cr);
    cairo_rectangle(b->cr, x, y, w, h);
    cairo_clip(b->cr);
}

void draw_pen(void *target, float width, uint32_t argb) {
    CdrawBackend *b = (CdrawBackend *)target;
    b->pen_width = width;
    b->pen_argb = argb;
}

void draw_brush(void *target, uint32_t argb) { ((CdrawBackend *)target)->brush_argb = argb; }

void draw_line(void *target, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    CdrawBackend *b = backend(target);
    if (!b) return;
    cairo_move_to(b->cr, x0 + kPixelCentre, y0 + kPixelCentre);
    cairo_line_to(b->cr, x1 + kPixelCentre, y1 + kPixelCentre);
    stroke(b);
}

void draw_bezier(void *target, DrawPoint begin, DrawPoint ctrl0, DrawPoint ctrl1, DrawPoint end) {
    CdrawBackend *b = backend(target);
    if (!b) return;
    const double o = kPixelCentre;
    cairo_move_to(b->cr, begin.x + o, begin.y + o);
    cairo_curve_to(b->cr, ctrl0.x + o, ctrl0.y + o, ctrl1.x + o, ctrl1.y + o, end.x + o, end.y + o);
    stroke(b);
}

void draw_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    CdrawBackend *b = backend(target);
    // Unlike the other shapes, an outline of zero width or height is still
    // stroked, as GDI+ strokes it: a rectangle 0 wide is a line.
    if (!b || w < 0 || h < 0) return;
    cairo_rectangle(b->cr, x + kPixelCentre, y + kPixelCentre, w, h);
    stroke(b);
}

void draw_fill_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    // The rounded fill's bands go negative when the radius passes half the
    // side; GDI+ fills nothing for them, and neither does this.
    CdrawBackend *b = backend(target);
    if (!b || w <= 0 || h <= 0) return;
    cairo_rectangle(b->cr, x, y, w, h);
    fill(b);
}

void draw_arc(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    CdrawBackend *b = backend(target);
    if (!b || w <= 0 || h <= 0) return;
    arc_path(b->cr, x + kPixelCentre, y + kPixelCentre, w, h, start, sweep);
    stroke(b);
}

void draw_fill_pie(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    CdrawBackend *b = backend(target);
    if (!b || w <= 0 || h <= 0) return;
    cairo_move_to(b->cr, x + w / 2.0, y + h / 2.0);
    arc_path(b->cr, x, y, w, h, start, sweep);
    cairo_close_path(b->cr);
    fill(b);
}

void draw_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    CdrawBackend *b = backend(target);
    if (!b || w <= 0 || h <= 0) return;
    ellipse_path(b->cr, x + kPixelCentre, y + kPixelCentre, w, h);
    stroke(b);
}

void draw_fill_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h) {
    CdrawBackend *b = backend(target);
    if (!b || w <= 0 || h <= 0) return;
    ellipse_path(b->cr, x, y, w, h);
    fill(b);
}

void draw_polygon(void *target, const DrawPoint *points, int32_t count) {
    CdrawBackend *b = backend(target);
    if (!b || count <= 0) return;
    for (int32_t i = 0; i < count; ++i) cairo_line_to(b->cr, points[i].x + kPixelCentre, points[i].y + kPixelCentre);
    cairo_close_path(b->cr);
    stroke(b);
}

void draw_fill_polygon(void *target, const DrawPoint *points, int32_t count) {
    CdrawBackend *b = backend(target);
    if (!b || count <= 0) return;
    if (count > DRAW_POLYGON_FILL_MAX) count = DRAW_POLYGON_FILL_MAX;
    for (int32_t i = 0; i < count; ++i) cairo_line_to(b->cr, points[i].x, points[i].y);
    cairo_close_path(b->cr);
    fill(b);
}

void draw_text(void *target, int32_t x, int32_t y, int32_t w, int32_t h, const char *text, int32_t length, void *font,
               uint32_t argb) {
    // The run is neither wrapped at the rectangle's width nor clipped to it;
    // only the scissor limits it.
    (void)w;
    (void)h;
    cdraw_draw_text((CdrawBackend *)target, x, y, text, length, (CdrawFont *)font, argb);
}

void draw_image(void *target, void *image, int32_t x, int32_t y, int32_t w, int32_t h) {
    CdrawBackend *b = backend(target);
    cairo_surface_t *surface = (cairo_surface_t *)image;
    if (!b || !surface || w <= 0 || h <= 0) return;
    const int iw = cairo_image_surface_get_width(surface), ih = cairo_image_surface_get_height(surface);
    if (iw <= 0 || ih <= 0) return;
    cairo_save(b->cr);
    cairo_rectangle(b->cr, x, y, w, h);
    cairo_translate(b->cr, x, y);
    cairo_scale(b->cr, (double)w / iw, (double)h / ih);
    cairo_set_source_surface(b->cr, surface, 0, 0);
    // Smooth like GDI+'s default interpolation; padding keeps the scaled
    // edges as opaque as the image's own instead of fading them out.
    cairo_pattern_set_filter(cairo_get_source(b->cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(b->cr), CAIRO_EXTEND_PAD);
    cairo_fill(b->cr);
    cairo_restore(b->cr);
}
