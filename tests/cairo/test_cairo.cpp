// The Cairo backend drawing real Nuklear command lists into its back buffer,
// checked pixel by pixel.
#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <functional>

#include "assets/assets.h"
#include "cairo/cdraw.h"
#include "render/draw.h"

namespace {

const nk_color kBackground = nk_rgb(30, 30, 30);   // what the host clears to
const uint32_t kBg = 0xFF1E1E1E, kWhite = 0xFFFFFFFF;
const nk_color kWhiteNk = nk_rgb(255, 255, 255);
const int kUiFontPixels = 13;   // the host's size for the embedded font's nominal 16

uint32_t pixel(const CdrawBackend &b, int x, int y) {
    cairo_surface_flush(b.back_buffer);
    const int stride = cairo_image_surface_get_stride(b.back_buffer);
    return ((const uint32_t *)(cairo_image_surface_get_data(b.back_buffer) + y * stride))[x];
}

struct Expected {
    int x, y;
    uint32_t argb;
};

void expect_pixels(const CdrawBackend &b, std::initializer_list<Expected> expected) {
    for (const Expected &e : expected) EXPECT_EQ(e.argb, pixel(b, e.x, e.y)) << "at " << e.x << "," << e.y;
}

struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;   // inclusive; empty when right < left
};

// The device pixels that differ from the background, within [x0, x1) x [y0, y1).
Box ink(const CdrawBackend &b, int x0, int y0, int x1, int y1) {
    Box box;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (pixel(b, x, y) != kBg) {
                box.left = std::min(box.left, x), box.right = std::max(box.right, x);
                box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
            }
    return box;
}

class Cairo : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(cdraw_init(&b, 120, 60, 1));
        font = cdraw_font_from_memory(&b, ui_font_ttf, (int)ui_font_ttf_size, kUiFontPixels);
        ASSERT_NE(nullptr, font);
        nk_init_default(&ctx, &font->user_font);
        ctx.style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
    }
    void TearDown() override {
        nk_free(&ctx);
        cdraw_font_free(font);
        cdraw_shutdown(&b);
    }

    // One frame as the host draws it: cleared, then what `push` put on the
    // canvas of a window over the whole buffer.
    void frame(CdrawBackend *target, const std::function<void(nk_command_buffer *)> &push) {
        const struct nk_rect all = nk_rect(0, 0, (float)target->width, (float)target->height);
        if (nk_begin(&ctx, "frame", all, NK_WINDOW_NO_SCROLLBAR)) {
            nk_command_buffer *canvas = nk_window_get_canvas(&ctx);
            canvas->use_clipping = NK_CLIPPING_OFF;
            nk_push_scissor(canvas, all);   // not the window's padded content area
            push(canvas);
        }
        nk_end(&ctx);
        cdraw_clear(target, kBackground);
        cdraw_render(target, &ctx);
        nk_clear(&ctx);
    }

    float width(const char *text, int length) { return cdraw_text_width(nk_handle_ptr(font), 13, text, length); }

    CdrawBackend b;
    CdrawFont *font = nullptr;
    nk_context ctx;
};

TEST_F(Cairo, ColourRuleAndFillCoverage) {
    frame(&b, [](nk_command_buffer *c) {
        nk_fill_rect(c, nk_rect(10, 10, 20, 10), 0, nk_rgba(255, 0, 0, 128));
        nk_fill_rect(c, nk_rect(40, 10, 5, 5), 0, nk_rgba(0x11, 0x22, 0x33, 0xFF));
    });
    // Half-transparent red over the grey: 128 + 30 * 127 / 255 = 143 in red, the grey's 15 elsewhere;
    // exactly [x, x + w) x [y, y + h), crisp on every side.
    const uint32_t blended = 0xFF8F0F0F;
    expect_pixels(b, {{42, 12, 0xFF112233}, {10, 10, blended}, {29, 19, blended}, {9, 15, kBg}, {30, 15, kBg},
                      {15, 9, kBg}, {15, 20, kBg}});

    // Clearing replaces every pixel, alpha included (stored premultiplied), whatever the clip.
    draw_clip(&b, 60, 30, 6, 6);
    cdraw_clear(&b, nk_rgba(0, 0, 255, 128));
    expect_pixels(b, {{0, 0, 0x80000080}, {119, 59, 0x80000080}});
}

TEST_F(Cairo, ScissorIsOnePixelWiderAndTallerAndReplacesTheLast) {
    frame(&b, [](nk_command_buffer *c) {
        nk_push_scissor(c, nk_rect(10, 5, 20, 10));
        nk_fill_rect(c, nk_rect(0, 0, 120, 60), 0, kWhiteNk);
        nk_push_scissor(c, nk_rect(60, 30, 5, 5));
        nk_fill_rect(c, nk_rect(0, 0, 120, 60), 0, kWhiteNk);
    });
    expect_pixels(b, {{10, 5, kWhite}, {30, 15, kWhite}, {31, 15, kBg}, {30, 16, kBg}, {9, 5, kBg}, {10, 4, kBg},
                      {65, 35, kWhite}, {45, 25, kBg}});   // the second clip replaced the first
}

TEST_F(Cairo, OutlinesCoverThePixelsAtTheirCoordinates) {
    frame(&b, [](nk_command_buffer *c) {
        nk_stroke_line(c, 10, 20, 40, 20, 1, kWhiteNk);
        nk_stroke_rect(c, nk_rect(50, 10, 20, 10), 0, 1, kWhiteNk);
    });
    expect_pixels(b, {{25, 20, kWhite}, {25, 19, kBg}, {25, 21, kBg}});
    // As in GDI+, the outline of a w-wide rectangle spans w + 1 columns.
    expect_pixels(b, {{50, 15, kWhite}, {70, 15, kWhite}, {60, 10, kWhite}, {60, 20, kWhite}, {51, 15, kBg},
                      {71, 15, kBg}});
}

TEST_F(Cairo, RoundedRectangles) {
    frame(&b, [](nk_command_buffer *c) {
        nk_fill_rect(c, nk_rect(10, 10, 40, 30), 8, kWhiteNk);
        nk_stroke_rect(c, nk_rect(60, 10, 40, 30), 8, 1, kWhiteNk);
    });
    // Corners stay background, edges are drawn: the fill up to x + w - 1, the outline at x + w.
    expect_pixels(b, {{10, 10, kBg}, {49, 39, kBg}, {30, 10, kWhite}, {10, 25, kWhite}, {30, 39, kWhite},
                      {30, 40, kBg}});
    expect_pixels(b, {{60, 10, kBg}, {100, 40, kBg}, {80, 10, kWhite}, {60, 25, kWhite}, {100, 25, kWhite},
                      {80, 40, kWhite}, {80, 25, kBg}});
}

TEST_F(Cairo, ShapesWithoutAreaDrawNothingAndSpoilNothing) {
    // A Cairo context that once fails draws nothing more: degenerate shapes
    // must be turned away before they reach it.
    frame(&b, [](nk_command_buffer *c) { nk_fill_rect(c, nk_rect(10, 10, 10, 10), 8, kWhiteNk); });  // bands < 0
    draw_pen(&b, 1, kWhite);
    draw_brush(&b, kWhite);
    draw_arc(&b, 50, 10, 0, 10, 0, 90);
    draw_fill_pie(&b, 50, 10, 10, 0, 0, 90);
    draw_ellipse(&b, 50, 10, 0, 0);
    draw_fill_ellipse(&b, 50, 10, 0, 5);
    draw_fill_rect(&b, 50, 10, -5, 5);
    draw_image(&b, b.back_buffer, 50, 10, 0, 0);
    EXPECT_EQ(CAIRO_STATUS_SUCCESS, cairo_status(b.cr));
    EXPECT_EQ(-1, ink(b, 40, 0, 120, 60).right);
    draw_fill_rect(&b, 100, 50, 5, 5);
    expect_pixels(b, {{102, 52, kWhite}});
}

TEST_F(Cairo, PiesTakeGdiAnglesAndPolygonsTheEvenOddRule) {
    cdraw_clear(&b, kBackground);
    draw_brush(&b, kWhite);
    draw_fill_pie(&b, 10, 10, 40, 40, 0, 90);   // y grows downwards: the lower right quarter
    expect_pixels(b, {{40, 40, kWhite}, {20, 20, kBg}, {40, 20, kBg}, {20, 40, kBg}});
    // On a wide ellipse the 45-degree edge is the true diagonal from the
    // centre (90, 30), not the parametric angle, which would lie near 18.
    draw_fill_pie(&b, 60, 20, 60, 20, 0, 45);
    expect_pixels(b, {{98, 36, kWhite}, {93, 36, kBg}});

    frame(&b, [](nk_command_buffer *c) {
        float star[10];   // a pentagram around (30, 30): its inner pentagon is enclosed twice
        for (int i = 0; i < 5; ++i) {
            const double a = (-90 + 144 * i) * M_PI / 180;
            star[2 * i] = (float)(30 + 25 * cos(a)), star[2 * i + 1] = (float)(30 + 25 * sin(a));
        }
        nk_fill_polygon(c, star, 5, kWhiteNk);
    });
    expect_pixels(b, {{30, 30, kBg}, {30, 14, kWhite}});
}

TEST_F(Cairo, TextHangsFromTheTopOfItsRectangleAndIsAsWideAsMeasured) {
    const char run[] = "Patch, Browse";
    frame(&b, [&](nk_command_buffer *c) {
        nk_draw_text(c, nk_rect(20, 10, 30, 2), "H", 1, &font->user_font, kBackground, kWhiteNk);
        nk_draw_text(c, nk_rect(60, 10, 30, 2), "H\nH", 3, &font->user_font, kBackground, kWhiteNk);
        nk_draw_text(c, nk_rect(5, 40, 115, 20), run, (int)sizeof run - 1, &font->user_font, kBackground, kWhiteNk);
    });
    // The embedded DejaVu Serif: usWinAscent 1901 and cap height 1493 of 2048
    // units put the baseline 12.07 pixels below the top and caps 9.48 high;
    // baselines are 2384 units (15.13 pixels) apart.
    const Box h = ink(b, 0, 0, 60, 40), two = ink(b, 60, 0, 120, 40);
    EXPECT_NEAR(10 + 12.07 - 9.48, h.top, 1.0);
    EXPECT_NEAR(10 + 12.07, h.bottom + 1, 1.0);   // far below the 2-pixel rectangle: not clipped to it
    EXPECT_TRUE(h.left == 20 || h.left == 21) << h.left;
    EXPECT_EQ(h.top, two.top);
    EXPECT_NEAR(10 + 12.07 + 15.13, two.bottom + 1, 1.0);

    const float measured = width(run, (int)sizeof run - 1);
    EXPECT_GT(measured, 60.0f);
    EXPECT_NEAR(measured, ink(b, 0, 40, 120, 60).right + 1 - 5, 2.0);   // e's side bearing is under a pixel
}

TEST_F(Cairo, TextWidthRules) {
    EXPECT_EQ(0.0f, width("", 0));
    EXPECT_EQ(0.0f, width(nullptr, 3));
    EXPECT_EQ(0.0f, cdraw_text_width(nk_handle_ptr(nullptr), 13, "H", 1));
    EXPECT_GT(width("Hi ", 3), width("Hi", 2));                 // trailing spaces count
    EXPECT_FLOAT_EQ(width("H", 1), width("\xD0\x9D", 2));       // Cyrillic En: one character, H's advance
    EXPECT_FLOAT_EQ(width("abcd", 4), width("ab\r\nabcd", 8));  // the widest line
    EXPECT_FLOAT_EQ(width("abcd", 4), width("abcd\nab", 7));
    EXPECT_GT(width("a\xFF" "b", 3), width("ab", 2));  // a stray byte shows as a glyph of its own
}

TEST_F(Cairo, ImagesScaleIntoTheirRectangleWithTheirAlpha) {
    struct nk_image gear = cdraw_load_image_memory(gear_png, gear_png_size);   // a few zeros past IEND
    ASSERT_NE(nullptr, gear.handle.ptr);
    EXPECT_TRUE(gear.w == 29 && gear.h == 29);
    frame(&b, [&](nk_command_buffer *c) {
        nk_draw_image(c, nk_rect(2, 2, 29, 29), &gear, kWhiteNk);
        nk_draw_image(c, nk_rect(40, 1, 58, 58), &gear, kWhiteNk);
    });
    // At its own size opaque pixels are as they are and transparent ones keep
    // the background; at twice the size, so are the middles of pixels whose
    // neighbours are alike, since scaling smooths between neighbours.
    CdrawBackend source = {};
    source.back_buffer = (cairo_surface_t *)gear.handle.ptr;
    auto alpha = [&](int x, int y) { return pixel(source, std::clamp(x, 0, 28), std::clamp(y, 0, 28)) >> 24; };
    int opaque = 0, transparent = 0;
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 29; ++x) {
            uint32_t least = 255, most = 0;
            for (int i = 0; i < 9; ++i) {
                least = std::min(least, alpha(x - 1 + i % 3, y - 1 + i / 3));
                most = std::max(most, alpha(x - 1 + i % 3, y - 1 + i / 3));
            }
            if (alpha(x, y) == 255 || alpha(x, y) == 0) {
                EXPECT_EQ(alpha(x, y) ? pixel(source, x, y) : kBg, pixel(b, 2 + x, 2 + y)) << x << "," << y;
            }
            if (least == 255 || most == 0) {
                EXPECT_EQ(most == 0, pixel(b, 40 + 2 * x, 1 + 2 * y) == kBg) << x << "," << y;
            }
            opaque += least == 255, transparent += most == 0;
        }
    EXPECT_TRUE(opaque > 0 && transparent > 0);
    cdraw_image_free(&gear);
}

TEST(CairoImage, BadDataGivesTheNullImage) {
    const unsigned char garbage[] = "not a picture at all";
    const struct nk_image bad = cdraw_load_image_memory(garbage, sizeof garbage);
    EXPECT_TRUE(bad.handle.ptr == nullptr && bad.w == 0 && bad.h == 0);
    EXPECT_EQ(nullptr, cdraw_load_image_memory(gear_png, 0).handle.ptr);
    EXPECT_EQ(nullptr, cdraw_load_image_memory(gear_png, gear_png_size / 2).handle.ptr);   // cut short
    EXPECT_EQ(nullptr, cdraw_load_image_file("/nonexistent/picture.png").handle.ptr);
}

TEST_F(Cairo, ScaleTwoDrawsTheSamePictureTwiceAsLarge) {
    CdrawBackend big;
    ASSERT_TRUE(cdraw_init(&big, 120, 60, 2));
    EXPECT_EQ(240, cairo_image_surface_get_width(big.back_buffer));
    EXPECT_EQ(120, cairo_image_surface_get_height(big.back_buffer));
    auto push = [this](nk_command_buffer *c) {
        nk_fill_rect(c, nk_rect(4, 4, 30, 20), 0, nk_rgba(200, 40, 40, 160));
        nk_stroke_rect(c, nk_rect(10, 30, 30, 20), 0, 1, kWhiteNk);
        nk_draw_text(c, nk_rect(50, 20, 70, 20), "Patch", 5, &font->user_font, kBackground, kWhiteNk);
    };
    frame(&b, push);
    frame(&big, push);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 45; ++x) ASSERT_EQ(pixel(b, x, y), pixel(big, 2 * x + 1, 2 * y + 1)) << x << "," << y;
    // Glyphs are rendered afresh at the larger size, so only their extent compares.
    const Box small = ink(b, 45, 0, 120, 60), large = ink(big, 90, 0, 240, 120);
    EXPECT_NEAR(2 * small.left, large.left, 2);
    EXPECT_NEAR(2 * (small.right + 1), large.right + 1, 2);
    EXPECT_NEAR(2 * small.top, large.top, 2);
    EXPECT_NEAR(2 * (small.bottom + 1), large.bottom + 1, 2);
    cdraw_shutdown(&big);
}

TEST(CairoBackend, LifecycleAndFonts) {
    CdrawBackend b;
    EXPECT_EQ(0, cdraw_init(&b, 0, 40, 1));
    EXPECT_EQ(nullptr, b.back_buffer);
    cdraw_shutdown(&b);
    cdraw_shutdown(&b);

    ASSERT_TRUE(cdraw_init(&b, 50, 40, 1));
    cairo_surface_t *kept = b.back_buffer;
    EXPECT_EQ(0, cdraw_resize(&b, 0, 0, 1));   // a minimised window keeps its last frame
    EXPECT_EQ(kept, b.back_buffer);
    EXPECT_EQ(1, cdraw_resize(&b, 80, 30, 2));
    EXPECT_EQ(160, cairo_image_surface_get_width(b.back_buffer));
    EXPECT_EQ(80, b.width);

    EXPECT_EQ(nullptr, cdraw_font_from_memory(&b, "garbage", 7, 13));
    CdrawFont *system = cdraw_font_create(&b, "Arial", 12);   // fontconfig picks a look-alike
    ASSERT_NE(nullptr, system);
    EXPECT_EQ(12.0f, system->user_font.height);
    EXPECT_GT(cdraw_text_width(system->user_font.userdata, 12, "Arial", 5), 10.0f);
    cdraw_font_free(system);
    cdraw_shutdown(&b);
}

}  // namespace
