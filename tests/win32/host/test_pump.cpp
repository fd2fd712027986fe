// The pump's waiting and quitting, and presentation through the back buffer:
// frames, paint messages, minimising and resizing.
#include "host_test.h"

namespace {

double now_seconds() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / (double)frequency.QuadPart;
}

double process_cpu_ms() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) { return ((ULONGLONG)t.dwHighDateTime << 32) | t.dwLowDateTime; };
    return (double)(ticks(kernel) + ticks(user)) / 10000.0;
}

// Posts a message to the window from another thread after a delay.
struct LatePost {
    std::thread worker;
    LatePost(HWND window, UINT message, DWORD delay_ms)
        : worker([=] {
              Sleep(delay_ms);
              PostMessageW(window, message, 0, 0);
          }) {}
    ~LatePost() { worker.join(); }
};

ARGB back_buffer_pixel(const HostWindow &host, int x, int y) {
    ARGB colour = 0;
    GdipBitmapGetPixel(host.gdip.back_buffer, x, y, &colour);
    return colour;
}

SIZE back_buffer_size(const HostWindow &host) {
    UINT width = 0, height = 0;
    GdipGetImageWidth(host.gdip.back_buffer, &width);
    GdipGetImageHeight(host.gdip.back_buffer, &height);
    return {(LONG)width, (LONG)height};
}

COLORREF window_pixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// One frame with a single 100 x 100 Nuklear window at the top left, drawn in
// the default style's fixed background (45, 45, 45).
void declare_panel(nk_context *ctx) {
    if (nk_begin(ctx, "panel", nk_rect(0, 0, 100, 100), NK_WINDOW_NO_SCROLLBAR)) {}
    nk_end(ctx);
}

}  // namespace

TEST_F(HostTest, ClosingTheWindowMakesThePollReportQuit) {
    open(HOST_MODE_FIXED);
    settle();
    HostEvent event = post_and_poll(WM_CLOSE, 0, 0);
    EXPECT_EQ(event.type, HOST_EVENT_QUIT);
    EXPECT_EQ(event.code, HOST_CODE_NONE);
    EXPECT_FALSE(IsWindow(host.hwnd)) << "the default procedure destroys a closed window";
}

TEST_F(HostTest, AQuitEndingTheWaitIsReportedToo) {
    open(HOST_MODE_FIXED);
    settle();
    PostQuitMessage(0);
    HostEvent event = host_poll_events(&host);
    EXPECT_EQ(event.type, HOST_EVENT_QUIT);
    EXPECT_EQ(event.code, HOST_CODE_NONE);
    EXPECT_EQ(host.pending, 1);
}

TEST_F(HostTest, APollAfterAQuietFrameSleepsUntilTheNextMessage) {
    open(HOST_MODE_FIXED);

    // The probe must be able to see processor time, or the idle figure below
    // proves nothing. A busy machine lends the loop only a share of a core:
    // it spins until the probe sees 150 ms, or gives up after 5 s.
    double cpu_before = process_cpu_ms(), start = now_seconds();
    while (process_cpu_ms() - cpu_before < 150.0 && now_seconds() - start < 5.0) {}
    ASSERT_GE(process_cpu_ms() - cpu_before, 150.0) << "GetProcessTimes does not show a busy loop";

    settle();
    {
        LatePost later(host.hwnd, WM_NULL, 300);
        start = now_seconds();
        HostEvent event = host_poll_events(&host);
        double waited = now_seconds() - start;
        EXPECT_GE(waited, 0.28);
        EXPECT_LT(waited, 5.0);
        EXPECT_EQ(event.type, HOST_EVENT_NONE);
        EXPECT_EQ(host.pending, 1);
    }

    // The frame after a burst does not wait, and leaves the next one to wait.
    start = now_seconds();
    host_poll_events(&host);
    EXPECT_LT(now_seconds() - start, 0.1);
    EXPECT_EQ(host.pending, 0);

    LatePost later(host.hwnd, WM_NULL, 1000);
    cpu_before = process_cpu_ms();
    start = now_seconds();
    host_poll_events(&host);
    double waited = now_seconds() - start, idle_cpu = process_cpu_ms() - cpu_before;
    EXPECT_GE(waited, 0.95);
    EXPECT_LT(idle_cpu, 50.0) << "processor time used while idle for " << waited << " s";
    RecordProperty("idle_wait_ms", (int)(waited * 1000));
    RecordProperty("idle_cpu_ms", (int)idle_cpu);
    printf("idle poll: %.0f ms asleep, %.1f ms of processor time\n", waited * 1000, idle_cpu);
}

TEST_F(HostTest, RenderClearsDrawsPresentsAndEmptiesTheCommandList) {
    open(HOST_MODE_FIXED);
    settle();
    declare_panel(ctx);
    host_render(&host, nk_rgb(30, 60, 90));
    EXPECT_EQ(back_buffer_pixel(host, 50, 50), 0xFF2D2D2Du) << "the panel is drawn";
    EXPECT_EQ(back_buffer_pixel(host, 300, 150), 0xFF1E3C5Au) << "the rest has the clear colour";
    EXPECT_EQ(window_pixel(host.hwnd, 50, 50), RGB(45, 45, 45));
    EXPECT_EQ(window_pixel(host.hwnd, 499, 222), RGB(30, 60, 90));
    EXPECT_EQ(nk__begin(ctx), nullptr) << "the frame's commands are dropped";

    // Overdrawn and uncovered: the paint message restores it without a frame.
    HDC dc = GetDC(host.hwnd);
    RECT all = {0, 0, 500, 223};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ReleaseDC(host.hwnd, dc);
    ASSERT_EQ(window_pixel(host.hwnd, 300, 150), RGB(255, 255, 255));
    InvalidateRect(host.hwnd, NULL, FALSE);
    UpdateWindow(host.hwnd);
    EXPECT_EQ(window_pixel(host.hwnd, 300, 150), RGB(30, 60, 90));
    EXPECT_EQ(window_pixel(host.hwnd, 50, 50), RGB(45, 45, 45));
}

TEST_F(HostTest, DesktopModeStretchesTheFrameOverTheScreen) {
    open(HOST_MODE_DESKTOP);
    settle();
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    declare_panel(ctx);
    host_render(&host, nk_rgb(30, 60, 90));
    // The 100 x 100 panel covers 100/500 of the width and 100/223 of the height.
    EXPECT_EQ(window_pixel(host.hwnd, screen_width * 90 / 500, screen_height * 90 / 223), RGB(45, 45, 45));
    EXPECT_EQ(window_pixel(host.hwnd, screen_width * 110 / 500, screen_height * 50 / 223), RGB(30, 60, 90));
    // Not the very last pixel: GDI+ blends a stretched image's outermost edge with nothing.
    EXPECT_EQ(window_pixel(host.hwnd, screen_width - 8, screen_height - 8), RGB(30, 60, 90));
}

TEST_F(HostTest, AMinimisedWindowKeepsAUsableBackBuffer) {
    open(HOST_MODE_FIXED);
    settle();
    host_render(&host, nk_rgb(30, 30, 30));
    EXPECT_EQ(back_buffer_pixel(host, 10, 10), 0xFF1E1E1Eu);

    SendMessageW(host.hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    ASSERT_NE(host.gdip.back_buffer, nullptr);
    EXPECT_EQ(back_buffer_size(host).cx, 500);
    EXPECT_EQ(back_buffer_size(host).cy, 223);
    host_render(&host, nk_rgb(30, 60, 90));
    EXPECT_EQ(back_buffer_pixel(host, 499, 222), 0xFF1E3C5Au);
    InvalidateRect(host.hwnd, NULL, FALSE);
    UpdateWindow(host.hwnd);

    // The same through the window system: minimise, a frame, restore, a frame.
    ShowWindow(host.hwnd, SW_MINIMIZE);
    settle();
    declare_panel(ctx);
    host_render(&host, nk_rgb(1, 2, 3));
    ShowWindow(host.hwnd, SW_RESTORE);
    settle();
    EXPECT_EQ(back_buffer_size(host).cx, 500);
    EXPECT_EQ(back_buffer_size(host).cy, 223);
    declare_panel(ctx);
    host_render(&host, nk_rgb(1, 2, 3));
    EXPECT_EQ(back_buffer_pixel(host, 300, 200), 0xFF010203u);
    EXPECT_EQ(back_buffer_pixel(host, 50, 50), 0xFF2D2D2Du);
    EXPECT_EQ(window_pixel(host.hwnd, 300, 200), RGB(1, 2, 3));
}

TEST_F(HostTest, AResizedWindowGetsABackBufferOfTheNewClientSize) {
    open(HOST_MODE_WINDOWED);
    settle();
    RECT outer;
    GetWindowRect(host.hwnd, &outer);
    SetWindowPos(host.hwnd, NULL, 0, 0, outer.right - outer.left + 140, outer.bottom - outer.top + 77,
                 SWP_NOMOVE | SWP_NOZORDER);
    settle();
    RECT client;
    GetClientRect(host.hwnd, &client);
    ASSERT_EQ(client.right, 640);
    ASSERT_EQ(client.bottom, 300);
    EXPECT_EQ(back_buffer_size(host).cx, 640);
    EXPECT_EQ(back_buffer_size(host).cy, 300);
    declare_panel(ctx);
    host_render(&host, nk_rgb(30, 30, 30));
    EXPECT_EQ(back_buffer_pixel(host, 639, 299), 0xFF1E1E1Eu);
    EXPECT_EQ(window_pixel(host.hwnd, 639, 299), RGB(30, 30, 30));
}

// Moved to a monitor at 144 dpi, the window follows: the client area and the
// back buffer become the logical size at 1.5, what is drawn is drawn at 1.5,
// pointer positions come back in logical pixels; and back again at 96.
TEST_F(HostTest, ANewDpiScalesTheClientAreaTheFrameAndThePointer) {
    open(HOST_MODE_FIXED);
    settle();
    RECT placed;
    GetWindowRect(host.hwnd, &placed);
    SendMessageW(host.hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), (LPARAM)&placed);
    EXPECT_EQ(host.pending, 1);
    settle();
    RECT client, moved;
    GetClientRect(host.hwnd, &client);
    GetWindowRect(host.hwnd, &moved);
    EXPECT_EQ(client.right, 750);
    EXPECT_EQ(client.bottom, 335);
    EXPECT_EQ(moved.left, placed.left);
    EXPECT_EQ(moved.top, placed.top);
    EXPECT_EQ(back_buffer_size(host).cx, 750);
    EXPECT_EQ(back_buffer_size(host).cy, 335);

    declare_panel(ctx);   // 100 x 100 logical pixels: 150 x 150 device pixels
    host_render(&host, nk_rgb(30, 30, 30));
    EXPECT_EQ(back_buffer_pixel(host, 148, 148), 0xFF2D2D2Du);
    EXPECT_EQ(back_buffer_pixel(host, 152, 152), 0xFF1E1E1Eu);
    EXPECT_EQ(window_pixel(host.hwnd, 148, 20), RGB(45, 45, 45));

    post_and_poll(WM_MOUSEMOVE, 0, MAKELPARAM(300, 150));
    EXPECT_EQ(input().mouse.pos.x, 200.0f);
    EXPECT_EQ(input().mouse.pos.y, 100.0f);

    GetWindowRect(host.hwnd, &placed);
    SendMessageW(host.hwnd, WM_DPICHANGED, MAKEWPARAM(96, 96), (LPARAM)&placed);
    GetClientRect(host.hwnd, &client);
    EXPECT_EQ(client.right, 500);
    EXPECT_EQ(client.bottom, 223);
    EXPECT_EQ(back_buffer_size(host).cx, 500);
}
