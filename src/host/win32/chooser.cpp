// The file chooser on Windows: the common open (or save) dialog, and the files
// dropped on the window.
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <commdlg.h>

#include "host/chooser.h"
#include "host/host.h"
#include "patch/fileio.h"

static char *copy_path(const char *path, size_t most) {
    size_t length = strnlen(path, most);
    char *copy = (char *)malloc(length + 1);
    if (copy) {
        memcpy(copy, path, length);
        copy[length] = 0;
    }
    return copy;
}

const char *choose_file(HostWindow *host, unsigned open, const char *filter) {
    // Windows counts a path's MAX_PATH in UTF-16 units, the buffer holds
    // bytes, and in UTF-8 a unit takes up to three. A buffer of MAX_PATH bytes
    // would make the dialog fail on a long name in Greek or Japanese as if
    // cancelled; with room for any path the panel refuses one too long for it
    // with its own message.
    char path[MAX_PATH * 3 + 1] = "";
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    // A name typed into the dialog must name an existing file in an existing
    // folder, so the patcher is never handed a path it cannot open.
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    // The dialog library and the shell behind it are loaded on the first
    // "Browse", not at start-up: most of a run never needs them. The shell
    // comes first, from System32 by name: Wine's dialog library would
    // otherwise bind it at its first call by a search that looks beside the
    // program, and so everything the shell imports.
    if (!host->shell) host->shell = (HMODULE)system_library(L"shell32.dll");
    if (!host->dialogs) host->dialogs = (HMODULE)system_library(L"comdlg32.dll");
    typedef BOOL(WINAPI * FileDialog)(OPENFILENAMEA *);
    FileDialog show = host->dialogs ? (FileDialog)(void (*)(void))GetProcAddress(
                                          host->dialogs, (open & 1) ? "GetOpenFileNameA" : "GetSaveFileNameA")
                                    : NULL;
    BOOL chosen = show ? show(&dialog) : FALSE;

    free(host->shared.chosen_path);
    host->shared.chosen_path = chosen ? copy_path(path, sizeof path - 1) : NULL;
    return host->shared.chosen_path;
}

// The drop's first file, asked for in UTF-16 at its own length (no buffer to
// cut it short) and spelt in the ANSI code page, as the dialog spells paths.
// A name that code page cannot spell comes out with '?' in it, which no file
// has, so identification refuses it with its own message.
static char *first_dropped_path(HMODULE shell, HDROP drop) {
    typedef UINT(WINAPI * QueryFile)(HDROP, UINT, LPWSTR, UINT);
    QueryFile query = (QueryFile)(void (*)(void))GetProcAddress(shell, "DragQueryFileW");
    if (!query) return NULL;
    UINT units = query(drop, 0, NULL, 0);
    if (units == 0) return NULL;
    WCHAR *wide = (WCHAR *)malloc(((size_t)units + 1) * sizeof(WCHAR));
    if (!wide) return NULL;
    char *path = NULL;
    if (query(drop, 0, wide, units + 1) == units) {
        int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL);
        if (bytes > 0 && (path = (char *)malloc((size_t)bytes)) != NULL)
            WideCharToMultiByte(CP_ACP, 0, wide, -1, path, bytes, NULL, NULL);
    }
    free(wide);
    return path;
}

void host_drop_files(HostWindow *host, HDROP drop) {
    if (!host->shell) host->shell = (HMODULE)system_library(L"shell32.dll");
    if (!host->shell) return;
    char *path = first_dropped_path(host->shell, drop);
    // A drop whose file cannot be read out is told as refused, not lost.
    host_drop_file(&host->shared, path);
    free(path);
    typedef void(WINAPI * FinishDrop)(HDROP);
    FinishDrop finish = (FinishDrop)(void (*)(void))GetProcAddress(host->shell, "DragFinish");
    if (finish) finish(drop);
    host->pending = 1;
}
