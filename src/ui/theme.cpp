// The colour themes and the check-box skin. The style is written once at
// start-up and never touched while frames run.
#include "ui/theme.h"

namespace {

#define C(r, g, b, a) {r, g, b, a}

// One column per theme, indexed by nk_style_colors. Some cells look like typing
// slips (theme 4's select, theme 3's slider-cursor hover, theme 2's translucent
// tab header) but are the patcher's colours as they have always been.
const struct nk_color kThemeTables[4][NK_COLOR_COUNT] = {
    {   // HOST_THEME_GREY
        C(70, 70, 70, 255), C(175, 175, 175, 255), C(175, 175, 175, 255), C(0, 0, 0, 255),
        C(185, 185, 185, 255), C(170, 170, 170, 255), C(160, 160, 160, 255), C(150, 150, 150, 255),
        C(120, 120, 120, 255), C(175, 175, 175, 255), C(190, 190, 190, 255), C(175, 175, 175, 255),
        C(190, 190, 190, 255), C(80, 80, 80, 255), C(70, 70, 70, 255), C(60, 60, 60, 255),
        C(175, 175, 175, 255), C(150, 150, 150, 255), C(0, 0, 0, 255), C(175, 175, 175, 255),
        C(160, 160, 160, 255), C(45, 45, 45, 255), C(255, 0, 0, 255), C(180, 180, 180, 255),
        C(140, 140, 140, 255), C(150, 150, 150, 255), C(160, 160, 160, 255), C(180, 180, 180, 255),
    },
    {   // HOST_THEME_CRIMSON
        C(190, 190, 190, 255), C(30, 33, 40, 255), C(181, 45, 69, 255), C(51, 55, 67, 255),
        C(181, 45, 69, 255), C(190, 50, 70, 255), C(195, 55, 75, 255), C(51, 55, 67, 255),
        C(45, 60, 60, 255), C(181, 45, 69, 255), C(51, 55, 67, 255), C(181, 45, 69, 255),
        C(51, 55, 67, 255), C(181, 45, 69, 255), C(186, 50, 74, 255), C(191, 55, 79, 255),
        C(51, 55, 67, 255), C(51, 55, 67, 225), C(190, 190, 190, 255), C(51, 55, 67, 255),
        C(51, 55, 67, 255), C(170, 40, 60, 255), C(255, 0, 0, 255), C(30, 33, 40, 255),
        C(64, 84, 95, 255), C(70, 90, 100, 255), C(75, 95, 105, 255), C(181, 45, 69, 220),
    },
    {   // HOST_THEME_SKY
        C(20, 20, 20, 255), C(202, 212, 214, 215), C(137, 182, 224, 220), C(140, 159, 173, 255),
        C(137, 182, 224, 255), C(142, 187, 229, 255), C(147, 192, 234, 255), C(177, 210, 210, 255),
        C(182, 215, 215, 255), C(137, 182, 224, 255), C(177, 210, 210, 255), C(137, 182, 224, 255),
        C(177, 210, 210, 255), C(137, 182, 224, 245), C(142, 188, 229, 255), C(147, 193, 234, 255),
        C(210, 210, 210, 255), C(210, 210, 210, 225), C(20, 20, 20, 255), C(210, 210, 210, 255),
        C(210, 210, 210, 255), C(137, 182, 224, 255), C(255, 0, 0, 255), C(190, 200, 200, 255),
        C(64, 84, 95, 255), C(70, 90, 100, 255), C(75, 95, 105, 255), C(156, 193, 220, 255),
    },
    {   // HOST_THEME_SLATE
        C(210, 210, 210, 255), C(57, 67, 71, 215), C(51, 51, 56, 220), C(46, 46, 46, 255),
        C(48, 83, 111, 255), C(58, 93, 121, 255), C(63, 98, 126, 255), C(50, 58, 61, 255),
        C(45, 53, 56, 255), C(48, 83, 111, 255), C(57, 67, 61, 255), C(48, 83, 111, 255),
        C(50, 58, 61, 255), C(48, 83, 111, 245), C(53, 88, 116, 255), C(58, 93, 121, 255),
        C(50, 58, 61, 255), C(50, 58, 61, 225), C(210, 210, 210, 255), C(50, 58, 61, 255),
        C(50, 58, 61, 255), C(48, 83, 111, 255), C(255, 0, 0, 255), C(50, 58, 61, 255),
        C(48, 83, 111, 255), C(53, 88, 116, 255), C(58, 93, 121, 255), C(48, 83, 111, 255),
    },
};

#undef C

}  // namespace

void host_set_style(struct nk_context *ctx, int theme) {
    if (theme < HOST_THEME_GREY || theme > HOST_THEME_SLATE) {
        nk_style_default(ctx);
        return;
    }
    struct nk_color table[NK_COLOR_COUNT];
    for (int i = 0; i < NK_COLOR_COUNT; ++i) {
        const struct nk_color &c = kThemeTables[theme - 1][i];
        table[i] = nk_rgba(c.r, c.g, c.b, c.a);
    }
    nk_style_from_table(ctx, table);
}

void apply_skins(struct nk_context *ctx, struct nk_image box_empty, struct nk_image box_ticked) {
    struct nk_style *style = &ctx->style;
    // A border of -2 cancels the padding of 2, so the tick covers the box's square exactly.
    style->checkbox.border = -2.0f;
    style->checkbox.normal = nk_style_item_image(box_empty);
    style->checkbox.hover = nk_style_item_image(box_empty);
    style->checkbox.active = nk_style_item_image(box_empty);
    style->checkbox.cursor_normal = nk_style_item_image(box_ticked);
    style->checkbox.cursor_hover = nk_style_item_image(box_ticked);
    style->window.padding = nk_vec2(5, 12);
}
