#include "render/draw.h"

namespace {

// Positions are signed 16-bit, sizes unsigned 16-bit; all arithmetic is 32-bit signed.
void rounded_outline(void *t, const struct nk_command_rect *c) {
    const int32_t x = c->x, y = c->y, w = c->w, h = c->h, r = c->rounding, d = 2 * r;
    draw_arc(t, x, y, d, d, 180, 90);
    draw_line(t, x + r, y, x + w - r, y);
    draw_arc(t, x + w - d, y, d, d, 270, 90);
    draw_line(t, x + w, y + r, x + w, y + h - r);
    draw_arc(t, x + w - d, y + h - d, d, d, 0, 90);
    draw_line(t, x, y + r, x, y + h - r);
    draw_arc(t, x, y + h - d, d, d, 90, 90);
    draw_line(t, x + r, y + h, x + w - r, y + h);
}

// The radius is used as it is, even past half the width: the bands may then
// get negative sizes, which the drawing layer receives unchanged.
void rounded_fill(void *t, const struct nk_command_rect_filled *c) {
    const int32_t x = c->x, y = c->y, w = c->w, h = c->h, r = c->rounding, d = 2 * r;
    draw_fill_rect(t, x + r, y, w - d, h);
    draw_fill_rect(t, x, y + r, r, h - d);
    draw_fill_rect(t, x + w - r, y + r, r, h - d);
    draw_fill_pie(t, x, y, d, d, 180, 90);
    draw_fill_pie(t, x + w - d, y, d, d, 270, 90);
    draw_fill_pie(t, x + w - d, y + h - d, d, d, 0, 90);
    draw_fill_pie(t, x, y + h - d, d, d, 90, 90);
}

DrawPoint point(struct nk_vec2i p) { return DrawPoint{p.x, p.y}; }

void draw_command(void *t, const struct nk_command *cmd) {
    switch (cmd->type) {
    case NK_COMMAND_SCISSOR: {
        const auto *c = (const struct nk_command_scissor *)cmd;
        draw_clip(t, c->x, c->y, c->w + 1, c->h + 1);
        break;
    }
    case NK_COMMAND_LINE: {
        const auto *c = (const struct nk_command_line *)cmd;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        draw_line(t, c->begin.x, c->begin.y, c->end.x, c->end.y);
        break;
    }
    case NK_COMMAND_CURVE: {
        const auto *c = (const struct nk_command_curve *)cmd;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        draw_bezier(t, point(c->begin), point(c->ctrl[0]), point(c->ctrl[1]), point(c->end));
        break;
    }
    case NK_COMMAND_RECT: {
        const auto *c = (const struct nk_command_rect *)cmd;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        if (c->rounding == 0)
            draw_rect(t, c->x, c->y, c->w, c->h);
        else
            rounded_outline(t, c);
        break;
    }
    case NK_COMMAND_RECT_FILLED: {
        const auto *c = (const struct nk_command_rect_filled *)cmd;
        draw_brush(t, draw_argb(c->color));
        if (c->rounding == 0)
            draw_fill_rect(t, c->x, c->y, c->w, c->h);
        else
            rounded_fill(t, c);
        break;
    }
    case NK_COMMAND_CIRCLE: {
        const auto *c = (const struct nk_command_circle *)cmd;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        draw_ellipse(t, c->x, c->y, c->w, c->h);
        break;
    }
    case NK_COMMAND_CIRCLE_FILLED: {
        const auto *c = (const struct nk_command_circle_filled *)cmd;
        draw_brush(t, draw_argb(c->color));
        draw_fill_ellipse(t, c->x, c->y, c->w, c->h);
        break;
    }
    case NK_COMMAND_TRIANGLE: {
        const auto *c = (const struct nk_command_triangle *)cmd;
        const DrawPoint pts[4] = {point(c->a), point(c->b), point(c->c), point(c->a)};
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        draw_polygon(t, pts, 4);
        break;
    }
    case NK_COMMAND_TRIANGLE_FILLED: {
        const auto *c = (const struct nk_command_triangle_filled *)cmd;
        const DrawPoint pts[3] = {point(c->a), point(c->b), point(c->c)};
        draw_brush(t, draw_argb(c->color));
        draw_fill_polygon(t, pts, 3);
        break;
    }
    case NK_COMMAND_POLYGON: {
        const auto *c = (const struct nk_command_polygon *)cmd;
        const int32_t n = c->point_count;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        if (n == 0) break;
        for (int32_t i = 0; i + 1 < n; ++i)
            draw_line(t, c->points[i].x, c->points[i].y, c->points[i + 1].x, c->points[i + 1].y);
        draw_line(t, c->points[n - 1].x, c->points[n - 1].y, c->points[0].x, c->points[0].y);
        break;
    }
    case NK_COMMAND_POLYGON_FILLED: {
        const auto *c = (const struct nk_command_polygon_filled *)cmd;
        render_fill_polygon(t, c->points, c->point_count, c->color);
        break;
    }
    case NK_COMMAND_POLYLINE: {
        const auto *c = (const struct nk_command_polyline *)cmd;
        draw_pen(t, c->line_thickness, draw_argb(c->color));
        for (int32_t i = 0; i + 1 < (int32_t)c->point_count; ++i)
            draw_line(t, c->points[i].x, c->points[i].y, c->points[i + 1].x, c->points[i + 1].y);
        break;
    }
    case NK_COMMAND_TEXT: {
        const auto *c = (const struct nk_command_text *)cmd;
        draw_text(t, c->x, c->y, c->w, c->h, c->string, c->length, c->font->userdata.ptr, draw_argb(c->foreground));
        break;
    }
    case NK_COMMAND_IMAGE: {
        const auto *c = (const struct nk_command_image *)cmd;
        if (c->img.handle.ptr) draw_image(t, c->img.handle.ptr, c->x, c->y, c->w, c->h);
        break;
    }
    default:   // NOP, multi-colour rectangles, arcs, custom and unknown types draw nothing
        break;
    }
}

}  // namespace

void render_fill_polygon(void *t, const struct nk_vec2i *points, int32_t count, struct nk_color color) {
    DrawPoint pts[DRAW_POLYGON_FILL_MAX];
    int32_t n = count < DRAW_POLYGON_FILL_MAX ? count : DRAW_POLYGON_FILL_MAX;
    if (n < 0) n = 0;
    for (int32_t i = 0; i < n; ++i) pts[i] = point(points[i]);
    draw_brush(t, draw_argb(color));
    draw_fill_polygon(t, pts, n);
}

void render_commands(struct nk_context *ctx, void *target) {
    for (const struct nk_command *cmd = nk__begin(ctx); cmd; cmd = nk__next(ctx, cmd)) draw_command(target, cmd);
}
