// What start-up gives the window once it is open: the embedded font, the five
// pictures, the theme and the skins. Apart from main so that the frame
// benchmark starts the window exactly as the patcher does.
#include "assets/assets.h"
#include "host/host.h"
#include "ui/patcher_ui.h"
#include "ui/theme.h"

void patcher_load_look(HostWindow *host, struct nk_context *ctx, PatcherImages *images) {
    // A font or image that fails to load leaves the default font, or an image
    // that draws nothing; the panel works the same.
    host_load_font_memory(host, ui_font_ttf, (int32_t)ui_font_ttf_size, 16.0f);
    images->gear_image = host_load_image_memory(host, gear_png, gear_png_size);
    images->box_ticked_image = host_load_image_memory(host, box_ticked_png, box_ticked_png_size);
    images->box_empty_image = host_load_image_memory(host, box_empty_png, box_empty_png_size);
    for (int kind = 0; kind < 2; ++kind)
        images->popup_icons[kind] =
            host_load_image_memory(host, popup_icon_assets.data[kind], popup_icon_assets.size[kind]);

    host_set_style(ctx, HOST_THEME_CRIMSON);
    apply_skins(ctx, images->box_empty_image, images->box_ticked_image);
}
