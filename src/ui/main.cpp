// The patcher's entry point: start-up, the frame loop and shutdown. Owns the
// host record, the patcher state, the pending message and the decoded images
// for the whole run. Takes nothing from the command line; from the
// environment, only the user's language.
#include "host/host.h"
#include "lang/lang.h"
#include "patch/catalogue.h"
#include "patch/fileio.h"
#include "ui/access.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"

int main(void) {
    static HostWindow host;
    static PatcherImages images;

    confine_library_search();
    lang_init();
    patcher_state_init(&patcher_state);
    message_popup.visible = 0;

    struct nk_context *ctx = host_init(&host, patcher_title(), PATCHER_WIDTH, PATCHER_HEIGHT, HOST_MODE_FIXED);
    if (!ctx) {
        host_fatal("Can't init Nuklear+ library\n");
        return 1;
    }

    patcher_load_look(&host, ctx, &images);
    patcher_state.profile = NO_PROFILE;

    for (;;) {
        int running = 1;
        HostEvent event = host_poll_events(&host);
        if (event.type == HOST_EVENT_QUIT && event.code == HOST_CODE_NONE) running = 0;
        access_begin_frame(host_window_scale(&host));
        patcher_frame(ctx, &host, &images);
        // Keys and screen readers queue actions, one a frame: the next poll
        // must not sleep while some wait.
        if (access_pending()) host.pending = 1;
        if (nk_window_is_closed(ctx, "MainPanel")) break;
        host_render(&host, nk_rgb(30, 30, 30));
        if (!running) break;
    }

    host_shutdown(&host);
    return 0;
}
