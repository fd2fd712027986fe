// Messages posted to the real window, pumped by host_poll_events and read
// back from Nuklear's input state: the key table with and without Ctrl,
// characters, buttons and capture, the wheel, and desktop-mode scaling.
#include "host_test.h"
#include "ui/access.h"

#include <atomic>
#include <cstring>

namespace {

// lParam of a key message as the keyboard driver builds it: repeat count 1,
// the scan code, and the previous-state and transition bits for a release.
LPARAM key_lparam(UINT vk, bool down) {
    LPARAM lparam = 1 | ((LPARAM)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16);
    return down ? lparam : lparam | (LPARAM)0xC0000000u;
}

// A translated key goes down with its key-down message and up with its key-up.
void expect_press_and_release(HostWindow *host, const nk_context *ctx, UINT vk, nk_keys nk) {
    SCOPED_TRACE(vk);
    EXPECT_EQ(host_handle_event(host, WM_KEYDOWN, vk, key_lparam(vk, true)), 1);
    EXPECT_EQ(ctx->input.keyboard.keys[nk].down, 1);
    EXPECT_EQ(host_handle_event(host, WM_KEYUP, vk, key_lparam(vk, false)), 1);
    EXPECT_EQ(ctx->input.keyboard.keys[nk].down, 0);
}

LPARAM at(int x, int y) { return MAKELPARAM((WORD)(short)x, (WORD)(short)y); }

}  // namespace

TEST_F(HostTest, KeysWithoutCtrlFollowTheTable) {
    open(HOST_MODE_FIXED);
    settle();

    // After a quiet frame the key-down ends the wait, which does not report it.
    HostEvent event = post_and_poll(WM_KEYDOWN, VK_LEFT, key_lparam(VK_LEFT, true));
    EXPECT_EQ(event.type, HOST_EVENT_NONE);
    EXPECT_EQ(event.code, HOST_CODE_NONE);
    EXPECT_EQ(key(NK_KEY_LEFT).down, 1);
    EXPECT_EQ(key(NK_KEY_LEFT).clicked, 1u);
    EXPECT_EQ(key(NK_KEY_TEXT_WORD_LEFT).down, 0);

    // Two key-downs drained by one poll: the second decides the code.
    PostMessageW(host.hwnd, WM_KEYDOWN, VK_HOME, key_lparam(VK_HOME, true));
    PostMessageW(host.hwnd, WM_KEYDOWN, VK_DELETE, key_lparam(VK_DELETE, true));
    event = host_poll_events(&host);
    EXPECT_EQ(event.type, HOST_EVENT_KEY_DOWN);
    EXPECT_EQ(event.code, VK_DELETE);
    EXPECT_EQ(key(NK_KEY_TEXT_START).down, 1);
    EXPECT_EQ(key(NK_KEY_SCROLL_START).down, 1);
    EXPECT_EQ(key(NK_KEY_DEL).down, 1);

    // An auto-repeated key-down is no new press; bit 31 makes a release.
    post_and_poll(WM_KEYDOWN, VK_DELETE, key_lparam(VK_DELETE, true) | (1 << 30));
    EXPECT_EQ(key(NK_KEY_DEL).down, 1);
    EXPECT_EQ(key(NK_KEY_DEL).clicked, 0u);
    event = post_and_poll(WM_KEYUP, VK_LEFT, key_lparam(VK_LEFT, false));
    EXPECT_EQ(event.type, HOST_EVENT_NONE);
    EXPECT_EQ(event.code, HOST_CODE_NONE);
    EXPECT_EQ(key(NK_KEY_LEFT).down, 0);

    // The system-key messages press and release like the others.
    post_and_poll(WM_SYSKEYDOWN, VK_END, key_lparam(VK_END, true));
    EXPECT_EQ(key(NK_KEY_TEXT_END).down, 1);
    EXPECT_EQ(key(NK_KEY_SCROLL_END).down, 1);
    post_and_poll(WM_SYSKEYUP, VK_END, key_lparam(VK_END, false));
    EXPECT_EQ(key(NK_KEY_TEXT_END).down, 0);
    EXPECT_EQ(key(NK_KEY_SCROLL_END).down, 0);

    struct { UINT vk; nk_keys nk; } plain[] = {
        {VK_BACK, NK_KEY_BACKSPACE}, {VK_RETURN, NK_KEY_ENTER}, {VK_SHIFT, NK_KEY_SHIFT},
        {VK_LSHIFT, NK_KEY_SHIFT}, {VK_RSHIFT, NK_KEY_SHIFT}, {VK_PRIOR, NK_KEY_SCROLL_UP},
        {VK_NEXT, NK_KEY_SCROLL_DOWN}, {VK_RIGHT, NK_KEY_RIGHT},
    };
    for (auto k : plain) expect_press_and_release(&host, ctx, k.vk, k.nk);
    // Tab moves the panel's focus and is Nuklear's no more.
    EXPECT_EQ(host_handle_event(&host, WM_KEYDOWN, VK_TAB, key_lparam(VK_TAB, true)), 1);
    EXPECT_EQ(ctx->input.keyboard.keys[NK_KEY_TAB].down, 0);
    EXPECT_EQ(access_pending(), 1);

    // Untranslated keys go to the default procedure and change nothing.
    nk_key before[NK_KEY_MAX];
    memcpy(before, ctx->input.keyboard.keys, sizeof before);
    for (UINT vk : {(UINT)VK_UP, (UINT)VK_DOWN, (UINT)VK_CONTROL, (UINT)'A', (UINT)'C', (UINT)'V', (UINT)'Z',
                    (UINT)VK_INSERT, (UINT)VK_ESCAPE, (UINT)VK_F1, (UINT)VK_MENU}) {
        SCOPED_TRACE(vk);
        EXPECT_EQ(host_handle_event(&host, WM_KEYDOWN, vk, key_lparam(vk, true)), 0);
    }
    EXPECT_EQ(memcmp(before, ctx->input.keyboard.keys, sizeof before), 0);

    // Without Ctrl, C reaches Nuklear only as the character TranslateMessage makes of it.
    post_and_poll(WM_KEYDOWN, 'C', key_lparam('C', true));
    EXPECT_EQ(key(NK_KEY_COPY).down, 0);
    EXPECT_EQ(text(), "c");
}

TEST_F(HostTest, CtrlTurnsArrowsIntoWordMovesAndLettersIntoShortcuts) {
    open(HOST_MODE_FIXED);
    settle();
    {
        CtrlHeld ctrl;
        ASSERT_TRUE(GetKeyState(VK_CONTROL) & 0x8000) << "the thread's key state does not show Ctrl";

        post_and_poll(WM_KEYDOWN, VK_RIGHT, key_lparam(VK_RIGHT, true));
        EXPECT_EQ(key(NK_KEY_TEXT_WORD_RIGHT).down, 1);
        EXPECT_EQ(key(NK_KEY_RIGHT).down, 0);
        post_and_poll(WM_KEYUP, VK_RIGHT, key_lparam(VK_RIGHT, false));
        EXPECT_EQ(key(NK_KEY_TEXT_WORD_RIGHT).down, 0);

        // Ctrl+C is the copy key; its character 3 is not text.
        post_and_poll(WM_KEYDOWN, 'C', key_lparam('C', true));
        EXPECT_EQ(key(NK_KEY_COPY).down, 1);
        EXPECT_EQ(text(), "");
        post_and_poll(WM_KEYUP, 'C', key_lparam('C', false));
        EXPECT_EQ(key(NK_KEY_COPY).down, 0);

        struct { UINT vk; nk_keys nk; } shortcuts[] = {
            {'R', NK_KEY_TEXT_REDO}, {'V', NK_KEY_PASTE}, {'X', NK_KEY_CUT}, {'Z', NK_KEY_TEXT_UNDO},
            {VK_LEFT, NK_KEY_TEXT_WORD_LEFT}, {VK_DELETE, NK_KEY_DEL}, {VK_BACK, NK_KEY_BACKSPACE},
        };
        for (auto k : shortcuts) expect_press_and_release(&host, ctx, k.vk, k.nk);
        EXPECT_EQ(host_handle_event(&host, WM_KEYDOWN, 'A', key_lparam('A', true)), 0) << "no select-all";
        EXPECT_EQ(key(NK_KEY_TEXT_SELECT_ALL).down, 0);
    }

    // Ctrl pressed between press and release of Left: the release goes to the
    // word key, and plain Left stays down until a Left without Ctrl.
    post_and_poll(WM_KEYDOWN, VK_LEFT, key_lparam(VK_LEFT, true));
    ASSERT_EQ(key(NK_KEY_LEFT).down, 1);
    {
        CtrlHeld ctrl;
        post_and_poll(WM_KEYUP, VK_LEFT, key_lparam(VK_LEFT, false));
    }
    EXPECT_EQ(key(NK_KEY_LEFT).down, 1);
    EXPECT_EQ(key(NK_KEY_TEXT_WORD_LEFT).down, 0);
    EXPECT_EQ(key(NK_KEY_TEXT_WORD_LEFT).clicked, 0u);
    post_and_poll(WM_KEYUP, VK_LEFT, key_lparam(VK_LEFT, false));
    EXPECT_EQ(key(NK_KEY_LEFT).down, 0);
}

TEST_F(HostTest, CharactersBelow32AreDroppedAndTheRestPassed) {
    open(HOST_MODE_FIXED);
    settle();
    for (WPARAM unit : {(WPARAM)8, (WPARAM)9, (WPARAM)13, (WPARAM)3, (WPARAM)31, (WPARAM)' ', (WPARAM)'A',
                        (WPARAM)0xE9})
        PostMessageW(host.hwnd, WM_CHAR, unit, 1);
    host_poll_events(&host);
    EXPECT_EQ(text(), " A\xC3\xA9");

    EXPECT_EQ(host_handle_event(&host, WM_CHAR, 31, 1), 0);
    EXPECT_EQ(host_handle_event(&host, WM_CHAR, 32, 1), 1);
    // DEL is passed on too; Nuklear 4.00.1's decoder then stores it as one
    // stray byte, which is the library's business.
    int before = ctx->input.keyboard.text_len;
    EXPECT_EQ(host_handle_event(&host, WM_CHAR, 127, 1), 1);
    EXPECT_EQ(ctx->input.keyboard.text_len, before + 1);

    // Each half of a surrogate pair is passed on by itself; Nuklear makes
    // each a replacement character.
    PostMessageW(host.hwnd, WM_CHAR, 0xD83D, 1);
    PostMessageW(host.hwnd, WM_CHAR, 0xDE00, 1);
    host_poll_events(&host);
    EXPECT_EQ(text(), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(HostTest, ButtonsTakeTheCaptureOnPressAndReleaseItOnRelease) {
    open(HOST_MODE_FIXED);
    settle();
    const nk_mouse &mouse = input().mouse;

    post_and_poll(WM_LBUTTONDOWN, MK_LBUTTON, at(10, 20));
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].down, 1);
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.x, 10.0f);
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.y, 20.0f);
    EXPECT_EQ(GetCapture(), host.hwnd);

    // With the capture held, a pointer left of and above the window gives negative positions.
    post_and_poll(WM_MOUSEMOVE, MK_LBUTTON, at(-5, -7));
    EXPECT_EQ(mouse.pos.x, -5.0f);
    EXPECT_EQ(mouse.pos.y, -7.0f);

    post_and_poll(WM_LBUTTONUP, 0, at(-5, -7));
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].down, 0);
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.x, -5.0f);
    EXPECT_EQ(GetCapture(), nullptr);

    post_and_poll(WM_LBUTTONDBLCLK, MK_LBUTTON, at(30, 40));
    EXPECT_EQ(mouse.buttons[NK_BUTTON_DOUBLE].down, 1);
    EXPECT_EQ(GetCapture(), nullptr) << "a double click takes no capture";
    post_and_poll(WM_LBUTTONUP, 0, at(30, 40));
    EXPECT_EQ(mouse.buttons[NK_BUTTON_DOUBLE].down, 0);

    struct { UINT down, up; nk_buttons button; } others[] = {
        {WM_RBUTTONDOWN, WM_RBUTTONUP, NK_BUTTON_RIGHT}, {WM_MBUTTONDOWN, WM_MBUTTONUP, NK_BUTTON_MIDDLE}};
    for (auto b : others) {
        SCOPED_TRACE(b.button);
        post_and_poll(b.down, 0, at(50, 60));
        EXPECT_EQ(mouse.buttons[b.button].down, 1);
        EXPECT_EQ(GetCapture(), host.hwnd);
        post_and_poll(b.up, 0, at(51, 61));
        EXPECT_EQ(mouse.buttons[b.button].down, 0);
        EXPECT_EQ(mouse.buttons[b.button].clicked_pos.x, 51.0f);
        EXPECT_EQ(GetCapture(), nullptr);
    }

    // A release without a press still lets the capture go.
    SetCapture(host.hwnd);
    post_and_poll(WM_RBUTTONUP, 0, at(1, 1));
    EXPECT_EQ(GetCapture(), nullptr);

    for (UINT ignored : {(UINT)WM_RBUTTONDBLCLK, (UINT)WM_MBUTTONDBLCLK, (UINT)WM_MOUSEHWHEEL, (UINT)WM_ERASEBKGND})
        EXPECT_EQ(host_handle_event(&host, ignored, 0, at(1, 1)), 0) << ignored;
}

TEST_F(HostTest, WheelStepsScrollByTheirShareOf120) {
    open(HOST_MODE_FIXED);
    settle();
    post_and_poll(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), at(5, 5));
    EXPECT_EQ(input().mouse.scroll_delta.y, 1.0f);
    EXPECT_EQ(input().mouse.scroll_delta.x, 0.0f);
    post_and_poll(WM_MOUSEWHEEL, MAKEWPARAM(0, 30), at(5, 5));
    EXPECT_EQ(input().mouse.scroll_delta.y, 0.25f);
    post_and_poll(WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)-120), at(5, 5));
    EXPECT_EQ(input().mouse.scroll_delta.y, -1.0f);
}

TEST_F(HostTest, DesktopModeScalesPositionsBackAndIgnoresSizeMessages) {
    open(HOST_MODE_DESKTOP);
    settle();
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    const nk_mouse &mouse = input().mouse;

    post_and_poll(WM_MOUSEMOVE, 0, at(screen_width / 2, screen_height / 2));
    EXPECT_EQ(mouse.pos.x, (float)(screen_width / 2 * 500 / screen_width));
    EXPECT_EQ(mouse.pos.y, (float)(screen_height / 2 * 223 / screen_height));
    post_and_poll(WM_MOUSEMOVE, 0, at(screen_width - 1, screen_height - 1));
    EXPECT_EQ(mouse.pos.x, 499.0f);
    EXPECT_EQ(mouse.pos.y, 222.0f);
    post_and_poll(WM_LBUTTONDOWN, MK_LBUTTON, at(screen_width / 4, screen_height / 4));
    EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.x, (float)(screen_width / 4 * 500 / screen_width));
    EXPECT_EQ(GetCapture(), host.hwnd);
    post_and_poll(WM_LBUTTONUP, 0, at(0, 0));

    SendMessageW(host.hwnd, WM_SIZE, SIZE_RESTORED, at(100, 80));
    UINT width = 0, height = 0;
    GdipGetImageWidth(host.gdip.back_buffer, &width);
    GdipGetImageHeight(host.gdip.back_buffer, &height);
    EXPECT_EQ(width, 500u);
    EXPECT_EQ(height, 223u);
}

// --- real input from the X server ---------------------------------------------------

namespace {

// Wine starts Unix programs too; xdotool sends real X events through XTEST.
bool xdotool(const std::string &arguments) {
    std::string command = "/usr/bin/xdotool " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return false;
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

TEST_F(HostTest, RealClickAndCtrlArrowFromTheXServerReachNuklear) {
    if (GetFileAttributesA("Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "xdotool is not installed";
    open(HOST_MODE_FIXED);
    settle();
    POINT target = {120, 80};
    ClientToScreen(host.hwnd, &target);
    char arguments[160];
    snprintf(arguments, sizeof arguments, "mousemove --sync %ld %ld click 1 sleep 0.2 key ctrl+Left", target.x,
             target.y);
    ASSERT_TRUE(xdotool(arguments));

    // Input lands across several polls; the counters reset with each, so
    // collect what was seen. A late message keeps a blocked poll from hanging.
    bool clicked = false, word_left = false, plain_left = false;
    std::atomic<bool> done{false};
    std::thread safety([&done, window = host.hwnd] {
        for (int i = 0; i < 30 && !done; i++) {
            Sleep(100);
            PostMessageW(window, WM_NULL, 0, 0);
        }
    });
    for (int i = 0; i < 200 && !word_left; i++) {
        host_poll_events(&host);
        const nk_mouse &mouse = input().mouse;
        if (mouse.buttons[NK_BUTTON_LEFT].clicked) {
            clicked = true;
            EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.x, 120.0f);
            EXPECT_EQ(mouse.buttons[NK_BUTTON_LEFT].clicked_pos.y, 80.0f);
        }
        word_left |= key(NK_KEY_TEXT_WORD_LEFT).clicked > 0;
        plain_left |= key(NK_KEY_LEFT).clicked > 0;
    }
    done = true;
    safety.join();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(input().mouse.buttons[NK_BUTTON_LEFT].down, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(word_left) << "Ctrl held on the keyboard turns Left into the word key";
    EXPECT_FALSE(plain_left);
}
