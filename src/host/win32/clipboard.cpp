// Nuklear's clipboard callbacks on the Windows clipboard, as Unicode text
// (CF_UNICODETEXT) in both directions. Every path that opens the clipboard
// closes it again before returning; every failure is silent.
#include <stdlib.h>
#include <windows.h>

#include "host/clipboard.h"
#include "host/input.h"

void host_clipboard_copy(nk_handle userdata, const char *text, int length) {
    (void)userdata;
    if (!OpenClipboard(nullptr)) return;
    // The clipboard is deliberately not emptied first: only the Unicode text
    // is replaced, whatever else is on it stays.
    const int units = (text && length > 0) ? MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0) : 0;
    if (units > 0) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)(units + 1) * sizeof(WCHAR));
        if (block) {
            WCHAR *wide = (WCHAR *)GlobalLock(block);
            if (!wide) {
                GlobalFree(block);
            } else {
                MultiByteToWideChar(CP_UTF8, 0, text, length, wide, units);
                wide[units] = 0;
                GlobalUnlock(block);
                // Once accepted the block is the system's; only a refused one is ours to free.
                if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
            }
        }
    }
    CloseClipboard();
}

void host_clipboard_paste(nk_handle userdata, struct nk_text_edit *edit) {
    (void)userdata;
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    const SIZE_T bytes = block ? GlobalSize(block) : 0;
    if (bytes > 1) {
        const WCHAR *wide = (const WCHAR *)GlobalLock(block);
        if (wide) {
            // A block of exactly 2n + 2 bytes holds n characters and the 0 unit.
            // Windows may hand out a block larger than was asked for, so the
            // text also ends at the first 0 unit rather than taking what follows.
            const int limit = (int)((bytes - 1) / sizeof(WCHAR));
            int units = 0;
            while (units < limit && wide[units]) ++units;
            const int count = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
            char *utf8 = count > 0 ? (char *)malloc((size_t)count) : nullptr;
            if (utf8) {
                WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, count, nullptr, nullptr);
                host_paste_utf8(edit, utf8, count);
                free(utf8);
            }
            GlobalUnlock(block);
        }
    }
    CloseClipboard();
}
