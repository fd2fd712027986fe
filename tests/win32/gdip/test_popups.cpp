// Every popup the engine can produce, declared by the window's own popup and
// drawn by the GDI+ backend with the UI font and the window's theme, at
// scales 1 and 2: each row of text on pixels of its own, on the line grid,
// inside its cell and above "OK".
#include <gtest/gtest.h>

#include "../../unit/popups.h"
#include "assets/assets.h"
#include "backend.h"
#include "ui/patcher_ui.h"

namespace {

// How far apart GDI+ puts two lines of the font, in device pixels.
double line_pitch(GdipFont *font, int scale) {
    const RectF layout(0, 0, 65536, 65536);
    RectF one, two;
    GdipMeasureString(gdip.back_buffer_graphics, L"H", 1, font->gdi_font, &layout, gdip.text_format, &one, nullptr,
                      nullptr);
    GdipMeasureString(gdip.back_buffer_graphics, L"H\nH", 3, font->gdi_font, &layout, gdip.text_format, &two, nullptr,
                      nullptr);
    return (two.Height - one.Height) * scale;
}

TEST(Popups, EveryLineOfEveryPopupHasARowOfItsOwnAtScales1And2) {
    const std::vector<EnginePopup> popups = engine_popups();
    for (int scale = 1; scale <= 2; ++scale) {
        // The backend at this scale in place of the tests' own, which comes back after.
        const GdipBackend kept = gdip;
        gdip = GdipBackend{};
        ASSERT_TRUE(gdip_init(&gdip, test_window(), PATCHER_WIDTH, PATCHER_HEIGHT, (float)scale));
        GdipFont *font = gdip_font_from_memory(&gdip, ui_font_ttf, (int)ui_font_ttf_size, 13);
        ASSERT_NE(nullptr, font);
        gdip_set_font(&test_context, font);
        struct nk_image icons[2];
        for (int kind = 0; kind < 2; ++kind)
            icons[kind] = gdip_load_image_memory(popup_icon_assets.data[kind], popup_icon_assets.size[kind]);
        const double pitch = line_pitch(font, scale);
        for (const EnginePopup &popup : popups) {
            show_popup(popup, &font->user_font, icons, scale, [&](nk_context *ctx) {
                gdip_clear(&gdip, nk_rgb(30, 30, 30));
                gdip_render(&gdip, ctx, 1);
            });
            const Pixels drawn = read_back_buffer();
            ASSERT_EQ(PATCHER_WIDTH * scale, drawn.width);
            expect_rows_apart(drawn.argb.data(), drawn.width, scale, &font->user_font, pitch, popup);
        }
        for (struct nk_image &icon : icons) gdip_image_free(&icon);
        gdip_font_free(font);
        gdip_shutdown(&gdip);
        gdip = kept;
        use_default_font();
    }
}

}  // namespace
