#include "recording_draw.h"

#include <stdarg.h>
#include <stdio.h>

#include "render/draw.h"

std::vector<std::string> recorded_calls;

__attribute__((format(printf, 1, 2))) static void record(const char *fmt, ...) {
    char line[2048];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    recorded_calls.push_back(line);
}

static std::string points_text(const DrawPoint *p, int32_t n) {
    std::string s;
    for (int32_t i = 0; i < n; ++i) s += " " + std::to_string(p[i].x) + "," + std::to_string(p[i].y);
    return s;
}

void draw_clip(void *, int32_t x, int32_t y, int32_t w, int32_t h) { record("clip %d %d %d %d", x, y, w, h); }
void draw_pen(void *, float width, uint32_t argb) { record("pen %g %08x", width, argb); }
void draw_brush(void *, uint32_t argb) { record("brush %08x", argb); }
void draw_line(void *, int32_t x0, int32_t y0, int32_t x1, int32_t y1) { record("line %d %d %d %d", x0, y0, x1, y1); }
void draw_bezier(void *, DrawPoint b, DrawPoint c0, DrawPoint c1, DrawPoint e) {
    record("bezier %d,%d %d,%d %d,%d %d,%d", b.x, b.y, c0.x, c0.y, c1.x, c1.y, e.x, e.y);
}
void draw_rect(void *, int32_t x, int32_t y, int32_t w, int32_t h) { record("rect %d %d %d %d", x, y, w, h); }
void draw_fill_rect(void *, int32_t x, int32_t y, int32_t w, int32_t h) { record("fill_rect %d %d %d %d", x, y, w, h); }
void draw_arc(void *, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    record("arc %d %d %d %d %g %g", x, y, w, h, start, sweep);
}
void draw_fill_pie(void *, int32_t x, int32_t y, int32_t w, int32_t h, float start, float sweep) {
    record("pie %d %d %d %d %g %g", x, y, w, h, start, sweep);
}
void draw_ellipse(void *, int32_t x, int32_t y, int32_t w, int32_t h) { record("ellipse %d %d %d %d", x, y, w, h); }
void draw_fill_ellipse(void *, int32_t x, int32_t y, int32_t w, int32_t h) {
    record("fill_ellipse %d %d %d %d", x, y, w, h);
}
void draw_polygon(void *, const DrawPoint *points, int32_t count) {
    record("polygon %d%s", count, points_text(points, count).c_str());
}
void draw_fill_polygon(void *, const DrawPoint *points, int32_t count) {
    record("fill_polygon %d%s", count, points_text(points, count).c_str());
}
void draw_text(void *, int32_t x, int32_t y, int32_t w, int32_t h, const char *text, int32_t length, void *font,
               uint32_t argb) {
    record("text %d %d %d %d '%.*s' %s %08x", x, y, w, h, (int)length, text, font ? "font" : "no-font", argb);
}
void draw_image(void *, void *image, int32_t x, int32_t y, int32_t w, int32_t h) {
    record("image %s %d %d %d %d", image ? "set" : "null", x, y, w, h);
}
