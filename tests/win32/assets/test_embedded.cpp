// The embedded font and pictures through the real GDI+ decoders, from exactly
// the byte counts the patcher hands over (trailing zero bytes included).
#include <gtest/gtest.h>

#include "assets/assets.h"
#include "host/host.h"

namespace {

class Embedded : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx = host_init(&host, "assets", 500, 223, HOST_MODE_FIXED);
        ASSERT_NE(nullptr, ctx);
    }
    void TearDown() override {
        if (!ctx) return;
        DestroyWindow(host.hwnd);
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {}
        host_shutdown(&host);
    }
    HostWindow host{};
    struct nk_context *ctx = nullptr;
};

TEST_F(Embedded, FontRegistersAsThe13PixelUiFont) {
    GdipFont *font = host_load_font_memory(&host, ui_font_ttf, (int32_t)ui_font_ttf_size, 16.0f);
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(font, host.font);
    EXPECT_EQ(13.0f, ctx->style.font->height);
    EXPECT_EQ(&font->user_font, ctx->style.font);

    // Carriage return is an empty glyph: a CR inside a run adds no ink and no line.
    float plain = gdip_text_width(nk_handle_ptr(font), 13, "Patch", 5);
    EXPECT_GT(plain, 20.0f);
}

TEST_F(Embedded, PicturesDecodeToTheirSizes) {
    struct {
        const char *name;
        const unsigned char *data;
        unsigned size;
        unsigned short w, h;
    } pictures[] = {
        {"gear", gear_png, gear_png_size, 29, 29},
        {"ticked box", box_ticked_png, box_ticked_png_size, 256, 276},
        {"empty box", box_empty_png, box_empty_png_size, 256, 256},
        {"cross", popup_icon_assets.data[0], popup_icon_assets.size[0], 48, 48},
        {"tick", popup_icon_assets.data[1], popup_icon_assets.size[1], 48, 48},
    };
    for (auto &p : pictures) {
        SCOPED_TRACE(p.name);
        struct nk_image image = host_load_image_memory(&host, p.data, p.size);
        EXPECT_NE(nullptr, image.handle.ptr);
        EXPECT_EQ(p.w, image.w);
        EXPECT_EQ(p.h, image.h);
        host_free_image(&image);
    }
}

}  // namespace
