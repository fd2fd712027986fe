// One frame of the patcher window, through the host interface as main runs
// it: the pump drained, the panel declared over a chosen edition, the command
// list walked and drawn into the back buffer, presented. The same source for both windows
// (GTK and Cairo natively, Win32 and GDI+ under Wine). Prints the median frame
// time over 2,000 frames against the 1 ms target, and the resident memory
// after 10, 100 and 10,000 frames. The first frames still fill the drawing
// layers' caches (glyphs, the window system's upload buffers); from there on
// memory must stay the same.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "host/host.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"

#ifdef _WIN32
#include <psapi.h>   // after windows.h, which host.h brings
#endif

namespace {

long resident_kb() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters;
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
               ? (long)(counters.WorkingSetSize / 1024)
               : -1;
#else
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0) sscanf(line + 6, "%ld", &kb);
    if (status) fclose(status);
    return kb;
#endif
}

}  // namespace

int main(void) {
    static HostWindow host;
    static PatcherImages images;
    struct nk_context *ctx = host_init(&host, "frame benchmark", PATCHER_WIDTH, PATCHER_HEIGHT, HOST_MODE_FIXED);
    if (!ctx) {
        fprintf(stderr, "bench_frame: no window (is there a display?)\n");
        return 1;
    }
    patcher_load_look(&host, ctx, &images);
    patcher_state_init(&patcher_state);
    patcher_state.profile = 0;   // a v1.1 edition: status line and the short check-box label
    snprintf(patcher_state.status, sizeof patcher_state.status, "Modified v1.1 CD-ROM edition");

    // Half the frames show the popup over the panel, the heaviest frame there is.
    auto frame = [&](int i) {
        message_popup.visible = i & 1;
        // The pump as after input: it drains what is queued without waiting,
        // so the window system's side of each frame is done too.
        host.pending = 1;
        host_poll_events(&host);
        patcher_frame(ctx, &host, &images);
        host_render(&host, nk_rgb(30, 30, 30));
    };
    for (int i = 0; i < 10; ++i) frame(i);
    const long after_10 = resident_kb();
    long after_100 = 0;
    std::vector<double> times;
    for (int i = 10; i < 10000; ++i) {
        if (i == 100) after_100 = resident_kb();
        const auto start = std::chrono::steady_clock::now();
        frame(i);
        if (i >= 8000) times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    const long after_10000 = resident_kb();
    std::sort(times.begin(), times.end());
    printf("frame_us %.1f\nrss_kb_after_10 %ld\nrss_kb_after_100 %ld\nrss_kb_after_10000 %ld\n", times[times.size() / 2],
           after_10, after_100, after_10000);
    host_shutdown(&host);
    return 0;
}
