// The Win32 host's record: everything the host and its GDI+ backend keep
// between calls, reached from the one HostWindow that main owns.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "gdip/gdip.h"

typedef GdipFont HostFont;

struct HostWindow {
    struct nk_context *ctx;   // &context once host_init succeeded, else null
    GdipFont *font;           // current UI font, released by host_shutdown
    HWND hwnd;
    WCHAR title[128];         // UTF-16, terminated
    int32_t pending;          // 1: the next poll must not block

    int32_t mode;                            // HOST_MODE_* given to host_init
    int32_t logical_width, logical_height;   // the size Nuklear lays out in
    int32_t output_width, output_height;     // the client area's size on screen
    // The font Nuklear draws with, as far as the host set it. It differs from
    // `font` only after a font load failed: `font` then holds null while
    // Nuklear still uses the previous font, which must outlive every frame.
    GdipFont *nuklear_font;
    char *chosen_path;                       // the file chooser's last result

    struct nk_context context;
    GdipBackend gdip;
};

LRESULT CALLBACK host_wndproc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int32_t host_set_fullscreen(HostWindow *host, HWND window, int32_t width, int32_t height);
// Turns one window message into Nuklear input, or keeps the back buffer in step
// with size and paint messages. Returns 1 when the message was handled.
int host_handle_event(HostWindow *host, UINT message, WPARAM wparam, LPARAM lparam);
