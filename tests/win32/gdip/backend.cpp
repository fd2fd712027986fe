#include "backend.h"

#include <string.h>

#include <gtest/gtest.h>

GdipBackend gdip;
struct nk_context test_context;

namespace {

HWND window;
GdipFont *default_font;

void start(void) {
    gdip_init(&gdip, window, TEST_WIDTH, TEST_HEIGHT);
    nk_init_default(&test_context, nullptr);
    default_font = gdip_font_create(&gdip, "Arial", 12);
    gdip_set_font(&test_context, default_font);
}

void stop(void) {
    gdip_font_free(default_font);
    default_font = nullptr;
    nk_free(&test_context);
    gdip_shutdown(&gdip);
}

class BackendEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KelmGdipTest";
        RegisterClassW(&wc);
        RECT rect = {0, 0, TEST_WIDTH, TEST_HEIGHT};
        AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
        window = CreateWindowW(L"KelmGdipTest", L"gdip tests", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                               rect.bottom - rect.top, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        start();
    }
    void TearDown() override {
        stop();
        DestroyWindow(window);
    }
};

const auto *environment = ::testing::AddGlobalTestEnvironment(new BackendEnvironment);

}  // namespace

HWND test_window(void) { return window; }

void restart_backend(void) {
    stop();
    start();
}

void use_default_font(void) { gdip_set_font(&test_context, default_font); }

Pixels read_back_buffer(void) {
    Pixels pixels;
    GdipFlush(gdip.back_buffer_graphics, FlushIntentionSync);
    UINT width = 0, height = 0;
    GdipGetImageWidth(gdip.back_buffer, &width);
    GdipGetImageHeight(gdip.back_buffer, &height);
    const GpRect all(0, 0, (INT)width, (INT)height);
    BitmapData data;
    if (GdipBitmapLockBits(gdip.back_buffer, &all, ImageLockModeRead, PixelFormat32bppARGB, &data) != Ok) {
        ADD_FAILURE() << "cannot lock the back buffer";
        return pixels;
    }
    pixels.width = (int)width;
    pixels.height = (int)height;
    pixels.argb.resize((size_t)width * height);
    for (UINT y = 0; y < height; ++y)
        memcpy(&pixels.argb[(size_t)y * width], (const char *)data.Scan0 + (ptrdiff_t)y * data.Stride, width * 4);
    GdipBitmapUnlockBits(gdip.back_buffer, &data);
    return pixels;
}

void render_frame(struct nk_color clear, const std::function<void(struct nk_command_buffer *)> &body, int antialias) {
    struct nk_context *ctx = &test_context;
    ctx->style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
    if (nk_begin(ctx, "test", nk_rect(0, 0, TEST_WIDTH, TEST_HEIGHT), NK_WINDOW_NO_SCROLLBAR))
        body(nk_window_get_canvas(ctx));
    nk_end(ctx);
    gdip_clear(&gdip, clear);
    gdip_render(&gdip, ctx, antialias);
    nk_clear(ctx);
}
