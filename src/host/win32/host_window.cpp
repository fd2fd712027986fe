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

#include "host/clipboard.h"
#include "host/host.h"

static const WCHAR kClassName[] = L"Nuklear-Cross";
enum { HOST_ICON_RESOURCE = 101 };

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

    host->mode = mode;
    host->logical_width = width;
    host->logical_height = height;

    DWORD style = host_style(mode);
    RECT frame = {0, 0, width, height};
    int32_t screen_width = 0, screen_height = 0;
    if (mode == HOST_MODE_DESKTOP) {
        screen_width = GetSystemMetrics(SM_CXSCREEN);
        screen_height = GetSystemMetrics(SM_CYSCREEN);
        frame.right = screen_width;
        frame.bottom = screen_height;
    }
    host->output_width = frame.right;
    host->output_height = frame.bottom;

    HINSTANCE module = GetModuleHandleW(NULL);
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = host_wndproc;
    wc.hInstance = module;
    wc.hIcon = LoadIconA(module, MAKEINTRESOURCEA(HOST_ICON_RESOURCE));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc)) return NULL;

    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW);
    int32_t outer_width = frame.right - frame.left;
    int32_t outer_height = frame.bottom - frame.top;

    // Centred in the rectangle from the screen's origin to the work area's far
    // edges; a taskbar at the left or top shifts nothing. C division truncates
    // toward zero, so an oversized window at -7 lands at -3.
    RECT work = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int32_t x = (work.right - outer_width) / 2;
    int32_t y = (work.bottom - outer_height) / 2;

    host->hwnd = CreateWindowExW(WS_EX_APPWINDOW, kClassName, host->title, style | WS_VISIBLE, x, y, outer_width,
                                 outer_height, NULL, NULL, module, host);
    if (!host->hwnd) return host_abandon(NULL, module);

    if (mode == HOST_MODE_DESKTOP)
        SetWindowPos(host->hwnd, NULL, 0, 0, screen_width, screen_height, SWP_FRAMECHANGED);
    else if (mode == HOST_MODE_FULLSCREEN)
        host_set_fullscreen(host, host->hwnd, width, height);

    host->pending = 1;

    if (!gdip_init(&host->gdip, host->hwnd, (unsigned)width, (unsigned)height) ||
        !nk_init_default(&host->context, NULL)) {
        gdip_shutdown(&host->gdip);
        HWND window = host->hwnd;
        host->hwnd = NULL;
        return host_abandon(window, module);
    }
    host->context.clip.copy = host_clipboard_copy;
    host->context.clip.paste = host_clipboard_paste;
    host->context.clip.userdata = nk_handle_ptr(host);
    host->ctx = &host->context;

    host->font = gdip_font_create(&host->gdip, "Arial", 12);
    host->nuklear_font = host->font;
    if (host->font) gdip_set_font(host->ctx, host->font);
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
    host->output_width = width;
    host->output_height = height;
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

int32_t host_fatal(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) text[0] = 0;
    else if ((size_t)written >= sizeof text) host_trim_partial_character(text, sizeof text - 1);
    MessageBoxA(NULL, text, "Error", MB_ICONERROR);
    return 0;
}

void host_shutdown(HostWindow *host) {
    if (host->nuklear_font && host->nuklear_font != host->font) gdip_font_free(host->nuklear_font);
    host->nuklear_font = NULL;
    if (host->font) gdip_font_free(host->font);
    host->font = NULL;
    gdip_shutdown(&host->gdip);
    if (host->ctx) nk_free(host->ctx);
    host->ctx = NULL;
    free(host->chosen_path);
    host->chosen_path = NULL;
    UnregisterClassW(kClassName, GetModuleHandleW(NULL));
}

// A new font replaces the one Nuklear used, which is released as soon as it is
// no longer Nuklear's. Fonts are loaded between frames, so no text command of
// a pending frame still points at the old one.
static HostFont *host_adopt_font(HostWindow *host, GdipFont *font) {
    host->font = font;
    if (!font) return NULL;
    gdip_set_font(host->ctx, font);
    if (host->nuklear_font && host->nuklear_font != font) gdip_font_free(host->nuklear_font);
    host->nuklear_font = font;
    return font;
}

HostFont *host_load_font_memory(HostWindow *host, const void *data, int32_t size, float height) {
    return host_adopt_font(host, gdip_font_from_memory(&host->gdip, data, size, host_font_pixels(height)));
}

// Paths are ANSI code-page strings everywhere else; GDI+ wants UTF-16.
static wchar_t *host_widen_path(const char *path) {
    int units = MultiByteToWideChar(CP_ACP, 0, path, -1, NULL, 0);
    if (units <= 0) return NULL;
    wchar_t *wide = (wchar_t *)malloc((size_t)units * sizeof(wchar_t));
    if (wide && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, units) != units) {
        free(wide);
        wide = NULL;
    }
    return wide;
}

HostFont *host_load_font_file(HostWindow *host, const char *path, float height) {
    wchar_t *wide = host_widen_path(path);
    GdipFont *font = wide ? gdip_font_from_file(&host->gdip, wide, host_font_pixels(height)) : NULL;
    free(wide);
    return host_adopt_font(host, font);
}

// Images are GDI+ objects: none before the host has started GDI+.
struct nk_image host_load_image_memory(HostWindow *host, const void *data, uint32_t size) {
    if (!host->ctx) return nk_image_id(0);
    return gdip_load_image_memory(data, size);
}

struct nk_image host_load_image_file(HostWindow *host, const char *path) {
    if (!host->ctx) return nk_image_id(0);
    wchar_t *wide = host_widen_path(path);
    struct nk_image image = wide ? gdip_load_image_file(wide) : nk_image_id(0);
    free(wide);
    return image;
}

void host_free_image(struct nk_image *image) {
    gdip_image_free(image);
    image->w = 0;
    image->h = 0;
}
