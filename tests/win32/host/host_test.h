// Shared pieces of the host tests: a fixture that opens the real window and
// closes it the way the patcher ends, and a watcher that dismisses the modal
// boxes and dialogs the code under test opens on the test's own thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "host/host.h"

inline constexpr const char *kTitle = "Quelmor: Kelm patcher build 240512";

class HostTest : public ::testing::Test {
protected:
    HostWindow host{};
    struct nk_context *ctx = nullptr;

    void open(int32_t mode, int32_t width = 500, int32_t height = 223, const char *title = kTitle) {
        close();
        host = HostWindow{};
        ctx = host_init(&host, title, width, height, mode);
        ASSERT_NE(ctx, nullptr);
    }

    // The window is gone before host_shutdown, as when the user has closed
    // it; the class cannot be unregistered while a window of it exists.
    void close() {
        if (!ctx) return;
        if (IsWindow(host.hwnd)) DestroyWindow(host.hwnd);
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {}   // the quit message, among others
        host_shutdown(&host);
        ctx = nullptr;
    }

    void TearDown() override { close(); }

    // Polls until one poll drains nothing, so that the next one would block.
    // Never blocks itself: a poll entered with `pending` set does not wait.
    void settle() {
        for (int i = 0; i < 200 && host.pending; i++) host_poll_events(&host);
        ASSERT_EQ(host.pending, 0) << "the window keeps receiving messages";
    }

    HostEvent post_and_poll(UINT message, WPARAM wparam, LPARAM lparam) {
        PostMessageW(host.hwnd, message, wparam, lparam);
        return host_poll_events(&host);
    }

    const nk_input &input() const { return ctx->input; }
    const nk_key &key(nk_keys which) const { return ctx->input.keyboard.keys[which]; }
    std::string text() const { return std::string(ctx->input.keyboard.text, (size_t)ctx->input.keyboard.text_len); }
};

// Ctrl as GetKeyState sees it on this thread, for the lifetime of the object.
struct CtrlHeld {
    CtrlHeld() { set(true); }
    ~CtrlHeld() { set(false); }
    static void set(bool down) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
};

// Waits on a helper thread for a visible dialog box (class "#32770") of the
// thread that created the watcher, records its caption and message text, runs
// `prepare` on it, then dismisses it with WM_COMMAND `command` (WM_CLOSE if
// that does not close it). Gives up after `timeout_ms`, so no test can hang.
class DialogWatcher {
public:
    explicit DialogWatcher(WPARAM command, std::function<void(HWND)> prepare = {}, DWORD timeout_ms = 15000)
        : owner_(GetCurrentThreadId()), command_(command), prepare_(std::move(prepare)), timeout_(timeout_ms),
          worker_([this] { run(); }) {}
    ~DialogWatcher() { join(); }

    void join() {
        if (worker_.joinable()) worker_.join();
    }

    bool found = false;
    std::string caption, text;

private:
    static BOOL CALLBACK match(HWND window, LPARAM out) {
        char name[16];
        if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) && strcmp(name, "#32770") == 0) {
            *(HWND *)out = window;
            return FALSE;
        }
        return TRUE;
    }

    bool wait_gone(HWND dialog, DWORD ms) {
        for (DWORD waited = 0; waited < ms; waited += 20) {
            if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return true;
            Sleep(20);
        }
        return false;
    }

    void run() {
        HWND dialog = NULL;
        for (DWORD waited = 0; !dialog && waited < timeout_; waited += 20) {
            EnumThreadWindows(owner_, match, (LPARAM)&dialog);
            if (!dialog) Sleep(20);
        }
        if (!dialog) return;
        found = true;
        Sleep(100);   // let the box finish building its controls
        char buffer[4096];
        GetWindowTextA(dialog, buffer, sizeof buffer);
        caption = buffer;
        buffer[0] = 0;
        GetDlgItemTextA(dialog, 0xFFFF, buffer, sizeof buffer);   // a message box's text control
        text = buffer;
        if (prepare_) prepare_(dialog);
        PostMessageW(dialog, WM_COMMAND, command_, 0);
        if (!wait_gone(dialog, 3000)) PostMessageW(dialog, WM_CLOSE, 0, 0);
    }

    DWORD owner_;
    WPARAM command_;
    std::function<void(HWND)> prepare_;
    DWORD timeout_;
    std::thread worker_;
};
