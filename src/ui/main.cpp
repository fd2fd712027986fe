// The patcher's entry point: start-up, the frame loop and shutdown. Owns the
// host record, the patcher state, the pending message and the decoded images
// for the whole run. Takes nothing from the command line or the environment.
#include "assets/assets.h"
#include "host/host.h"
#include "patch/catalogue.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"
#include "ui/theme.h"

const char kPatcherTitle[] = "Quelmor: Kelm patcher build " KELM_BUILD;

int main(void) {
    static HostWindow host;
    static PatcherImages images;

    patcher_state_init(&patcher_state);
    message_popup.visible = 0;

    struct nk_context *ctx = host_init(&host, kPatcherTitle, PATCHER_WIDTH, PATCHER_HEIGHT, HOST_MODE_FIXED);
    if (!ctx) {
        host_fatal("Can't init Nuklear+ library\n");
        return 1;
    }

    // A font or image that fails to load leaves the default font, or an image
    // that draws nothing; the panel works the same.
    host_load_font_memory(&host, ui_font_ttf, (int32_t)ui_font_ttf_size, 16.0f);
    images.gear_image = host_load_image_memory(&host, gear_png, gear_png_size);
    images.box_ticked_image = host_load_image_memory(&host, box_ticked_png, box_ticked_png_size);
    images.box_empty_image = host_load_image_memory(&host, box_empty_png, box_empty_png_size);
    for (int kind = 0; kind < 2; ++kind)
        images.popup_icons[kind] =
            host_load_image_memory(&host, popup_icon_assets.data[kind], popup_icon_assets.size[kind]);

    host_set_style(ctx, HOST_THEME_CRIMSON);
    apply_skins(ctx, images.box_empty_image, images.box_ticked_image);
    patcher_state.profile = NO_PROFILE;

    for (;;) {
        int running = 1;
        HostEvent event = host_poll_events(&host);
        if (event.type == HOST_EVENT_QUIT && event.code == HOST_CODE_NONE) running = 0;
        patcher_frame(ctx, &host, &images);
        if (nk_window_is_closed(ctx, "MainPanel")) break;
        host_render(&host, nk_rgb(30, 30, 30));
        if (!running) break;
    }

    host_shutdown(&host);
    return 0;
}
