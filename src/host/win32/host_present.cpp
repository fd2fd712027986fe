// Frame presentation: every frame is drawn whole into the backend's back
// buffer and copied to the window in one operation, so the user never sees a
// half-drawn frame. Paint messages are answered from the same buffer
// (host_events.cpp), which is why nothing here draws to the window directly.
// Screen readers hear of the frame's changes once it is on screen.
#include "host/host.h"

void host_render(HostWindow *host, struct nk_color clear) {
    gdip_clear(&host->gdip, clear);
    gdip_render(&host->gdip, host->ctx, NK_ANTI_ALIASING_ON);
    // Desktop mode lays out in the logical size and fills the screen with it,
    // aspect ratio notwithstanding.
    gdip_present(&host->gdip, host->shared.mode == HOST_MODE_DESKTOP, host->shared.output_width, host->shared.output_height);
    host_bench_first_paint();
    nk_clear(host->ctx);
    host_access_tell(host);
}
