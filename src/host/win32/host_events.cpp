// The event pump and input translation: host_poll_events brackets one frame's
// input and sleeps in GetMessageW when the last frame saw nothing;
// host_wndproc finds the host record, handles destruction and desktop-mode
// scaling; host_handle_event turns keys, characters, buttons, motion and the
// wheel into Nuklear input and keeps the backend's back buffer in step with
// size and paint messages.
//
// Left out: keys held while the window loses the focus stay down in Nuklear
// until their release reaches the window. The window class asks for no double
// clicks, so a quick second click arrives as a plain press and
// NK_BUTTON_DOUBLE never goes down in practice.
#include "host/host.h"
#include "host/input.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

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

// The record comes with the window's creation (host_init passes it as the
// creation parameter) and stays in the window's user data; the few messages
// before WM_NCCREATE go to the default procedure.
LRESULT CALLBACK host_wndproc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        HostWindow *created = (HostWindow *)((CREATESTRUCTW *)lparam)->lpCreateParams;
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)created);
        if (created) created->hwnd = window;
    }
    HostWindow *host = (HostWindow *)GetWindowLongPtrW(window, GWLP_USERDATA);
    if (message == WM_DESTROY) {
        if (host) host_access_disconnect(host);
        PostQuitMessage(0);
        return 0;
    }
    if (!host) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_GETOBJECT) {
        const LRESULT object = host_access_object(host, wparam, lparam);
        if (object) return object;
    }
    // In desktop mode the back buffer keeps the logical size and is stretched
    // on output (the translator brings positions back).
    if (host->shared.mode == HOST_MODE_DESKTOP && message == WM_SIZE) return 0;
    if (host_handle_event(host, message, wparam, lparam)) return 0;
    return DefWindowProcW(window, message, wparam, lparam);
}

// --- translation into Nuklear input ------------------------------------------------

// Editing and shortcut keys only; characters come through WM_CHAR.
static enum HostKey host_key(WPARAM key) {
    switch (key) {
    case VK_BACK: return HOST_KEY_BACKSPACE;
    case VK_TAB: return HOST_KEY_TAB;
    case VK_RETURN: return HOST_KEY_ENTER;
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT: return HOST_KEY_SHIFT;
    case VK_PRIOR: return HOST_KEY_PAGE_UP;
    case VK_NEXT: return HOST_KEY_PAGE_DOWN;
    case VK_END: return HOST_KEY_END;
    case VK_HOME: return HOST_KEY_HOME;
    case VK_LEFT: return HOST_KEY_LEFT;
    case VK_RIGHT: return HOST_KEY_RIGHT;
    case VK_DELETE: return HOST_KEY_DELETE;
    case VK_SPACE: return HOST_KEY_SPACE;
    case VK_ESCAPE: return HOST_KEY_ESCAPE;
    case VK_UP: return HOST_KEY_UP;
    case VK_DOWN: return HOST_KEY_DOWN;
    case 'O': return HOST_KEY_O;
    case 'C': return HOST_KEY_C;
    case 'R': return HOST_KEY_R;
    case 'V': return HOST_KEY_V;
    case 'X': return HOST_KEY_X;
    case 'Z': return HOST_KEY_Z;
    default: return HOST_KEY_OTHER;
    }
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

int host_handle_event(HostWindow *host, UINT message, WPARAM wparam, LPARAM lparam) {
    struct nk_context *ctx = &host->context;
    HWND window = host->hwnd;
    // Positions are signed: with the capture held the pointer may be left of
    // or above the window. They arrive in device pixels; Nuklear lays out in
    // logical ones (in desktop mode, over the stretched frame).
    int x, y;
    host_logical_position(&host->shared, (short)LOWORD(lparam), (short)HIWORD(lparam), host->shared.scale, &x, &y);

    switch (message) {
    case WM_SIZE:
        gdip_resize(&host->gdip, window, LOWORD(lparam), HIWORD(lparam));
        return 0;

    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        gdip_paint(&host->gdip, dc);
        EndPaint(window, &paint);
        return 1;
    }

    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
        const int ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0, down = (lparam & 0x80000000u) ? 0 : 1;
        if (down && message == WM_KEYDOWN &&
            host_panel_key(host_key(wparam), ctrl, (GetKeyState(VK_SHIFT) & 0x8000) != 0)) {
            host->pending = 1;
            return 1;
        }
        return host_input_key(ctx, host_key(wparam), ctrl, down);
    }

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

    case WM_DROPFILES: host_drop_files(host, (HDROP)wparam); return 1;

    // Moved to a monitor scaled otherwise: Windows suggests where the window goes.
    case WM_DPICHANGED: host_follow_dpi(host, LOWORD(wparam), (const RECT *)lparam); return 1;
    }
    return 0;
}
