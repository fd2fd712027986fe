// Nuklear's command list drawn through a handful of drawing primitives.
//
// render_commands() is the one walk over the command list for every platform:
// which command becomes which shape, the clip one pixel wider and taller, the
// eight-call rounded outline and seven-call rounded fill, the 64-point cap of
// filled polygons, the skipped command types and null images. Each drawing
// layer (GDI+ on Windows, Cairo on Linux, a recorder in the tests) supplies the
// draw_* primitives below; the linker picks one set.
//
// The primitives mirror a pen-and-brush API: draw_pen/draw_brush set the colour
// (and line width) that the following outline/fill calls use, as GDI+ does.
// Every primitive gets the drawing layer's own record as `target` (the GDI+
// backend, the Cairo backend, the tests' recorder), handed through unchanged
// from render_commands; the walk keeps no state of its own.
#pragma once

#include <math.h>
#include <stdint.h>

#include "nuklear_config.h"

struct DrawPoint {
    int32_t x, y;
};

enum { DRAW_POLYGON_FILL_MAX = 64 };   // points beyond the 64th of a filled polygon are dropped

// The colour rule: Nuklear's r, g, b, a become the 32-bit ARGB (a<<24)|(r<<16)|(g<<8)|b.
inline uint32_t draw_argb(struct nk_color c) {
    return ((uint32_t)c.a << 24) | ((uint32_t)c.r << 16) | ((uint32_t)c.g << 8) | (uint32_t)c.b;
}

// The device pixels that `logical` pixels take at `scale` device pixels per
// logical pixel, rounded half up as Windows rounds the sizes it scales
// (MulDiv): 223 at 1.5 is 335. A back buffer at a display scale has this size
// on every platform; everything in it is drawn in logical pixels, scaled.
inline int32_t draw_device_pixels(int32_t logical, double scale) { return (int32_t)floor(logical * scale + 0.5); }

// Draws the context's current command list, in list order, onto the drawing
// layer's target. Leaves the list unchanged.
void render_commands(struct nk_context *ctx, void *target);

// --- primitives, one implementation per drawing layer ---------------------------
void draw_clip(void *target, int32_t x, int32_t y, int32_t w, int32_t h);   // replaces the clip
void draw_pen(void *target, float width, uint32_t argb);                     // width, then colour
void draw_brush(void *target, uint32_t argb);
void draw_line(void *target, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void draw_bezier(void *target, DrawPoint begin, DrawPoint ctrl0, DrawPoint ctrl1, DrawPoint end);
void draw_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h);
void draw_fill_rect(void *target, int32_t x, int32_t y, int32_t w, int32_t h);
// Angles in degrees, clockwise from the positive x axis (y grows downwards).
void draw_arc(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep);
void draw_fill_pie(void *target, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep);
void draw_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h);
void draw_fill_ellipse(void *target, int32_t x, int32_t y, int32_t w, int32_t h);
void draw_polygon(void *target, const DrawPoint *points, int32_t count);        // closed outline
void draw_fill_polygon(void *target, const DrawPoint *points, int32_t count);   // alternate fill rule
// `font` is the Nuklear user font's userdata pointer; `argb` the foreground.
void draw_text(void *target, int32_t x, int32_t y, int32_t w, int32_t h, const char *text, int32_t length, void *font,
               uint32_t argb);
// `image` is the image handle's pointer, never null here: the walk skips null images.
void draw_image(void *target, void *image, int32_t x, int32_t y, int32_t w, int32_t h);

// --- images, one implementation per drawing layer ------------------------------
// Encoded image data (PNG at least) into an image whose handle is the layer's
// own; bytes after the image's end are ignored. A failure gives an image with
// a null handle, which draws nothing.
struct nk_image draw_load_image_memory(const void *data, uint32_t size);
// `path` as the file system spells it (ANSI code page on Windows, bytes on Linux).
struct nk_image draw_load_image_file(const char *path);
// Releases the handle's image; the nk_image itself is left as it was.
void draw_free_image(struct nk_image *image);

// A filled polygon as the walk draws it: brush colour, then at most the first
// DRAW_POLYGON_FILL_MAX points, filled (also when no point is left).
void render_fill_polygon(void *target, const struct nk_vec2i *points, int32_t count, struct nk_color color);
