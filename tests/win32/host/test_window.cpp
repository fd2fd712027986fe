// The window as host_init leaves it (size, frame, placement, modes, title),
// host_init's refusal, host_fatal's box, and the host's font loaders.
#include "host_test.h"

#include <cmath>
#include <fstream>
#include <vector>

namespace {

const LONG kFixedStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
const LONG kFrameBits = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_VISIBLE;

RECT work_area() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

SIZE outer_size(int width, int height, LONG style) {
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, (DWORD)style, FALSE, WS_EX_APPWINDOW);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// A window of this client size and style, checked against the centring rule:
// halfway between the screen's origin and the work area's far edges.
void expect_centred_window(HWND window, int width, int height, LONG style) {
    RECT client, placed;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right - client.left, width);
    EXPECT_EQ(client.bottom - client.top, height);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & kFrameBits, style | WS_VISIBLE);
    SIZE outer = outer_size(width, height, style);
    RECT work = work_area();
    ASSERT_TRUE(GetWindowRect(window, &placed));
    EXPECT_EQ(placed.left, (work.right - outer.cx) / 2);
    EXPECT_EQ(placed.top, (work.bottom - outer.cy) / 2);
    EXPECT_EQ(placed.right - placed.left, outer.cx);
    EXPECT_EQ(placed.bottom - placed.top, outer.cy);
}

UINT image_width(GpBitmap *bitmap) {
    UINT width = 0;
    GdipGetImageWidth(bitmap, &width);
    return width;
}

UINT image_height(GpBitmap *bitmap) {
    UINT height = 0;
    GdipGetImageHeight(bitmap, &height);
    return height;
}

bool display_offers(DWORD width, DWORD height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; EnumDisplaySettingsA(NULL, i, &mode); i++)
        if (mode.dmPelsWidth == width && mode.dmPelsHeight == height) return true;
    return false;
}

// Stands in for a taskbar at the left or top edge for the test's duration.
struct WorkAreaOverride {
    RECT saved{};
    bool applied = false;
    explicit WorkAreaOverride(RECT area) {
        saved = work_area();
        RECT now{};
        applied = SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0) &&
                  SystemParametersInfoA(SPI_GETWORKAREA, 0, &now, 0) && EqualRect(&area, &now);
    }
    ~WorkAreaOverride() { SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved, 0); }
};

}  // namespace

TEST_F(HostTest, FixedWindowHasTheExactClientAreaFrameTitleAndPlace) {
    open(HOST_MODE_FIXED);
    EXPECT_TRUE(IsWindowVisible(host.hwnd));
    expect_centred_window(host.hwnd, 500, 223, kFixedStyle);
    EXPECT_EQ(GetWindowLongW(host.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);

    WCHAR caption[128];
    GetWindowTextW(host.hwnd, caption, 128);
    EXPECT_STREQ(caption, L"Quelmor: Kelm patcher build 240512");
    EXPECT_STREQ(host.title, L"Quelmor: Kelm patcher build 240512");

    // No class style: no double clicks, no redraw on resize; the arrow cursor.
    EXPECT_EQ(GetClassLongW(host.hwnd, GCL_STYLE), 0u);
    EXPECT_EQ((HCURSOR)GetClassLongPtrW(host.hwnd, GCLP_HCURSOR), LoadCursorA(NULL, (LPCSTR)IDC_ARROW));

    EXPECT_EQ(ctx, &host.context);
    EXPECT_EQ(host.ctx, ctx);
    EXPECT_EQ(host.pending, 1);
    EXPECT_EQ(host.shared.mode, HOST_MODE_FIXED);
    EXPECT_EQ(host.shared.output_width, 500);
    EXPECT_EQ(host.shared.output_height, 223);
    EXPECT_EQ(image_width(host.gdip.back_buffer), 500u);
    EXPECT_EQ(image_height(host.gdip.back_buffer), 223u);

    ASSERT_NE(host.font, nullptr);
    EXPECT_EQ(ctx->style.font, &host.font->user_font);
    EXPECT_EQ(ctx->style.font->userdata.ptr, host.font);
    if (host.font->gdi_font) {
        EXPECT_EQ(ctx->style.font->height, 12.0f) << "Arial is created at 12 pixels";
    }
}

TEST_F(HostTest, ModesOtherThanTheThreeNamedOnesGiveTheFixedWindow) {
    for (int32_t mode : {0, 65, -1, 120}) {
        SCOPED_TRACE(mode);
        open(mode);
        expect_centred_window(host.hwnd, 500, 223, kFixedStyle);
    }
}

TEST_F(HostTest, WindowedModeIsSizableAndCentred) {
    open(HOST_MODE_WINDOWED);
    expect_centred_window(host.hwnd, 500, 223, WS_OVERLAPPEDWINDOW);
}

TEST_F(HostTest, DesktopModeCoversTheScreenAndKeepsTheLogicalBackBuffer) {
    open(HOST_MODE_DESKTOP);
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    RECT placed;
    GetWindowRect(host.hwnd, &placed);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
    EXPECT_EQ(placed.right, screen_width);
    EXPECT_EQ(placed.bottom, screen_height);
    EXPECT_EQ(GetWindowLongW(host.hwnd, GWL_STYLE) & kFrameBits, (LONG)(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(host.shared.output_width, screen_width);
    EXPECT_EQ(host.shared.output_height, screen_height);
    EXPECT_EQ(host.shared.logical_width, 500);
    EXPECT_EQ(host.shared.logical_height, 223);
    EXPECT_EQ(image_width(host.gdip.back_buffer), 500u);
    EXPECT_EQ(image_height(host.gdip.back_buffer), 223u);
}

TEST_F(HostTest, FullScreenWithoutTheDisplayModeKeepsTheFixedWindow) {
    if (display_offers(500, 223)) GTEST_SKIP() << "this display can switch to 500 x 223, so the fallback cannot occur";
    open(HOST_MODE_FULLSCREEN);
    expect_centred_window(host.hwnd, 500, 223, kFixedStyle);
    EXPECT_EQ(host_set_fullscreen(&host, host.hwnd, 500, 223), 0);
    expect_centred_window(host.hwnd, 500, 223, kFixedStyle);
}

TEST_F(HostTest, FullScreenAtAnOfferedSizeDropsTheCaptionAndMovesToTheOrigin) {
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    if (!display_offers((DWORD)screen_width, (DWORD)screen_height))
        GTEST_SKIP() << "the display does not list its own size among its modes";
    open(HOST_MODE_FULLSCREEN, screen_width, screen_height);
    LONG style = GetWindowLongW(host.hwnd, GWL_STYLE);
    ChangeDisplaySettingsA(NULL, 0);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE), (LONG)(WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE));
    RECT placed;
    GetWindowRect(host.hwnd, &placed);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
}

TEST_F(HostTest, CentringIgnoresTheWorkAreaOriginAndTruncatesTowardZero) {
    WorkAreaOverride area({200, 100, 1000, 700});
    if (!area.applied) GTEST_SKIP() << "the window system does not let the work area be changed";

    open(HOST_MODE_FIXED);
    SIZE outer = outer_size(500, 223, kFixedStyle);
    RECT placed;
    GetWindowRect(host.hwnd, &placed);
    EXPECT_EQ(placed.left, (1000 - outer.cx) / 2) << "centred from the screen's origin, not from the work area's";
    EXPECT_EQ(placed.top, (700 - outer.cy) / 2);

    // A window 7 pixels wider and taller than the far edges: -7 / 2 is -3, not -4.
    int frame_x = outer.cx - 500, frame_y = outer.cy - 223;
    open(HOST_MODE_FIXED, 1007 - frame_x, 707 - frame_y);
    GetWindowRect(host.hwnd, &placed);
    EXPECT_EQ(placed.right - placed.left, 1007);
    EXPECT_EQ(placed.bottom - placed.top, 707);
    EXPECT_EQ(placed.left, -3);
    EXPECT_EQ(placed.top, -3);
}

TEST_F(HostTest, TitlesLongerThan127UnitsAreCutAndTerminated) {
    std::string fits(127, 'q');
    open(HOST_MODE_FIXED, 500, 223, fits.c_str());
    EXPECT_EQ(wcslen(host.title), 127u);

    std::string longer(300, 'k');
    longer[126] = 'z';
    open(HOST_MODE_FIXED, 500, 223, longer.c_str());
    ASSERT_EQ(wcslen(host.title), 127u);
    EXPECT_EQ(host.title[126], L'z');
    WCHAR caption[512];
    EXPECT_EQ(GetWindowTextW(host.hwnd, caption, 512), 127);
}

TEST_F(HostTest, InitFailsCleanlyWhenTheWindowClassCannotBeRegistered) {
    WNDCLASSW squatter{};
    squatter.lpfnWndProc = DefWindowProcW;
    squatter.hInstance = GetModuleHandleW(NULL);
    squatter.lpszClassName = L"Nuklear-Cross";
    ASSERT_TRUE(RegisterClassW(&squatter));
    HostWindow refused{};
    EXPECT_EQ(host_init(&refused, kTitle, 500, 223, HOST_MODE_FIXED), nullptr);
    EXPECT_EQ(FindWindowW(L"Nuklear-Cross", NULL), nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a failed start must leave no quit message";
    ASSERT_TRUE(UnregisterClassW(L"Nuklear-Cross", GetModuleHandleW(NULL)));

    open(HOST_MODE_FIXED);   // and the next attempt starts normally
    expect_centred_window(host.hwnd, 500, 223, kFixedStyle);
}

TEST_F(HostTest, InitWithoutABackBufferRemovesItsWindowAndLetsTheErrorBoxShow) {
    HostWindow refused{};
    EXPECT_EQ(host_init(&refused, kTitle, 0, 0, HOST_MODE_FIXED), nullptr) << "GDI+ makes no 0 x 0 back buffer";
    EXPECT_EQ(FindWindowW(L"Nuklear-Cross", NULL), nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a pending quit would close the box at once";

    DialogWatcher box(IDOK, {}, 5000);
    EXPECT_EQ(host_fatal("Can't init Nuklear+ library\n"), 0);
    box.join();
    EXPECT_TRUE(box.found);

    open(HOST_MODE_FIXED);   // the class was given back
}

TEST(HostFatal, ShowsAnErrorBoxAndReturnsZeroOnceDismissed) {
    {
        DialogWatcher box(IDOK);
        EXPECT_EQ(host_fatal("Can't init %s library\n", "Nuklear+"), 0);
        box.join();
        ASSERT_TRUE(box.found) << "no message box appeared";
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, "Can't init Nuklear+ library\n");
    }
    {
        std::string long_text(3000, 'k');
        DialogWatcher box(IDOK);
        EXPECT_EQ(host_fatal("%s!", long_text.c_str()), 0);
        box.join();
        ASSERT_TRUE(box.found);
        EXPECT_EQ(box.text, long_text.substr(0, 1023)) << "the text is cut to the 1024-byte buffer";
    }
}

// --- the host's font loaders ------------------------------------------------

namespace {

const char *kFontPath = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSerif.ttf";

std::vector<char> read_file(const char *path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(HostTest, FontLoadsUseTheScaledSizeAndAFailureKeepsNuklearsFont) {
    if (GetFileAttributesA(kFontPath) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "DejaVu Serif (fonts-dejavu-core) is not installed at " << kFontPath;
    // GDI+ reads memory fonts for as long as the backend runs.
    static const std::vector<char> data = read_file(kFontPath);
    open(HOST_MODE_FIXED);

    HostFont *from_file = host_load_font_file(&host, kFontPath, 16.0f);
    ASSERT_NE(from_file, nullptr);
    EXPECT_EQ(host.font, from_file);
    EXPECT_EQ(ctx->style.font, &from_file->user_font);
    EXPECT_EQ(ctx->style.font->height, 13.0f);

    HostFont *from_memory = host_load_font_memory(&host, data.data(), (int32_t)data.size(), 16.9f);
    ASSERT_NE(from_memory, nullptr);
    EXPECT_EQ(ctx->style.font->height, 13.0f);
    from_memory = host_load_font_memory(&host, data.data(), (int32_t)data.size(), 12.0f);
    ASSERT_NE(from_memory, nullptr);
    EXPECT_EQ(ctx->style.font, &from_memory->user_font);
    EXPECT_EQ(ctx->style.font->height, 10.0f);

    const char junk[64] = "not a font";
    EXPECT_EQ(host_load_font_memory(&host, junk, sizeof junk, 16.0f), nullptr);
    EXPECT_EQ(host.font, nullptr);
    EXPECT_EQ(ctx->style.font, &from_memory->user_font) << "Nuklear keeps the font it had";
    EXPECT_EQ(host_load_font_file(&host, "Z:\\no\\such\\font.ttf", 16.0f), nullptr);
    // close() then releases the font Nuklear still holds.
}
