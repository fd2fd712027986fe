// Every text of the window whole, in English and in every shipped language:
// the main panel in each state and every popup the engine can produce (each
// row of a popup on pixels of its own, on the line grid, inside its cell and
// above "OK"), measured and drawn by the GDI+ backend with the UI font at
// scales 1 and 2, from the catalogues the programs carry.
#include <gtest/gtest.h>

#include "../../unit/fit.h"
#include "../../unit/languages.h"
#include "assets/assets.h"
#include "backend.h"
#include "ui/patcher_ui.h"

namespace {

double line_pitch(GdipFont *font, int scale) {
    const RectF layout(0, 0, 65536, 65536);
    RectF one, two;
    GdipMeasureString(gdip.back_buffer_graphics, L"H", 1, font->gdi_font, &layout, gdip.text_format, &one, nullptr,
                      nullptr);
    GdipMeasureString(gdip.back_buffer_graphics, L"H\nH", 3, font->gdi_font, &layout, gdip.text_format, &two, nullptr,
                      nullptr);
    return (two.Height - one.Height) * scale;
}

TEST(Fit, EveryTextFitsInEveryLanguageAtScales1And2) {
    std::vector<std::string> languages = shipped_languages();
    languages.insert(languages.begin(), "");   // English first
    for (int scale = 1; scale <= 2; ++scale) {
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
        Pixels drawn;
        for (const std::string &lang : languages) {
            SCOPED_TRACE(lang + " at scale " + std::to_string(scale));
            speak(lang);
            expect_panel_fits(&font->user_font, scale, icons[0]);
            expect_popups_fit(&font->user_font, scale, icons, [&](nk_context *ctx) {
                gdip_clear(&gdip, nk_rgb(30, 30, 30));
                gdip_render(&gdip, ctx, 1);
                drawn = read_back_buffer();
                return DrawnFrame{drawn.argb.data(), drawn.width, pitch};
            });
        }
        speak("");
        for (struct nk_image &icon : icons) gdip_image_free(&icon);
        gdip_font_free(font);
        gdip_shutdown(&gdip);
        gdip = kept;
        use_default_font();
    }
}

}  // namespace
