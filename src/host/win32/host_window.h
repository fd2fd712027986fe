// The Win32 host's record: everything the host and its GDI+ backend keep
// between calls, reached from the one HostWindow that main owns.
#pragma once

#include <stdint.h>
#include <windows.h>
#include <shellapi.h>   // HDROP

#include "gdip/gdip.h"
#include "host/host_shared.h"
#include "render/draw.h"
#include "ui/access.h"

typedef GdipFont HostFont;

// The window as screen readers see it (access.cpp). Nothing of it exists
// until the first one asks: start-up loads no accessibility library.
struct HostAccess {
    struct AccessLink *link;       // shared with every object handed out; null until asked, and once the window is gone
    HMODULE ole, oleaut, oleacc;   // loaded by the first WM_GETOBJECT
    int32_t apartment;             // 1: COM started on this thread for the objects, to be stopped at shutdown
    AccessTree told;               // the panel as hooked clients were last told of it
};

struct HostWindow {
    struct nk_context *ctx;   // &context once host_init succeeded, else null
    GdipFont *font;           // current UI font, released by host_shutdown
    HWND hwnd;
    WCHAR title[128];         // UTF-16, terminated
    int32_t pending;          // 1: the next poll must not block

    HostShared shared;
    HMODULE dialogs;          // comdlg32, loaded by the first file dialog
    HMODULE shell;            // shell32, loaded by the first dropped file
    HostAccess access;
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

// WM_GETOBJECT: the client area's IAccessible for OBJID_CLIENT, loading what
// it needs on the first request; 0 for any other object, which the default
// window procedure answers.
LRESULT host_access_object(HostWindow *host, WPARAM wparam, LPARAM lparam);
// After each frame, once a client has asked: WinEvents for what changed.
void host_access_tell(HostWindow *host);
// The window is going: objects still held by clients answer that it is gone.
void host_access_disconnect(HostWindow *host);
// At shutdown: stops what the first request started and unloads its libraries.
void host_access_shutdown(HostWindow *host);
