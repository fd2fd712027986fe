// Every text of the window shown whole, in the language spoken now: the main
// panel in each state it can be in and every popup the engine can produce,
// laid out with a drawing layer's own font at `scale`. A label Nuklear had
// to shorten, a field's text running past the field, two texts on the same
// pixels, or a popup's rows that run together or past their cell fail.
#pragma once

#include <functional>

#include "nuklear_config.h"

// FITS: every text whole, inside its widget, apart from the others.
// TRANSLATED: under the pseudo-translation, every text drawn carries its
// [[ ]] marks: a text drawn without them was never marked for translation
// (the credit, numbers and file paths excepted).
enum class Check { FITS, TRANSLATED };

void expect_panel_fits(const struct nk_user_font *font, int scale, struct nk_image gear, Check check = Check::FITS);

// `draw` renders a popup's frame and hands back the picture (ARGB, as
// expect_rows_apart takes it) with its width and the font's line pitch.
struct DrawnFrame {
    const uint32_t *argb;
    int width;
    double pitch;
};
void expect_popups_fit(const struct nk_user_font *font, int scale, const struct nk_image icons[2],
                       const std::function<DrawnFrame(struct nk_context *)> &draw, Check check = Check::FITS);
