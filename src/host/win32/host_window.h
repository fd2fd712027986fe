// The Win32 host's record and module state.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "gdip/gdip.h"

typedef GdipFont HostFont;

struct HostWindow {
    struct nk_context *ctx;   // the backend's context; the record only refers to it
    GdipFont *font;           // current UI font, released by host_shutdown
    HWND hwnd;
    WCHAR title[128];         // UTF-16, terminated
    int32_t pending;          // 1: the next poll must not block
};

// One window per process: the mode and sizes given to host_init.
extern int32_t host_mode;
extern int32_t host_logical_width, host_logical_height;
extern int32_t host_output_width, host_output_height;

LRESULT CALLBACK host_wndproc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int32_t host_set_fullscreen(HostWindow *host, HWND window, int32_t width, int32_t height);
