// The renderer on the real GDI+: clear, the colour rule, the clip rule, the
// rounded fill, images in frames, and the back buffer across resizes.
#include <gtest/gtest.h>

#include "backend.h"

namespace {

const struct nk_color kGrey = nk_rgb(30, 30, 30);
const uint32_t kGreyArgb = 0xFF1E1E1E;

int count_not(const Pixels &p, uint32_t argb) {
    int n = 0;
    for (uint32_t v : p.argb) n += v != argb;
    return n;
}

TEST(Render, ClearReachesEveryPixelWithTheColourRule) {
    render_frame(kGrey, [](struct nk_command_buffer *) {});
    Pixels p = read_back_buffer();
    ASSERT_EQ(p.width, TEST_WIDTH);
    ASSERT_EQ(p.height, TEST_HEIGHT);
    EXPECT_EQ(count_not(p, kGreyArgb), 0);

    // Red and blue must trade places on the way to ARGB; grey would not show it.
    gdip_clear(&gdip, nk_rgba(0x11, 0x22, 0x33, 0xFF));
    p = read_back_buffer();
    EXPECT_EQ(count_not(p, 0xFF112233u), 0) << std::hex << p.at(0, 0);
}

TEST(Render, FilledRectangleLandsInPlaceAndColour) {
    render_frame(kGrey, [](struct nk_command_buffer *canvas) {
        nk_fill_rect(canvas, nk_rect(20, 30, 40, 10), 0, nk_rgba(0x11, 0x22, 0x33, 0xFF));
    });
    const Pixels p = read_back_buffer();
    for (int y = 31; y <= 38; ++y)
        for (int x = 21; x <= 58; ++x) ASSERT_EQ(p.at(x, y), 0xFF112233u) << x << "," << y;
    for (auto [x, y] : {std::pair{18, 35}, {62, 35}, {40, 28}, {40, 42}}) EXPECT_EQ(p.at(x, y), kGreyArgb) << x << "," << y;
}

TEST(Render, ScissorClipsOnePixelWiderAndTaller) {
    render_frame(kGrey, [](struct nk_command_buffer *canvas) {
        nk_push_scissor(canvas, nk_rect(10, 5, 100, 20));
        nk_fill_rect(canvas, nk_rect(0, 0, 300, 100), 0, nk_rgb(255, 0, 0));
    });
    const Pixels p = read_back_buffer();
    for (auto [x, y] : {std::pair{10, 5}, {110, 5}, {10, 25}, {110, 25}}) EXPECT_EQ(p.at(x, y), 0xFFFF0000u) << x << "," << y;
    for (auto [x, y] : {std::pair{9, 5}, {111, 5}, {10, 4}, {10, 26}, {111, 26}}) EXPECT_EQ(p.at(x, y), kGreyArgb) << x << "," << y;
    // 101 x 21 pixels and no more.
    EXPECT_EQ(count_not(p, kGreyArgb), 101 * 21);
}

TEST(Render, RoundedFillHasRoundCornersAndFullEdges) {
    const int x = 100, y = 50, w = 80, h = 60, r = 10;
    render_frame(kGrey, [&](struct nk_command_buffer *canvas) {
        nk_fill_rect(canvas, nk_rect(x, y, w, h), r, nk_rgb(0, 0, 255));
    });
    const Pixels p = read_back_buffer();
    const uint32_t blue = 0xFF0000FF;
    // Each corner's pie, drawn at the right angle, covers the point just inside the arc...
    for (auto [px, py] : {std::pair{x + 4, y + 4}, {x + w - 5, y + 4}, {x + w - 5, y + h - 5}, {x + 4, y + h - 5}})
        EXPECT_EQ(p.at(px, py), blue) << px << "," << py;
    // ...and leaves the square corner outside the arc alone.
    for (auto [px, py] : {std::pair{x, y}, {x + w - 1, y}, {x + w - 1, y + h - 1}, {x, y + h - 1}})
        EXPECT_EQ(p.at(px, py), kGreyArgb) << px << "," << py;
    // The three bands: the middle of every edge and the centre.
    for (auto [px, py] : {std::pair{x + w / 2, y + 1}, {x + 1, y + h / 2}, {x + w - 2, y + h / 2}, {x + w / 2, y + h - 2}})
        EXPECT_EQ(p.at(px, py), blue) << px << "," << py;
}

TEST(Render, BackBufferSurvivesAMinimisedSizeAndFollowsRealOnes) {
    GpBitmap *before = gdip.back_buffer;
    gdip_resize(&gdip, test_window(), 0, 0);
    gdip_resize(&gdip, test_window(), 300, 0);
    EXPECT_EQ(gdip.back_buffer, before);
    // Everything that uses the buffer still works on it.
    render_frame(nk_rgb(1, 2, 3), [](struct nk_command_buffer *) {});
    gdip_present(&gdip, 0, 0, 0);
    EXPECT_EQ(read_back_buffer().at(499, 222), 0xFF010203u);

    GdipSetClipRectI(gdip.back_buffer_graphics, 0, 0, 1, 1, CombineModeReplace);
    gdip_resize(&gdip, test_window(), 320, 100);
    Pixels p = read_back_buffer();
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 100);
    // A new buffer starts without the previous clip.
    gdip_clear(&gdip, nk_rgb(4, 5, 6));
    EXPECT_EQ(count_not(read_back_buffer(), 0xFF040506u), 0);

    gdip_resize(&gdip, test_window(), TEST_WIDTH, TEST_HEIGHT);
    p = read_back_buffer();
    EXPECT_EQ(p.width, TEST_WIDTH);
    EXPECT_EQ(p.height, TEST_HEIGHT);
}

// A paint shows the last frame; before a new buffer's first frame it must leave
// the device's pixels as they are, neither garbage nor black.
TEST(Render, PaintShowsTheLastFrameAndLeavesTheWindowAloneBeforeTheFirst) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = TEST_WIDTH;
    info.bmiHeader.biHeight = -TEST_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP device_pixels = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(device_pixels && bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, device_pixels);
    const uint32_t *pixel = (const uint32_t *)bits + 7 * TEST_WIDTH + 9;

    gdip_resize(&gdip, test_window(), TEST_WIDTH + 1, TEST_HEIGHT);
    gdip_resize(&gdip, test_window(), TEST_WIDTH, TEST_HEIGHT);
    for (int i = 0; i < TEST_WIDTH * TEST_HEIGHT; ++i) ((uint32_t *)bits)[i] = 0x00123456;
    gdip_paint(&gdip, dc);
    GdiFlush();
    EXPECT_EQ(*pixel & 0xFFFFFFu, 0x123456u);

    render_frame(nk_rgb(0x65, 0x43, 0x21), [](struct nk_command_buffer *) {});
    gdip_paint(&gdip, dc);
    GdiFlush();
    EXPECT_EQ(*pixel & 0xFFFFFFu, 0x654321u);

    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(device_pixels);
}

}  // namespace
