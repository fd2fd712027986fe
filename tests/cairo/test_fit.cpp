// Every text of the window whole, in English and in every shipped language:
// the main panel in each state and every popup the engine can produce (each
// row of a popup on pixels of its own, on the line grid, inside its cell and
// above "OK"), measured and drawn by the Cairo backend with the UI font at
// scales 1 and 2.
#include <gtest/gtest.h>

#include "../unit/fit.h"
#include "../unit/languages.h"
#include "assets/assets.h"
#include "cairo/cdraw.h"
#include "ui/patcher_ui.h"

namespace {

class CairoFit : public ::testing::TestWithParam<int> {};

TEST_P(CairoFit, EveryTextFitsInEveryLanguage) {
    const int scale = GetParam();
    CdrawBackend b;
    ASSERT_TRUE(cdraw_init(&b, PATCHER_WIDTH, PATCHER_HEIGHT, scale));
    CdrawFont *font = cdraw_font_from_memory(&b, ui_font_ttf, (int)ui_font_ttf_size, 13);
    ASSERT_NE(nullptr, font);
    struct nk_image icons[2];
    for (int kind = 0; kind < 2; ++kind)
        icons[kind] = cdraw_load_image_memory(popup_icon_assets.data[kind], popup_icon_assets.size[kind]);
    std::vector<std::string> languages = shipped_languages();
    languages.insert(languages.begin(), "");   // English first
    for (const std::string &lang : languages) {
        SCOPED_TRACE(lang);
        speak(lang);
        expect_panel_fits(&font->user_font, scale, icons[0]);
        expect_popups_fit(&font->user_font, scale, icons, [&](nk_context *ctx) {
            cdraw_clear(&b, nk_rgb(30, 30, 30));
            cdraw_render(&b, ctx);
            return DrawnFrame{(const uint32_t *)cairo_image_surface_get_data(b.back_buffer), PATCHER_WIDTH * scale,
                              font->line_height * (double)scale};
        });
    }
    speak("");
    for (struct nk_image &icon : icons) cdraw_image_free(&icon);
    cdraw_font_free(font);
    cdraw_shutdown(&b);
}

INSTANTIATE_TEST_SUITE_P(Scales, CairoFit, ::testing::Values(1, 2));

// Under the pseudo-translation every text the panel and the popups draw is
// translated: one that is not was never marked.
TEST(PseudoTranslation, EveryTextDrawnIsMarked) {
    CdrawBackend b;
    ASSERT_TRUE(cdraw_init(&b, PATCHER_WIDTH, PATCHER_HEIGHT, 1));
    CdrawFont *font = cdraw_font_from_memory(&b, ui_font_ttf, (int)ui_font_ttf_size, 13);
    ASSERT_NE(nullptr, font);
    struct nk_image icons[2];
    for (int kind = 0; kind < 2; ++kind)
        icons[kind] = cdraw_load_image_memory(popup_icon_assets.data[kind], popup_icon_assets.size[kind]);
    speak("pseudo");
    expect_panel_fits(&font->user_font, 1, icons[0], Check::TRANSLATED);
    expect_popups_fit(&font->user_font, 1, icons, [&](nk_context *) { return DrawnFrame{}; }, Check::TRANSLATED);
    speak("");
    for (struct nk_image &icon : icons) cdraw_image_free(&icon);
    cdraw_font_free(font);
    cdraw_shutdown(&b);
}

}  // namespace
