// The Win32 host's record: everything the host and its GDI+ backend keep
// between calls, reached from the one HostWindow that main owns.
#pragma once

#include <stdint.h>
#include <windows.h>
#include <shellapi.h>   // HDROP

#include "gdip/gdip.h"
#include "host/host_shared.h"
#include "render/draw.h"

typedef GdipFont HostFont;

struct HostWindow {
    struct nk_context *ctx;   // &context once host_init succeeded, else null
    GdipFont *font;           // current UI font, released by host_shutdown
    HWND hwnd;
    WCHAR title[128];         // UTF-16, terminated
    int32_t pending;          // 1: the next poll must not block

    HostShared shared;
    HMODULE dialogs;          // comdlg32, loaded by the first file dialog
    HMODULE shell;            // shell32, loaded by the first dropped file
    struct nk_context context;
    GdipBackend gdip;
};

LRESULT CALLBACK host_wndproc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int32_t host_set_fullscreen(HostWindow *host, HWND window, int32_t width, int32_t height);
// The window's dpi: its monitor's where Windows tells it (10 1607 and later),
// else the system's.
UINT host_window_dpi(HWND window);
// Makes the client area and the back buffer those of the logical size at
// `dpi` (WM_DPICHANGED, or a window created on a monitor scaled otherwise),
// placed at `suggested`'s top-left corner when given, else where it is.
void host_follow_dpi(HostWindow *host, UINT dpi, const RECT *suggested);
// Turns one window message into Nuklear input, or keeps the back buffer in step
// with size and paint messages. Returns 1 when the message was handled.
int host_handle_event(HostWindow *host, UINT message, WPARAM wparam, LPARAM lparam);
// Takes the first file of a WM_DROPFILES for the panel and releases the drop.
void host_drop_files(HostWindow *host, HDROP drop);
