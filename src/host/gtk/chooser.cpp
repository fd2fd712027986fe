// The file chooser on Linux: GtkFileChooserNative, which goes through the
// desktop's portal where one runs and is GTK's own dialog elsewhere. The path
// comes back as the file system spells it, bytes unchanged.
#include <stdlib.h>
#include <string.h>

#include "host/chooser.h"
#include "host/host.h"
#include "lang/lang.h"

// Windows-style filters ("Programs\0*.exe\0All files\0*.*\0") as GTK filters.
static void add_filters(GtkFileChooser *chooser, const char *filter) {
    while (filter && *filter) {
        const char *name = filter;
        const char *patterns = name + strlen(name) + 1;
        if (!*patterns) break;
        GtkFileFilter *f = gtk_file_filter_new();
        gtk_file_filter_set_name(f, name);
        gchar **each = g_strsplit(patterns, ";", -1);
        for (gchar **p = each; *p; ++p) gtk_file_filter_add_pattern(f, *p);
        g_strfreev(each);
        gtk_file_chooser_add_filter(chooser, f);
        filter = patterns + strlen(patterns) + 1;
    }
}

const char *choose_file(HostWindow *host, unsigned open, const char *filter) {
    free(host->shared.chosen_path);
    host->shared.chosen_path = NULL;
    const GtkFileChooserAction action = (open & 1) ? GTK_FILE_CHOOSER_ACTION_OPEN : GTK_FILE_CHOOSER_ACTION_SAVE;
    GtkFileChooserNative *dialog = gtk_file_chooser_native_new(
        (open & 1) ? _("Open") : _("Save As"), host->window ? GTK_WINDOW(host->window) : NULL, action, NULL, NULL);
    add_filters(GTK_FILE_CHOOSER(dialog), filter);
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        gchar *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        // A file that is not local (a portal URI without a path) gives none.
        if (path) host->shared.chosen_path = strdup(path);
        g_free(path);
    }
    g_object_unref(dialog);
    // The keyboard goes back to the patcher, also where no window manager
    // hands it back when the dialog closes.
    if (host->window) gtk_window_present(GTK_WINDOW(host->window));
    // One more frame follows without waiting, as the Windows dialog's own
    // closing messages give one there.
    host->pending = 1;
    return host->shared.chosen_path;
}
