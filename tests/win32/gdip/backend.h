// What every GDI+ backend test shares: one real window with a 500 x 223 client
// area, the backend started on it (with the default "Arial" font, as the host
// starts it), and read-back of the back buffer's pixels.
#pragma once

#include <stdint.h>

#include <functional>
#include <vector>

#include "gdip/gdip.h"

enum { TEST_WIDTH = 500, TEST_HEIGHT = 223 };

// The backend under test and the Nuklear context its frames are declared in.
extern GdipBackend gdip;
extern struct nk_context test_context;

HWND test_window(void);

// Shuts the backend down and starts it again on the same window: a fresh
// context and an empty font collection table.
void restart_backend(void);

// Makes the default font Nuklear's font again, so that a test's own font can go.
void use_default_font(void);

// The back buffer as non-premultiplied ARGB, row by row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    uint32_t at(int x, int y) const { return argb[(size_t)y * (size_t)width + (size_t)x]; }
};
Pixels read_back_buffer(void);

// One Nuklear frame: a borderless, transparent window over the whole client
// area whose canvas `body` draws on; the back buffer is cleared to `clear`
// first, rendered with `antialias`, then the command list is dropped.
void render_frame(struct nk_color clear, const std::function<void(struct nk_command_buffer *)> &body,
                  int antialias = 1);
