// Files dropped on the window: a real drop handle, as the shell hands one
// over in WM_DROPFILES, sent to the real window.
#include "host_test.h"

#include <shlobj.h>   // DROPFILES

#include <vector>

#include "host/chooser.h"

namespace {

// A drop handle as the shell makes one: DROPFILES followed by the wide names,
// each terminated, the list ending in an empty one. The window releases it.
HDROP make_drop(const std::vector<std::wstring> &names) {
    size_t units = 1;
    for (const std::wstring &name : names) units += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(WCHAR));
    auto *files = (DROPFILES *)GlobalLock(memory);
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    WCHAR *out = (WCHAR *)(files + 1);
    for (const std::wstring &name : names) {
        memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        out += name.size() + 1;
    }
    GlobalUnlock(memory);
    return (HDROP)memory;
}

}  // namespace

TEST_F(HostTest, ADroppedFileIsTakenOnceFirstOfSeveralAtFullLength) {
    bool shell_before = GetModuleHandleA("shell32.dll") != NULL;
    open(HOST_MODE_FIXED);
    EXPECT_TRUE(GetWindowLongW(host.hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    if (!shell_before) {
        EXPECT_EQ(GetModuleHandleA("shell32.dll"), (HMODULE)NULL) << "the shell was loaded at start";
    }
    settle();

    const char *path = nullptr;
    EXPECT_EQ(take_dropped_file(&host, &path), HOST_DROP_NONE);

    // Longer than MAX_PATH, so a fixed buffer of that size would cut it.
    std::wstring deep = L"C:\\games";
    while (deep.size() < 300) deep += L"\\quelmor";
    deep += L"\\QUELMOR.EXE";
    SendMessageW(host.hwnd, WM_DROPFILES, (WPARAM)make_drop({deep, L"C:\\other\\NOTES.TXT"}), 0);
    EXPECT_EQ(host.pending, 1);
    ASSERT_EQ(take_dropped_file(&host, &path), HOST_DROP_FILE);
    EXPECT_EQ(std::string(path), std::string(deep.begin(), deep.end()));
    EXPECT_EQ(take_dropped_file(&host, &path), HOST_DROP_NONE);

    // A second drop before the panel took the first replaces it.
    SendMessageW(host.hwnd, WM_DROPFILES, (WPARAM)make_drop({L"C:\\a\\ONE.EXE"}), 0);
    SendMessageW(host.hwnd, WM_DROPFILES, (WPARAM)make_drop({L"C:\\b\\TWO.EXE"}), 0);
    ASSERT_EQ(take_dropped_file(&host, &path), HOST_DROP_FILE);
    EXPECT_STREQ(path, "C:\\b\\TWO.EXE");

    // A drop without a file is refused, once.
    SendMessageW(host.hwnd, WM_DROPFILES, (WPARAM)make_drop({}), 0);
    EXPECT_EQ(take_dropped_file(&host, &path), HOST_DROP_REFUSED);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(take_dropped_file(&host, &path), HOST_DROP_NONE);
}
