// The event pump and input translation: host_poll_events brackets one frame's
// input and sleeps in GetMessageW when the last frame saw nothing;
// host_wndproc handles destruction and desktop-mode scaling; gdip_handle_event
// turns keys, characters, buttons, motion and the wheel into Nuklear input and
// keeps the backend's back buffer in step with size and paint messages.
//
// Left out: keys held while the window loses the focus stay down in Nuklear
// until their release reaches the window. The window class asks for no double
// clicks, so a quick second click arrives as a plain press and
// NK_BUTTON_DOUBLE never goes down in practice.
#include "host/host.h"

HostEvent host_poll_events(HostWindow *host) {
    HostEvent event;
    MSG msg;
    nk_input_begin(host->ctx);

    if (host->pending) {
        host->pending = 0;
        event.type = HOST_EVENT_NONE;
    } else {
        // The message that ends the wait is not examined: a key-down taken here
        // does not make the poll report it.
        event.type = HOST_EVENT_QUIT;
        if (GetMessageW(&msg, NULL, 0, 0) > 0) {
            event.type = HOST_EVENT_NONE;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        host->pending = 1;
    }
    event.code = HOST_CODE_NONE;

    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            event.type = HOST_EVENT_QUIT;
            event.code = HOST_CODE_NONE;
        } else if (msg.message == WM_KEYDOWN) {
            event.type = HOST_EVENT_KEY_DOWN;
            event.code = (int32_t)msg.wParam;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        host->pending = 1;
    }

    nk_input_end(host->ctx);
    return event;
}

// In desktop mode the window covers the screen while Nuklear lays out in the
// logical size, so positions are brought back to logical units. The window
// starts at the screen's origin, so its coordinates are read as unsigned.
static LPARAM host_scale_position(LPARAM lparam) {
    if (host_output_width <= 0 || host_output_height <= 0) return lparam;
    int32_t x = (int32_t)LOWORD(lparam) * host_logical_width / host_output_width;
    int32_t y = (int32_t)HIWORD(lparam) * host_logical_height / host_output_height;
    return (LPARAM)(((uint32_t)x & 0xFFFFu) | ((uint32_t)y << 16));
}

LRESULT CALLBACK host_wndproc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (host_mode == HOST_MODE_DESKTOP) {
        // The back buffer keeps the logical size and is stretched on output.
        if (message == WM_SIZE) return 0;
        if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) lparam = host_scale_position(lparam);
    }
    if (gdip_handle_event(window, message, wparam, lparam)) return 0;
    return DefWindowProcW(window, message, wparam, lparam);
}

// --- translation into Nuklear input ------------------------------------------------

// Editing and shortcut keys only; characters come through WM_CHAR. Returns 0
// for keys Nuklear does not get, so the default procedure keeps Alt+F4, F10
// and the rest.
static int translate_key(struct nk_context *ctx, WPARAM key, int down) {
    int ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    switch (key) {
    case VK_BACK: nk_input_key(ctx, NK_KEY_BACKSPACE, down); return 1;
    case VK_TAB: nk_input_key(ctx, NK_KEY_TAB, down); return 1;
    case VK_RETURN: nk_input_key(ctx, NK_KEY_ENTER, down); return 1;
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT: nk_input_key(ctx, NK_KEY_SHIFT, down); return 1;
    case VK_PRIOR: nk_input_key(ctx, NK_KEY_SCROLL_UP, down); return 1;
    case VK_NEXT: nk_input_key(ctx, NK_KEY_SCROLL_DOWN, down); return 1;
    case VK_END:
        nk_input_key(ctx, NK_KEY_TEXT_END, down);
        nk_input_key(ctx, NK_KEY_SCROLL_END, down);
        return 1;
    case VK_HOME:
        nk_input_key(ctx, NK_KEY_TEXT_START, down);
        nk_input_key(ctx, NK_KEY_SCROLL_START, down);
        return 1;
    case VK_LEFT: nk_input_key(ctx, ctrl ? NK_KEY_TEXT_WORD_LEFT : NK_KEY_LEFT, down); return 1;
    case VK_RIGHT: nk_input_key(ctx, ctrl ? NK_KEY_TEXT_WORD_RIGHT : NK_KEY_RIGHT, down); return 1;
    case VK_DELETE: nk_input_key(ctx, NK_KEY_DEL, down); return 1;
    }
    if (!ctrl) return 0;
    switch (key) {
    case 'C': nk_input_key(ctx, NK_KEY_COPY, down); return 1;
    case 'R': nk_input_key(ctx, NK_KEY_TEXT_REDO, down); return 1;
    case 'V': nk_input_key(ctx, NK_KEY_PASTE, down); return 1;
    case 'X': nk_input_key(ctx, NK_KEY_CUT, down); return 1;
    case 'Z': nk_input_key(ctx, NK_KEY_TEXT_UNDO, down); return 1;
    }
    return 0;
}

// Capture follows every press and release, whether or not Nuklear's state
// changed, so a drag that leaves the window still ends in it.
static void press(struct nk_context *ctx, HWND window, enum nk_buttons button, int x, int y) {
    nk_input_button(ctx, button, x, y, 1);
    SetCapture(window);
}

static void release(struct nk_context *ctx, enum nk_buttons button, int x, int y) {
    nk_input_button(ctx, button, x, y, 0);
    ReleaseCapture();
}

int gdip_handle_event(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    struct nk_context *ctx = &gdip.context;
    // Positions are signed: with the capture held the pointer may be left of
    // or above the window.
    int x = (short)LOWORD(lparam);
    int y = (short)HIWORD(lparam);

    switch (message) {
    case WM_SIZE:
        gdip_resize(window, LOWORD(lparam), HIWORD(lparam));
        return 0;

    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        gdip_paint(dc);
        EndPaint(window, &paint);
        return 1;
    }

    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return translate_key(ctx, wparam, (lparam & 0x80000000u) ? 0 : 1);

    case WM_CHAR:
        // Control characters also arrive as keys (Backspace, Tab, Enter) or
        // are shortcuts (Ctrl+C is 3); only printable units are text.
        if (wparam < 32) return 0;
        nk_input_unicode(ctx, (nk_rune)wparam);
        return 1;

    case WM_MOUSEMOVE: nk_input_motion(ctx, x, y); return 1;
    case WM_LBUTTONDOWN: press(ctx, window, NK_BUTTON_LEFT, x, y); return 1;
    case WM_LBUTTONUP:
        nk_input_button(ctx, NK_BUTTON_DOUBLE, x, y, 0);
        release(ctx, NK_BUTTON_LEFT, x, y);
        return 1;
    case WM_LBUTTONDBLCLK: nk_input_button(ctx, NK_BUTTON_DOUBLE, x, y, 1); return 1;
    case WM_RBUTTONDOWN: press(ctx, window, NK_BUTTON_RIGHT, x, y); return 1;
    case WM_RBUTTONUP: release(ctx, NK_BUTTON_RIGHT, x, y); return 1;
    case WM_MBUTTONDOWN: press(ctx, window, NK_BUTTON_MIDDLE, x, y); return 1;
    case WM_MBUTTONUP: release(ctx, NK_BUTTON_MIDDLE, x, y); return 1;

    case WM_MOUSEWHEEL: nk_input_scroll(ctx, nk_vec2(0, (float)(short)HIWORD(wparam) / 120.0f)); return 1;
    }
    return 0;
}
