// The part of the host record that every platform keeps the same way: the mode
// and sizes given to host_init, the font Nuklear draws with as far as the host
// set it, and the file chooser's last result. Each platform's HostWindow
// embeds one as `shared`.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "nuklear_config.h"

// Window modes, compared as integers (the values are character codes).
enum {
    HOST_MODE_WINDOWED = 119,     // 'w': sizable, back buffer follows the client size
    HOST_MODE_DESKTOP = 100,      // 'd': borderless, the screen's size, frame stretched
    HOST_MODE_FULLSCREEN = 102,   // 'f': display mode switched to the logical size
    HOST_MODE_FIXED = 120,        // 'x', and any other value: fixed size, caption, minimise box
};

struct HostShared {
    int32_t mode;                            // HOST_MODE_* given to host_init
    int32_t logical_width, logical_height;   // the size Nuklear lays out in
    int32_t output_width, output_height;     // the size the frame is shown at
    // Device pixels per logical pixel: the display's scale (GDK's scale
    // factor; the window's dpi / 96 on Windows). The back buffer holds
    // draw_device_pixels of the logical size, drawn scaled, so text and edges
    // are as sharp as the display allows.
    double scale;
    // Nuklear's font. It differs from the record's current font only after a
    // font load failed: that then holds null while Nuklear still uses the
    // previous font, which must outlive every frame.
    struct nk_user_font *nuklear_font;
    char *chosen_path;                       // the file chooser's last result, malloc'd
    // A drop the panel has not taken yet: the file's path (malloc'd), or a
    // refusal of something that is no local file.
    char *dropped_path;
    int32_t drop_refused;
};

// A pointer position, as the window system reports it, in Nuklear's logical
// pixels. Where the frame is stretched over the screen (output size other
// than the logical one, desktop and full-screen modes) the stretch is undone;
// elsewhere the position is divided by `per_logical`, the window system's
// units in one logical pixel: the display scale on Windows, whose positions
// are device pixels, 1 under GDK, which scales positions itself. Rounded
// down, so a point just left of or above the window stays outside it.
void host_logical_position(const HostShared *shared, double x, double y, double per_logical, int *out_x, int *out_y);

// The platform's drop handler hands over the first dropped file's path, or
// null for a drop that names no local file. A later drop replaces an earlier
// one the panel has not taken yet.
void host_drop_file(HostShared *shared, const char *path);
// For take_dropped_file (host/chooser.h): the path moves to chosen_path, so it
// lives exactly as long as a path the chooser returned.
int host_take_drop(HostShared *shared, const char **path);

// Releases one of the platform's fonts, given by its user font (every
// platform's font record starts with it).
typedef void (*HostFontRelease)(struct nk_user_font *font);

// Makes `font` Nuklear's when it is not null, and releases the font it
// replaces as soon as that is no longer Nuklear's. Fonts are loaded between
// frames, so no text command of a pending frame still points at the old one.
void host_use_font(struct nk_context *ctx, HostShared *shared, struct nk_user_font *font, HostFontRelease release);

// At shutdown: releases Nuklear's font and `current` (either may be null, or
// both the same), and the chooser's result.
void host_release_shared(HostShared *shared, struct nk_user_font *current, HostFontRelease release);

// Benchmark builds only (KELM_BENCH_FIRST_PAINT): says "painted" on stdout the
// first time a frame reaches the screen, where the launch benchmark stops its
// clock. Each platform calls it where its frame is shown.
static inline void host_bench_first_paint(void) {
#ifdef KELM_BENCH_FIRST_PAINT
    static int painted;
    if (!painted++) {
        printf("painted\n");
        fflush(stdout);
    }
#endif
}
