// Every popup the engine can produce, declared by the window's own popup and
// drawn by the Cairo backend with the UI font and the window's theme, at
// scales 1 and 2: each row of text on pixels of its own, on the line grid,
// inside its cell and above "OK".
#include <gtest/gtest.h>

#include "../unit/popups.h"
#include "assets/assets.h"
#include "cairo/cdraw.h"
#include "ui/patcher_ui.h"

namespace {

class CairoPopups : public ::testing::TestWithParam<int> {};

TEST_P(CairoPopups, EveryLineOfEveryPopupHasARowOfItsOwn) {
    const int scale = GetParam();
    CdrawBackend b;
    ASSERT_TRUE(cdraw_init(&b, PATCHER_WIDTH, PATCHER_HEIGHT, scale));
    CdrawFont *font = cdraw_font_from_memory(&b, ui_font_ttf, (int)ui_font_ttf_size, 13);
    ASSERT_NE(nullptr, font);
    struct nk_image icons[2];
    for (int kind = 0; kind < 2; ++kind)
        icons[kind] = cdraw_load_image_memory(popup_icon_assets.data[kind], popup_icon_assets.size[kind]);
    for (const EnginePopup &popup : engine_popups()) {
        show_popup(popup, &font->user_font, icons, scale, [&](nk_context *ctx) {
            cdraw_clear(&b, nk_rgb(30, 30, 30));
            cdraw_render(&b, ctx);
        });
        expect_rows_apart((const uint32_t *)cairo_image_surface_get_data(b.back_buffer), PATCHER_WIDTH * scale, scale,
                          &font->user_font, font->line_height * scale, popup);
    }
    for (struct nk_image &icon : icons) cdraw_image_free(&icon);
    cdraw_font_free(font);
    cdraw_shutdown(&b);
}

INSTANTIATE_TEST_SUITE_P(Scales, CairoPopups, ::testing::Values(1, 2));

}  // namespace
