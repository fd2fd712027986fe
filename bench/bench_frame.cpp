// One frame of the native window without the window: the panel declared over
// a chosen edition, the command list walked, everything drawn into the Cairo
// back buffer. The target: under 1 ms a frame. Also checks that memory does
// not grow with frames: the process's resident size after 10,000 frames
// against after 10.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>

#include "assets/assets.h"
#include "cairo/cdraw.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"
#include "ui/theme.h"

// The panel's "Browse" is never clicked here; the chooser only has to exist.
const char *choose_file(HostWindow *, unsigned, const char *) { return nullptr; }

namespace {

struct Frame {
    CdrawBackend cdraw{};
    struct nk_context ctx;
    PatcherImages images{};
    CdrawFont *font = nullptr;

    Frame() {
        cdraw_init(&cdraw, PATCHER_WIDTH, PATCHER_HEIGHT, 1.0);
        font = cdraw_font_from_memory(&cdraw, ui_font_ttf, (int)ui_font_ttf_size, 13);
        nk_init_default(&ctx, &font->user_font);
        images.gear_image = cdraw_load_image_memory(gear_png, gear_png_size);
        images.box_empty_image = cdraw_load_image_memory(box_empty_png, box_empty_png_size);
        images.box_ticked_image = cdraw_load_image_memory(box_ticked_png, box_ticked_png_size);
        for (int kind = 0; kind < 2; ++kind)
            images.popup_icons[kind] = cdraw_load_image_memory(popup_icon_assets.data[kind], popup_icon_assets.size[kind]);
        host_set_style(&ctx, HOST_THEME_CRIMSON);
        apply_skins(&ctx, images.box_empty_image, images.box_ticked_image);
        patcher_state_init(&patcher_state);
        patcher_state.profile = 0;   // a v1.1 edition: the short check-box label, a status line
        snprintf(patcher_state.status, sizeof patcher_state.status, "Modified v1.1 CD-ROM edition");
    }
    ~Frame() {
        nk_free(&ctx);
        cdraw_font_free(font);
        cdraw_shutdown(&cdraw);
    }
    void run(bool popup) {
        message_popup.visible = popup;
        nk_input_begin(&ctx);
        nk_input_end(&ctx);
        patcher_frame(&ctx, nullptr, &images);
        cdraw_clear(&cdraw, nk_rgb(30, 30, 30));
        cdraw_render(&cdraw, &ctx);
        nk_clear(&ctx);
    }
};

long resident_kb() {
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0) sscanf(line + 6, "%ld", &kb);
    if (status) fclose(status);
    return kb;
}

void BM_Frame(benchmark::State &state) {
    Frame frame;
    for (auto _ : state) frame.run(state.range(0) != 0);
}
BENCHMARK(BM_Frame)->Arg(0)->Arg(1)->ArgName("popup")->Unit(benchmark::kMicrosecond);

void BM_FrameMemory(benchmark::State &state) {
    for (auto _ : state) {
        Frame frame;
        for (int i = 0; i < 10; ++i) frame.run(i & 1);
        const long after_10 = resident_kb();
        for (int i = 10; i < 10000; ++i) frame.run(i & 1);
        const long after_10000 = resident_kb();
        state.counters["rss_kb_10"] = (double)after_10;
        state.counters["rss_kb_10000"] = (double)after_10000;
        state.counters["growth_kb"] = (double)(after_10000 - after_10);
    }
}
BENCHMARK(BM_FrameMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
