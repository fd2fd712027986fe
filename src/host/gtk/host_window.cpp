// The GTK 3 host window: creation in its four modes, the start-up error
// dialog, shutdown, and the host's font and image loaders. The event pump and
// input translation live in host_events.cpp, presentation in host_present.cpp.
//
// What differs from the Win32 host, because GTK differs: the client size is
// the drawing area's, so it is exactly the logical size whatever the window
// manager's decoration; full-screen mode asks the window manager for full
// screen instead of switching the display mode (GTK cannot switch it), so it
// behaves like desktop mode; the Nuklear context, the clipboard callbacks and
// everything else live in the record.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "assets/icon.h"
#include "host/host.h"

// The title buffer holds 127 bytes and the terminator; a longer title is cut
// at a character boundary, never inside a UTF-8 sequence.
static void host_copy_title(char *out, size_t capacity, const char *title) {
    out[0] = 0;
    if (!title) return;
    size_t length = strlen(title);
    if (length >= capacity) {
        length = capacity - 1;
        while (length > 0 && ((unsigned char)title[length] & 0xC0) == 0x80) --length;
    }
    memcpy(out, title, length);
    out[length] = 0;
}

// The icon drawn for the Windows resource, decoded from its .ico bytes.
static void host_set_icon(GtkWindow *window) {
    GdkPixbufLoader *loader = gdk_pixbuf_loader_new_with_type("ico", NULL);
    if (!loader) return;
    if (gdk_pixbuf_loader_write(loader, app_icon_ico, app_icon_ico_size, NULL) &&
        gdk_pixbuf_loader_close(loader, NULL)) {
        GdkPixbuf *icon = gdk_pixbuf_loader_get_pixbuf(loader);
        if (icon) gtk_window_set_icon(window, icon);
    } else {
        gdk_pixbuf_loader_close(loader, NULL);
    }
    g_object_unref(loader);
}

// The monitor's work area, the rectangle the Win32 host centres in: from the
// screen's origin to the work area's far edges.
static GdkRectangle host_work_area(GtkWidget *window) {
    GdkRectangle area = {0, 0, 0, 0};
    GdkDisplay *display = gtk_widget_get_display(window);
    GdkMonitor *monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (monitor) gdk_monitor_get_workarea(monitor, &area);
    return area;
}

static void host_release_font(struct nk_user_font *font) { cdraw_font_free((CdrawFont *)font); }

// The new font becomes the record's current one, also when it is null, and
// Nuklear's when it is not.
static HostFont *host_adopt_font(HostWindow *host, CdrawFont *font) {
    host->font = font;
    host_use_font(host->ctx, &host->shared, font ? &font->user_font : NULL, host_release_font);
    return font;
}

struct nk_context *host_init(HostWindow *host, const char *title, int32_t width, int32_t height, int32_t mode) {
    host_copy_title(host->title, sizeof host->title, title);
    host->shared.mode = mode;
    host->shared.logical_width = width;
    host->shared.logical_height = height;
    host->shared.output_width = width;
    host->shared.output_height = height;
    if (!gtk_init_check(NULL, NULL)) return NULL;

    host->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow *window = GTK_WINDOW(host->window);
    gtk_window_set_title(window, host->title);
    host_set_icon(window);
    host->area = host_access_area_new(host);
    gtk_widget_set_size_request(host->area, width, height);
    gtk_container_add(GTK_CONTAINER(host->window), host->area);

    GdkRectangle work = host_work_area(host->window);
    if (mode == HOST_MODE_DESKTOP || mode == HOST_MODE_FULLSCREEN) {
        // The frame keeps the logical size and is stretched over the screen.
        gtk_window_set_decorated(window, FALSE);
        gtk_window_move(window, 0, 0);
        host->shared.output_width = work.x + work.width;
        host->shared.output_height = work.y + work.height;
        gtk_window_set_default_size(window, host->shared.output_width, host->shared.output_height);
        gtk_widget_set_size_request(host->area, host->shared.output_width, host->shared.output_height);
    } else {
        gtk_window_set_resizable(window, mode == HOST_MODE_WINDOWED);
        gtk_window_move(window, (work.x + work.width - width) / 2, (work.y + work.height - height) / 2);
    }

    host_connect_events(host);
    gtk_widget_show_all(host->window);
    if (mode == HOST_MODE_FULLSCREEN) host_set_fullscreen(host, host->window, width, height);
    gtk_widget_grab_focus(host->area);
    host->pending = 1;

    const double scale = host->shared.scale = gtk_widget_get_scale_factor(host->area);
    if (!cdraw_init(&host->cdraw, width, height, scale) || !(host->ctx = host_start_nuklear(host))) {
        host->ctx = NULL;
        cdraw_shutdown(&host->cdraw);
        gtk_widget_destroy(host->window);
        host->window = host->area = NULL;
        return NULL;
    }
    host_adopt_font(host, cdraw_font_create(&host->cdraw, "Arial", 12));
    return host->ctx;
}

int32_t host_set_fullscreen(HostWindow *host, GtkWidget *window, int32_t width, int32_t height) {
    (void)width;
    (void)height;
    gtk_window_fullscreen(GTK_WINDOW(window));
    host->shared.mode = HOST_MODE_FULLSCREEN;
    return 1;
}

void host_show_error(char *text, int cut) {
    // A cut text ends before the partial character, if the cut left one.
    const gchar *valid_end = NULL;
    if (cut && !g_utf8_validate(text, -1, &valid_end)) *(gchar *)valid_end = 0;
    // Without a display there is no dialog to show: the message goes to stderr.
    if (!gtk_init_check(NULL, NULL)) {
        fprintf(stderr, "Error: %s", text);
        return;
    }
    GtkWidget *dialog = gtk_message_dialog_new(NULL, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), "Error");
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

void host_shutdown(HostWindow *host) {
    // No handler may run on the record once its parts start to go: the
    // window's destruction still sends focus and size events, and clients
    // may still ask the accessibles about it.
    host_access_shutdown(host);
    if (host->window) {
        g_signal_handlers_disconnect_by_data(host->window, host);
        g_signal_handlers_disconnect_by_data(host->area, host);
    }
    if (host->im) g_signal_handlers_disconnect_by_data(host->im, host);
    host_release_shared(&host->shared, host->font ? &host->font->user_font : NULL, host_release_font);
    host->font = NULL;
    if (host->ctx) nk_free(host->ctx);
    host->ctx = NULL;
    cdraw_shutdown(&host->cdraw);
    if (host->im) g_object_unref(host->im);
    host->im = NULL;
    if (host->window) gtk_widget_destroy(host->window);
    host->window = host->area = NULL;
    // The window goes away with the events its destruction queues.
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

HostFont *host_load_font_memory(HostWindow *host, const void *data, int32_t size, float height) {
    return host_adopt_font(host, cdraw_font_from_memory(&host->cdraw, data, size, host_font_pixels(height)));
}

HostFont *host_load_font_file(HostWindow *host, const char *path, float height) {
    gchar *data = NULL;
    gsize size = 0;
    // FreeType reads the bytes in place for as long as the font lives, so they
    // are kept: a font file is loaded once per run at most.
    if (!g_file_get_contents(path, &data, &size, NULL) || size > INT32_MAX) {
        g_free(data);
        return host_adopt_font(host, NULL);
    }
    CdrawFont *font = cdraw_font_from_memory(&host->cdraw, data, (int)size, host_font_pixels(height));
    if (!font) g_free(data);
    return host_adopt_font(host, font);
}

float host_window_scale(const HostWindow *) { return 1.0f; }
