// The patcher window: the main panel, the message popup and the look, declared
// anew every frame. Platform-neutral: it talks to the platform only through
// the host interface (host/host.h) and the file chooser (host/chooser.h).
#pragma once

#include "nuklear_config.h"

// The images start-up decodes once and keeps for the whole run.
struct PatcherImages {
    struct nk_image gear_image;        // icon of the "Patch" button
    struct nk_image box_ticked_image;  // check-box cursor skin
    struct nk_image box_empty_image;   // check-box background skin
    struct nk_image popup_icons[2];    // by message kind: 0 red cross, 1 green tick
};

enum { PATCHER_WIDTH = 500, PATCHER_HEIGHT = 223 };

struct HostWindow;

// The embedded font and pictures loaded into the open window, the theme and
// the skins applied: start-up's work between host_init and the first frame.
void patcher_load_look(struct HostWindow *host, struct nk_context *ctx, PatcherImages *images);

// One frame's declarations: "MainPanel" with its six rows and, while a message
// is pending, the popup inside it. `host` is handed to the host services the
// panel calls (the file chooser).
void patcher_frame(struct nk_context *ctx, struct HostWindow *host, const PatcherImages *images);

void declare_main_panel(struct nk_context *ctx, struct HostWindow *host, struct nk_image gear_image);
void declare_popup(struct nk_context *ctx, const struct nk_image popup_icons[2]);
