#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixed_font.h"
#include "recording_draw.h"
#include "render/draw.h"

namespace {

using Calls = std::vector<std::string>;

// One Nuklear frame whose window canvas gets the commands a test pushes,
// between two marker scissors; returns the primitives recorded between them.
class Walk : public ::testing::Test {
  protected:
    void SetUp() override {
        fixed_font_init(&font);
        nk_init_default(&ctx, &font);
    }
    void TearDown() override { nk_free(&ctx); }

    Calls walk(const std::function<void(nk_command_buffer *)> &push,
               const std::function<void()> &edit = nullptr) {
        if (nk_begin(&ctx, "w", nk_rect(0, 0, 500, 223), NK_WINDOW_NO_SCROLLBAR)) {
            nk_command_buffer *canvas = nk_window_get_canvas(&ctx);
            canvas->use_clipping = NK_CLIPPING_OFF;   // keep Nuklear from culling test shapes
            nk_push_scissor(canvas, nk_rect(1111, 0, 1, 1));
            push(canvas);
            nk_push_scissor(canvas, nk_rect(2222, 0, 1, 1));
        }
        nk_end(&ctx);
        if (edit) edit();
        recorded_calls.clear();
        render_commands(&ctx, &recorded_calls);
        nk_clear(&ctx);

        Calls between;
        bool inside = false;
        for (const std::string &call : recorded_calls) {
            if (call == "clip 2222 0 2 2") break;
            if (inside) between.push_back(call);
            if (call == "clip 1111 0 2 2") inside = true;
        }
        EXPECT_TRUE(inside) << "start marker not drawn";
        return between;
    }

    nk_context ctx;
    nk_user_font font;
};

const nk_color kRed = nk_rgba(0x11, 0x22, 0x33, 0x80);

TEST_F(Walk, ScissorIsOnePixelWiderAndTaller) {
    EXPECT_EQ(Calls{"clip 10 5 101 21"}, walk([](nk_command_buffer *b) { nk_push_scissor(b, nk_rect(10, 5, 100, 20)); }));
}

TEST_F(Walk, ColourRuleAndPlainShapes) {
    Calls calls = walk([](nk_command_buffer *b) {
        nk_stroke_line(b, 1, 2, 30, 40, 2.0f, kRed);
        nk_stroke_curve(b, 0, 0, 10, 0, 20, 10, 30, 30, 1.0f, kRed);
        nk_stroke_rect(b, nk_rect(5, 6, 70, 80), 0, 3.0f, kRed);
        nk_fill_rect(b, nk_rect(5, 6, 70, 80), 0, kRed);
        nk_stroke_circle(b, nk_rect(1, 2, 20, 10), 1.0f, kRed);
        nk_fill_circle(b, nk_rect(1, 2, 20, 10), kRed);
        nk_stroke_triangle(b, 0, 0, 10, 0, 5, 8, 1.0f, kRed);
        nk_fill_triangle(b, 0, 0, 10, 0, 5, 8, kRed);
    });
    EXPECT_EQ((Calls{"pen 2 80112233", "line 1 2 30 40",
                     "pen 1 80112233", "bezier 0,0 10,0 20,10 30,30",
                     "pen 3 80112233", "rect 5 6 70 80",
                     "brush 80112233", "fill_rect 5 6 70 80",
                     "pen 1 80112233", "ellipse 1 2 20 10",
                     "brush 80112233", "fill_ellipse 1 2 20 10",
                     "pen 1 80112233", "polygon 4 0,0 10,0 5,8 0,0",
                     "brush 80112233", "fill_polygon 3 0,0 10,0 5,8"}),
              calls);
}

TEST_F(Walk, RoundedRectanglesInTheirOrder) {
    Calls calls = walk([](nk_command_buffer *b) {
        nk_stroke_rect(b, nk_rect(10, 20, 100, 50), 4, 1.0f, kRed);
        nk_fill_rect(b, nk_rect(10, 20, 100, 50), 4, kRed);
    });
    EXPECT_EQ((Calls{"pen 1 80112233",
                     "arc 10 20 8 8 180 90", "line 14 20 106 20",
                     "arc 102 20 8 8 270 90", "line 110 24 110 66",
                     "arc 102 62 8 8 0 90", "line 10 24 10 66",
                     "arc 10 62 8 8 90 90", "line 14 70 106 70",
                     "brush 80112233",
                     "fill_rect 14 20 92 50", "fill_rect 10 24 4 42", "fill_rect 106 24 4 42",
                     "pie 10 20 8 8 180 90", "pie 102 20 8 8 270 90",
                     "pie 102 62 8 8 0 90", "pie 10 62 8 8 90 90"}),
              calls);
}

TEST_F(Walk, RadiusPastHalfTheWidthIsPassedOn) {
    Calls calls = walk([](nk_command_buffer *b) { nk_fill_rect(b, nk_rect(0, 0, 10, 40), 8, kRed); });
    ASSERT_EQ(8u, calls.size());
    EXPECT_EQ("fill_rect 8 0 -6 40", calls[1]);
    EXPECT_EQ("fill_rect 0 8 8 24", calls[2]);
    EXPECT_EQ("pie -6 0 16 16 270 90", calls[5]);
}

TEST_F(Walk, PolygonsAndPolylines) {
    float one[] = {5, 6};
    float three[] = {0, 0, 10, 0, 10, 10};
    Calls calls = walk([&](nk_command_buffer *b) {
        nk_stroke_polygon(b, one, 0, 1.0f, kRed);
        nk_stroke_polygon(b, one, 1, 1.0f, kRed);
        nk_stroke_polygon(b, three, 3, 1.0f, kRed);
        nk_stroke_polyline(b, one, 1, 1.0f, kRed);
        nk_stroke_polyline(b, three, 3, 1.0f, kRed);
    });
    EXPECT_EQ((Calls{"pen 1 80112233",
                     "pen 1 80112233", "line 5 6 5 6",
                     "pen 1 80112233", "line 0 0 10 0", "line 10 0 10 10", "line 10 10 0 0",
                     "pen 1 80112233",
                     "pen 1 80112233", "line 0 0 10 0", "line 10 0 10 10"}),
              calls);
}

TEST_F(Walk, FilledPolygonKeepsTheFirst64Points) {
    std::vector<float> points;
    for (int i = 0; i < 70; ++i) points.insert(points.end(), {(float)i, (float)(i * 2)});
    Calls calls = walk([&](nk_command_buffer *b) { nk_fill_polygon(b, points.data(), 70, kRed); });
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("brush 80112233", calls[0]);
    EXPECT_EQ(0u, calls[1].rfind("fill_polygon 64 0,0 1,2 ", 0)) << calls[1];
    EXPECT_NE(std::string::npos, calls[1].find(" 63,126"));
    EXPECT_EQ(std::string::npos, calls[1].find(" 64,128"));
}

TEST_F(Walk, TextAndImages) {
    int pixels = 0;
    struct nk_image picture = nk_image_ptr(&pixels);
    struct nk_image failed = nk_image_id(0);
    Calls calls = walk([&](nk_command_buffer *b) {
        nk_draw_text(b, nk_rect(3, 4, 50, 16), "Patch", 5, &font, nk_rgb(0, 0, 0), nk_rgb(0xAA, 0xBB, 0xCC));
        nk_draw_image(b, nk_rect(1, 2, 29, 29), &failed, nk_rgb(255, 255, 255));
        nk_draw_image(b, nk_rect(1, 2, 29, 29), &picture, nk_rgb(255, 255, 255));
    });
    EXPECT_EQ((Calls{"text 3 4 50 16 'Patch' font ffaabbcc", "image set 1 2 29 29"}), calls);
}

TEST_F(Walk, SkippedTypesDoNotStopTheWalk) {
    auto retype = [&]() {
        // Turn two lines into a NOP and into a type Nuklear does not know.
        for (const nk_command *c = nk__begin(&ctx); c; c = nk__next(&ctx, c)) {
            if (c->type != NK_COMMAND_LINE) continue;
            auto *line = (nk_command_line *)c;
            if (line->begin.x == 100) line->header.type = NK_COMMAND_NOP;
            if (line->begin.x == 200) line->header.type = (nk_command_type)25;
        }
    };
    static int custom_marker;
    Calls calls = walk(
        [](nk_command_buffer *b) {
            nk_stroke_line(b, 100, 0, 1, 1, 1.0f, kRed);
            nk_fill_rect_multi_color(b, nk_rect(0, 0, 5, 5), kRed, kRed, kRed, kRed);
            nk_stroke_arc(b, 50, 50, 10, 0, 3, 1.0f, kRed);
            nk_fill_arc(b, 50, 50, 10, 0, 3, kRed);
            nk_push_custom(b, nk_rect(0, 0, 5, 5), nullptr, nk_handle_ptr(&custom_marker));
            nk_stroke_line(b, 200, 0, 1, 1, 1.0f, kRed);
            nk_stroke_line(b, 7, 8, 9, 10, 1.0f, kRed);
        },
        retype);
    EXPECT_EQ((Calls{"pen 1 80112233", "line 7 8 9 10"}), calls);
}

}  // namespace

// Shipped builds keep NDEBUG for everything else; Nuklear's own checks must
// still end the program with the runtime's report.
TEST(NuklearAssertions, StayOnInEveryBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(nk_input_begin(nullptr), "ctx");
}
