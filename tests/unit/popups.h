// Every popup the engine can produce, brought about through the window's own
// actions on real files (and file access that fails on purpose where a disk
// would have to fail), for the drawing layers' popup tests; and the rows of
// text found in a drawn picture.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "nuklear_config.h"

struct EnginePopup {
    std::string what;   // how it came about
    uint32_t kind;
    std::string title, text;
};

// Each kind of popup once; the messages that carry the system's reason carry
// its longest, and every write failure is there with its original bytes put
// back and not.
std::vector<EnginePopup> engine_popups();

// The popup as the window shows it: the main panel and the popup declared
// in a context of their own (as if the last popup had had its "OK") with the
// window's theme, at `scale`, for two frames: the first lays the popup out,
// the second draws it where it stays. `draw` renders each frame's commands.
void show_popup(const EnginePopup &popup, const struct nk_user_font *font, const struct nk_image icons[2], int scale,
                const std::function<void(struct nk_context *)> &draw);

// Checks a drawn popup (ARGB, `width` pixels a row, at `scale`): each row of
// its text, as text_rows lays it out in the popup's cell with `font`, on
// pixels of its own, `pitch` device pixels below the last, and nothing
// beyond the cell or under "OK". Where the text and the button are, the
// popup says itself (its accessible description).
void expect_rows_apart(const uint32_t *argb, int width, int scale, const struct nk_user_font *font, double pitch,
                       const EnginePopup &popup);

// A run of pixel rows that hold ink, top and bottom included.
struct TextBand {
    int top, bottom;
};

// The runs of rows within [x0, x1) x [y0, y1) of an ARGB picture `width`
// pixels wide that hold a pixel whose colour differs from `background` by
// more than `tolerance` in a channel.
std::vector<TextBand> text_bands(const uint32_t *argb, int width, int x0, int y0, int x1, int y1, uint32_t background,
                                 int tolerance = 48);
