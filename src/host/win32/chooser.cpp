// The file chooser on Windows: the common open (or save) dialog.
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <commdlg.h>

#include "host/chooser.h"
#include "host/host.h"

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
    char path[260] = "";
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

    // The dialog library (and the shell behind it) is loaded on the first
    // "Browse", not at start-up: most of a run never needs it.
    if (!host->dialogs) host->dialogs = LoadLibraryA("comdlg32.dll");
    typedef BOOL(WINAPI * FileDialog)(OPENFILENAMEA *);
    FileDialog show = host->dialogs ? (FileDialog)(void (*)(void))GetProcAddress(
                                          host->dialogs, (open & 1) ? "GetOpenFileNameA" : "GetSaveFileNameA")
                                    : NULL;
    BOOL chosen = show ? show(&dialog) : FALSE;

    free(host->shared.chosen_path);
    host->shared.chosen_path = chosen ? copy_path(path, sizeof path - 1) : NULL;
    return host->shared.chosen_path;
}
