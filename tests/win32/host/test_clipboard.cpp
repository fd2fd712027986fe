// The clipboard callbacks on the real (Wine) clipboard, pasting into real
// Nuklear edit states.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>

#include <windows.h>

#include "host/clipboard.h"

namespace {

// A window to open the clipboard for, as another program would.
HWND test_window(void) {
    static HWND window = CreateWindowW(L"STATIC", L"clipboard holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                       nullptr);
    return window;
}

const char kText[] = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93 \xce\xa9 \xf0\x9f\x8e\xb5";   // "Grüße ✓ Ω 🎵"
const wchar_t kWide[] = L"Gr\u00fc\u00dfe \u2713 \u03a9 \U0001F3B5";

// Puts exactly `text` on the clipboard, as another program would.
void put_clipboard(const wchar_t *text) {
    ASSERT_TRUE(OpenClipboard(test_window()));
    EmptyClipboard();
    if (text) {
        const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        memcpy(GlobalLock(block), text, bytes);
        GlobalUnlock(block);
        SetClipboardData(CF_UNICODETEXT, block);
    }
    CloseClipboard();
}

// The clipboard's Unicode text, with the units its block holds after it.
// Opening it for a window also proves that the backend, which opens it for
// no window, left it closed.
std::wstring clipboard_block(void) {
    std::wstring text;
    if (!OpenClipboard(test_window())) {
        ADD_FAILURE() << "the clipboard was left open";
        return text;
    }
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        const wchar_t *units = (const wchar_t *)GlobalLock(block);
        text.assign(units, GlobalSize(block) / sizeof(wchar_t));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return text;
}

std::string edit_text(struct nk_text_edit *edit) {
    return std::string(nk_str_get_const(&edit->string), (size_t)nk_str_len_char(&edit->string));
}

struct Edit {
    struct nk_text_edit state;
    explicit Edit(const char *text) {
        nk_textedit_init_default(&state);
        state.mode = NK_TEXT_EDIT_MODE_INSERT;   // as in a field being edited
        nk_str_append_text_char(&state.string, text, (int)strlen(text));
    }
    ~Edit() { nk_textedit_free(&state); }
};

TEST(Clipboard, CopyThenPasteRoundTripsNonAsciiText) {
    put_clipboard(L"old");
    host_clipboard_copy(nk_handle_ptr(nullptr), kText, (int)strlen(kText));
    EXPECT_EQ(clipboard_block(), std::wstring(kWide, wcslen(kWide) + 1));   // the text, then one 0 unit

    Edit empty("");
    host_clipboard_paste(nk_handle_ptr(nullptr), &empty.state);
    EXPECT_EQ(edit_text(&empty.state), kText);

    // Into a selection, which the text replaces.
    Edit edit("abcdef");
    edit.state.select_start = 1;
    edit.state.select_end = 3;
    host_clipboard_paste(nk_handle_ptr(nullptr), &edit.state);
    EXPECT_EQ(edit_text(&edit.state), std::string("a") + kText + "def");
    EXPECT_EQ(edit.state.cursor, 1 + nk_utf_len(kText, (int)strlen(kText)));   // counted in characters

    Edit view("view");
    view.state.mode = NK_TEXT_EDIT_MODE_VIEW;
    host_clipboard_paste(nk_handle_ptr(nullptr), &view.state);
    EXPECT_EQ(edit_text(&view.state), "view");
}

TEST(Clipboard, EmptyCopyAndPasteWithoutTextChangeNothing) {
    put_clipboard(L"keep");
    host_clipboard_copy(nk_handle_ptr(nullptr), "", 0);
    EXPECT_EQ(clipboard_block(), std::wstring(L"keep", 5));

    put_clipboard(nullptr);
    Edit edit("abc");
    host_clipboard_paste(nk_handle_ptr(nullptr), &edit.state);
    EXPECT_EQ(edit_text(&edit.state), "abc");
    EXPECT_EQ(clipboard_block(), L"");
}

TEST(Clipboard, NothingHappensWhileAnotherThreadHoldsTheClipboard) {
    put_clipboard(L"held");
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr), done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BOOL held = FALSE;
    // The holder opens it for a window, as another program would: the backend
    // opens it for no window and must then be refused.
    std::thread holder([&] {
        held = OpenClipboard(test_window());
        SetEvent(opened);
        WaitForSingleObject(done, 10000);
        if (held) CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    EXPECT_TRUE(held);
    Edit edit("abc");
    host_clipboard_paste(nk_handle_ptr(nullptr), &edit.state);
    host_clipboard_copy(nk_handle_ptr(nullptr), "new", 3);
    SetEvent(done);
    holder.join();
    CloseHandle(opened);
    CloseHandle(done);
    EXPECT_EQ(edit_text(&edit.state), "abc");
    EXPECT_EQ(clipboard_block(), std::wstring(L"held", 5));
}

}  // namespace
