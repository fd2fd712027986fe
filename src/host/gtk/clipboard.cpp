// Nuklear's clipboard callbacks on the GTK clipboard (the one Ctrl+C and
// Ctrl+V use, not the primary selection), as UTF-8 text in both directions.
// Every failure is silent.
#include <string.h>

#include "host/clipboard.h"
#include "host/host.h"

// The clipboard of the display the host's window is on.
static GtkClipboard *host_clipboard(nk_handle userdata) {
    const HostWindow *host = (const HostWindow *)userdata.ptr;
    GdkDisplay *display = host && host->window ? gtk_widget_get_display(host->window) : gdk_display_get_default();
    return display ? gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD) : NULL;
}

void host_clipboard_copy(nk_handle userdata, const char *text, int length) {
    GtkClipboard *clipboard = host_clipboard(userdata);
    // Only valid UTF-8 goes out; Nuklear's buffers always hold it.
    if (!clipboard || !text || length <= 0 || !g_utf8_validate(text, length, NULL)) return;
    gtk_clipboard_set_text(clipboard, text, length);
}

void host_clipboard_paste(nk_handle userdata, struct nk_text_edit *edit) {
    GtkClipboard *clipboard = host_clipboard(userdata);
    if (!clipboard) return;
    gchar *text = gtk_clipboard_wait_for_text(clipboard);
    if (text) host_paste_utf8(edit, text, (int)strlen(text));
    g_free(text);
}
