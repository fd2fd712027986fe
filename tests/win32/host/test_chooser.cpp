// The file chooser with the real common dialog, answered from a helper thread.
#include "host_test.h"

#include <commdlg.h>
#include <dlgs.h>

#include <fstream>

#include "host/chooser.h"

namespace {
// The chooser keeps its result in the host record; no window is needed.
HostWindow host{};
}  // namespace

TEST(Chooser, CancellingEitherDialogReturnsNull) {
    for (unsigned open : {1u, 0u}) {
        SCOPED_TRACE(open);
        DialogWatcher dialog(IDCANCEL);
        EXPECT_EQ(choose_file(&host, open, nullptr), nullptr);
        dialog.join();
        EXPECT_TRUE(dialog.found) << "no dialog appeared";
    }
}

TEST(Chooser, ATypedExistingFileComesBackAsItsPath) {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    strcat(path, "KELM.EXE");
    std::ofstream(path, std::ios::binary) << "MZ";

    // The name goes into whichever file-name control this dialog has.
    DialogWatcher dialog(IDOK, [&](HWND box) {
        for (int control : {cmb13, edt1})
            if (HWND field = GetDlgItem(box, control)) SetWindowTextA(field, path);
    });
    const char *chosen = choose_file(&host, 1, "Programs\0*.exe\0All files\0*.*\0");
    dialog.join();
    ASSERT_TRUE(dialog.found);
    ASSERT_NE(chosen, nullptr);
    EXPECT_STRCASEEQ(chosen, path);

    DialogWatcher cancelled(IDCANCEL);
    EXPECT_EQ(choose_file(&host, 1, nullptr), nullptr) << "a cancel after a choice returns null, not the old path";
    cancelled.join();
    DeleteFileA(path);
}
