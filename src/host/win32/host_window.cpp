// The Win32 host window: creation in its four modes, the switch to a
// full-screen display mode, the start-up error box, shutdown, and the host's
// font and image loaders. The event pump and window procedure live in
// host_events.cpp, frame presentation in host_present.cpp.
//
// Everything the host keeps lives in the HostWindow record; the window
// procedure finds it through the window's user data.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host.h"

static const WCHAR kClassName[] = L"Nuklear-Cross";
enum { HOST_ICON_RESOURCE = 101 };
static const UINT HOST_BASE_DPI = 96;   // the dpi at which a logical pixel is a device pixel
static const DWORD kExStyle = WS_EX_APPWINDOW;

static DWORD host_style(int32_t mode) {
    switch (mode) {
    case HOST_MODE_WINDOWED: return WS_OVERLAPPEDWINDOW;
    case HOST_MODE_DESKTOP: return WS_POPUP;
    default: return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;   // fixed, and full screen before the switch
    }
}

// The title buffer holds 127 units and the terminator. A longer title is cut,
// but never between the two halves of a surrogate pair.
static void host_copy_title(WCHAR *out, int capacity, const char *title) {
    out[0] = 0;
    if (!title) return;
    int length = (int)strlen(title) + 1;
    int needed = MultiByteToWideChar(CP_ACP, 0, title, length, NULL, 0);
    if (needed <= 0) return;
    if (needed <= capacity) {
        MultiByteToWideChar(CP_ACP, 0, title, length, out, capacity);
        return;
    }
    WCHAR *whole = (WCHAR *)malloc((size_t)needed * sizeof(WCHAR));
    if (!whole) return;
    MultiByteToWideChar(CP_ACP, 0, title, length, whole, needed);
    int keep = capacity - 1;
    if (IS_HIGH_SURROGATE(whole[keep - 1])) keep--;
    memcpy(out, whole, (size_t)keep * sizeof(WCHAR));
    out[keep] = 0;
    free(whole);
}

// --- the display's scale ----------------------------------------------------------
// The manifest makes the program per-monitor aware, so Windows leaves scaling
// to it and hands it device pixels. The functions that know a window's own dpi
// came with Windows 10 1607; they are looked up, so that earlier Windows (one
// dpi for the whole system) still start the program.

static FARPROC host_user32(const char *name) { return GetProcAddress(GetModuleHandleA("user32.dll"), name); }

static UINT host_system_dpi(void) {
    HDC screen = GetDC(NULL);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(NULL, screen);
    return dpi > 0 ? (UINT)dpi : HOST_BASE_DPI;
}

UINT host_window_dpi(HWND window) {
    typedef UINT(WINAPI * DpiForWindow)(HWND);
    DpiForWindow dpi_for = (DpiForWindow)(void (*)(void))host_user32("GetDpiForWindow");
    UINT dpi = dpi_for && window ? dpi_for(window) : 0;
    return dpi ? dpi : host_system_dpi();
}

// The outer frame around a client rectangle, with the frame's own parts
// (caption, borders) measured at `dpi`.
static void host_adjust_frame(RECT *frame, DWORD style, UINT dpi) {
    typedef BOOL(WINAPI * AdjustForDpi)(RECT *, DWORD, BOOL, DWORD, UINT);
    AdjustForDpi adjust = (AdjustForDpi)(void (*)(void))host_user32("AdjustWindowRectExForDpi");
    if (!adjust || !adjust(frame, style, FALSE, kExStyle, dpi)) AdjustWindowRectEx(frame, style, FALSE, kExStyle);
}

static double host_dpi_scale(UINT dpi) { return (double)dpi / HOST_BASE_DPI; }

// The frame Windows draws may differ from the one computed for a dpi (a
// process the system does not treat as aware, a frame drawn by Wine): the
// client area is measured and the window grown or shrunk by what is missing.
static void host_fit_client(HWND window, int32_t width, int32_t height) {
    RECT client, outer;
    if (!GetClientRect(window, &client) || (client.right == width && client.bottom == height)) return;
    GetWindowRect(window, &outer);
    SetWindowPos(window, NULL, 0, 0, outer.right - outer.left + width - client.right,
                 outer.bottom - outer.top + height - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void host_follow_dpi(HostWindow *host, UINT dpi, const RECT *suggested) {
    // Full-screen mode switched the display to the logical size: its pixels
    // are the logical ones whatever the dpi.
    if (!dpi || host->shared.mode == HOST_MODE_FULLSCREEN) return;
    const double scale = host_dpi_scale(dpi);
    host->shared.scale = scale;
    host->gdip.scale = (float)scale;
    const int32_t width = draw_device_pixels(host->shared.logical_width, scale);
    const int32_t height = draw_device_pixels(host->shared.logical_height, scale);
    if (host->shared.mode == HOST_MODE_DESKTOP) {
        // The window stays the screen; only the frame it stretches is redrawn finer.
        gdip_resize(&host->gdip, host->hwnd, (unsigned)width, (unsigned)height);
    } else {
        RECT frame = {0, 0, width, height}, placed;
        host_adjust_frame(&frame, (DWORD)GetWindowLongW(host->hwnd, GWL_STYLE), dpi);
        if (suggested)
            placed = *suggested;
        else
            GetWindowRect(host->hwnd, &placed);
        SetWindowPos(host->hwnd, NULL, placed.left, placed.top, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        host_fit_client(host->hwnd, width, height);
        // The size may not have changed (nor WM_SIZE come), while the scale has.
        RECT client;
        GetClientRect(host->hwnd, &client);
        gdip_resize(&host->gdip, host->hwnd, (unsigned)client.right, (unsigned)client.bottom);
    }
    host->pending = 1;
}

static void host_release_font(struct nk_user_font *font) { gdip_font_free((GdipFont *)font); }

// The new font becomes the record's current one, also when it is null, and
// Nuklear's when it is not.
static HostFont *host_adopt_font(HostWindow *host, GdipFont *font) {
    host->font = font;
    if (font) gdip_set_font(host->ctx, font);
    host_use_font(host->ctx, &host->shared, font ? &font->user_font : NULL, host_release_font);
    return font;
}

// Undoes a half-finished host_init. The window procedure is swapped out first:
// its WM_DESTROY would post the quit message, and a pending quit closes the
// error box that the caller is about to show before the user can read it.
static struct nk_context *host_abandon(HWND window, HINSTANCE module) {
    if (window) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, (LONG_PTR)DefWindowProcW);
        DestroyWindow(window);
    }
    UnregisterClassW(kClassName, module);
    return NULL;
}

struct nk_context *host_init(HostWindow *host, const char *title, int32_t width, int32_t height, int32_t mode) {
    host_copy_title(host->title, (int)(sizeof host->title / sizeof host->title[0]), title);

    host->shared.mode = mode;
    host->shared.logical_width = width;
    host->shared.logical_height = height;

    // The client area is the logical size at the display's scale: 750 x 335
    // for 500 x 223 at 144 dpi. Full-screen mode switches the display to the
    // logical size, whose pixels then are the logical ones.
    const UINT dpi = mode == HOST_MODE_FULLSCREEN ? HOST_BASE_DPI : host_system_dpi();
    const double scale = host->shared.scale = host_dpi_scale(dpi);
    DWORD style = host_style(mode);
    const int32_t frame_width = draw_device_pixels(width, scale), frame_height = draw_device_pixels(height, scale);
    RECT frame = {0, 0, frame_width, frame_height};
    host->shared.output_width = width;
    host->shared.output_height = height;
    int32_t screen_width = 0, screen_height = 0;
    if (mode == HOST_MODE_DESKTOP) {
        screen_width = GetSystemMetrics(SM_CXSCREEN);
        screen_height = GetSystemMetrics(SM_CYSCREEN);
        frame.right = host->shared.output_width = screen_width;
        frame.bottom = host->shared.output_height = screen_height;
    }

    HINSTANCE module = GetModuleHandleW(NULL);
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = host_wndproc;
    wc.hInstance = module;
    wc.hIcon = LoadIconA(module, MAKEINTRESOURCEA(HOST_ICON_RESOURCE));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc)) return NULL;

    host_adjust_frame(&frame, style, dpi);
    int32_t outer_width = frame.right - frame.left;
    int32_t outer_height = frame.bottom - frame.top;

    // Centred in the rectangle from the screen's origin to the work area's far
    // edges; a taskbar at the left or top shifts nothing. C division truncates
    // toward zero, so an oversized window at -7 lands at -3.
    RECT work = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int32_t x = (work.right - outer_width) / 2;
    int32_t y = (work.bottom - outer_height) / 2;

    // Files may be dropped on the window from the start; the shell, which
    // reads the drop, is loaded only when one comes (host_drop_files).
    host->hwnd = CreateWindowExW(kExStyle | WS_EX_ACCEPTFILES, kClassName, host->title, style | WS_VISIBLE, x, y, outer_width,
                                 outer_height, NULL, NULL, module, host);
    if (!host->hwnd) return host_abandon(NULL, module);

    if (mode == HOST_MODE_DESKTOP)
        SetWindowPos(host->hwnd, NULL, 0, 0, screen_width, screen_height, SWP_FRAMECHANGED);
    else if (mode == HOST_MODE_FULLSCREEN)
        host_set_fullscreen(host, host->hwnd, width, height);
    else
        host_fit_client(host->hwnd, frame_width, frame_height);

    host->pending = 1;

    if (!gdip_init(&host->gdip, host->hwnd, (unsigned)width, (unsigned)height, (float)scale) ||
        !(host->ctx = host_start_nuklear(host))) {
        host->ctx = NULL;
        gdip_shutdown(&host->gdip);
        HWND window = host->hwnd;
        host->hwnd = NULL;
        return host_abandon(window, module);
    }
    host_adopt_font(host, gdip_font_create(&host->gdip, "Arial", 12));
    // A window that Windows placed on a monitor scaled otherwise than the
    // system takes that monitor's scale at once.
    const UINT window_dpi = host_window_dpi(host->hwnd);
    if (window_dpi != dpi) host_follow_dpi(host, window_dpi, NULL);
    return host->ctx;
}

int32_t host_set_fullscreen(HostWindow *host, HWND window, int32_t width, int32_t height) {
    SetWindowRgn(window, NULL, FALSE);

    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(NULL, 0, &mode);
    mode.dmBitsPerPel = 32;
    mode.dmPelsWidth = (DWORD)width;
    mode.dmPelsHeight = (DWORD)height;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return 0;

    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) & ~WS_CAPTION);
    SetWindowPos(window, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    InvalidateRect(window, NULL, TRUE);
    // The screen is now the window, at the size asked for.
    host->shared.output_width = width;
    host->shared.output_height = height;
    return 1;
}

// A cut text must still be valid in the ANSI code page: a lead byte without its
// trail would show as a stray glyph. At most three bytes are given back (the
// longest tail a cut can leave); if the text is still not clean, the fault lies
// elsewhere in it and the cut stays where vsnprintf put it.
static void host_trim_partial_character(char *text, size_t length) {
    size_t cut = length;
    for (int tries = 0; tries < 3 && cut > 0; tries++) {
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, (int)cut, NULL, 0) > 0) {
            text[cut] = 0;
            return;
        }
        cut--;
    }
}

void host_show_error(char *text, int cut) {
    if (cut) host_trim_partial_character(text, strlen(text));
    MessageBoxA(NULL, text, "Error", MB_ICONERROR);
}

void host_shutdown(HostWindow *host) {
    host_access_shutdown(host);
    host_release_shared(&host->shared, host->font ? &host->font->user_font : NULL, host_release_font);
    host->font = NULL;
    gdip_shutdown(&host->gdip);
    if (host->ctx) nk_free(host->ctx);
    host->ctx = NULL;
    if (host->dialogs) FreeLibrary(host->dialogs);
    host->dialogs = NULL;
    if (host->shell) FreeLibrary(host->shell);
    host->shell = NULL;
    UnregisterClassW(kClassName, GetModuleHandleW(NULL));
}


HostFont *host_load_font_memory(HostWindow *host, const void *data, int32_t size, float height) {
    return host_adopt_font(host, gdip_font_from_memory(&host->gdip, data, size, host_font_pixels(height)));
}

HostFont *host_load_font_file(HostWindow *host, const char *path, float height) {
    wchar_t *wide = gdip_widen_path(path);
    GdipFont *font = wide ? gdip_font_from_file(&host->gdip, wide, host_font_pixels(height)) : NULL;
    free(wide);
    return host_adopt_font(host, font);
}

float host_window_scale(const HostWindow *host) { return (float)host->shared.scale; }
