// The file chooser on Windows: the common open (or save) dialog.
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <commdlg.h>

#include "patch/chooser.h"

// The last path handed out; the caller copies it before asking again.
static char *chooser_result;

const char *choose_file(unsigned open, const char *filter) {
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

    BOOL chosen = (open & 1) ? GetOpenFileNameA(&dialog) : GetSaveFileNameA(&dialog);

    free(chooser_result);
    chooser_result = NULL;
    if (chosen) {
        size_t length = strnlen(path, sizeof path - 1);
        chooser_result = (char *)malloc(length + 1);
        if (chooser_result) {
            memcpy(chooser_result, path, length);
            chooser_result[length] = 0;
        }
    }
    return chooser_result;
}
