// The event pump and input translation for GTK 3: host_poll_events brackets
// one frame's input and blocks in the main loop when the last frame saw no
// input; the drawing area's signal handlers turn buttons, motion, the wheel,
// keys and text into Nuklear input through host_handle_event.
//
// The pump keeps the Win32 host's rule: block until at least one event
// arrives, take every pending one, then one frame. Only input, size and close
// events count as arrivals: the repaint that each frame queues does not, or
// every frame would wake the next and the window would never idle.
//
// Keys follow the shared key table (host/input.h); text comes through a
// GtkIMContext, so dead keys, compose and input methods work; Alt+F4 closes
// the window also where no window manager takes it, as on Windows. Files
// dropped on the area (text/uri-list) go to the panel as a choice.
//
// Left out: keys held while the window loses the focus stay down in Nuklear
// until their release arrives, as on Windows; double clicks are plain presses
// (the Win32 window asks for no double clicks either).
#include "host/host.h"

static enum HostKey host_key(guint keyval) {
    switch (keyval) {
    case GDK_KEY_BackSpace: return HOST_KEY_BACKSPACE;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return HOST_KEY_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return HOST_KEY_ENTER;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R: return HOST_KEY_SHIFT;
    case GDK_KEY_Page_Up: return HOST_KEY_PAGE_UP;
    case GDK_KEY_Page_Down: return HOST_KEY_PAGE_DOWN;
    case GDK_KEY_End: return HOST_KEY_END;
    case GDK_KEY_Home: return HOST_KEY_HOME;
    case GDK_KEY_Left: return HOST_KEY_LEFT;
    case GDK_KEY_Right: return HOST_KEY_RIGHT;
    case GDK_KEY_Delete: return HOST_KEY_DELETE;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return HOST_KEY_SPACE;
    case GDK_KEY_Escape: return HOST_KEY_ESCAPE;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return HOST_KEY_UP;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return HOST_KEY_DOWN;
    // Shortcuts by letter, whatever Shift or Caps Lock made of it.
    case GDK_KEY_c: case GDK_KEY_C: return HOST_KEY_C;
    case GDK_KEY_r: case GDK_KEY_R: return HOST_KEY_R;
    case GDK_KEY_v: case GDK_KEY_V: return HOST_KEY_V;
    case GDK_KEY_x: case GDK_KEY_X: return HOST_KEY_X;
    case GDK_KEY_z: case GDK_KEY_Z: return HOST_KEY_Z;
    case GDK_KEY_o: case GDK_KEY_O: return HOST_KEY_O;
    default: return HOST_KEY_OTHER;
    }
}

// GDK reports positions in logical pixels already, whatever its scale.
static void host_logical_position(const HostWindow *host, double x, double y, int *out_x, int *out_y) {
    host_logical_position(&host->shared, x, y, 1.0, out_x, out_y);
}

static int host_button(struct nk_context *ctx, const HostWindow *host, const GdkEventButton *e) {
    enum nk_buttons button;
    switch (e->button) {
    case 1: button = NK_BUTTON_LEFT; break;
    case 2: button = NK_BUTTON_MIDDLE; break;
    case 3: button = NK_BUTTON_RIGHT; break;
    default: return 0;
    }
    int x, y;
    host_logical_position(host, e->x, e->y, &x, &y);
    const int down = e->type == GDK_BUTTON_PRESS;
    // A press while Nuklear still holds the button down means its release went
    // elsewhere (the file dialog's loop took it): that release comes first, or
    // Nuklear would take the press for none.
    if (down && ctx->input.mouse.buttons[button].down) nk_input_button(ctx, button, x, y, 0);
    // The release of the left button also ends a double click, as on Windows.
    if (!down && button == NK_BUTTON_LEFT) nk_input_button(ctx, NK_BUTTON_DOUBLE, x, y, 0);
    nk_input_button(ctx, button, x, y, down);
    return 1;
}

static int host_scroll(struct nk_context *ctx, const GdkEventScroll *e) {
    // One notch is 1.0 upwards, as a wheel delta of 120 is on Windows.
    switch (e->direction) {
    case GDK_SCROLL_UP: nk_input_scroll(ctx, nk_vec2(0, 1.0f)); return 1;
    case GDK_SCROLL_DOWN: nk_input_scroll(ctx, nk_vec2(0, -1.0f)); return 1;
    case GDK_SCROLL_SMOOTH:
        if (e->delta_y == 0) return 0;
        nk_input_scroll(ctx, nk_vec2(0, (float)-e->delta_y));
        return 1;
    default: return 0;
    }
}

static int host_key_event(HostWindow *host, GdkEventKey *e) {
    const int down = e->type == GDK_KEY_PRESS;
    const int ctrl = (e->state & GDK_CONTROL_MASK) != 0;
    if (down && e->keyval == GDK_KEY_F4 && (e->state & GDK_MOD1_MASK)) {
        gtk_window_close(GTK_WINDOW(host->window));
        return 1;
    }
    if (down) {
        host->event_type = HOST_EVENT_KEY_DOWN;
        host->event_code = (int32_t)e->keyval;
    }
    if (down && host_panel_key(host_key(e->keyval), ctrl, (e->state & GDK_SHIFT_MASK) != 0)) return 1;
    if (host_input_key(&host->context, host_key(e->keyval), ctrl, down)) return 1;
    // Everything else may be text: the input method decides, and commits it.
    return host->im && !ctrl && gtk_im_context_filter_keypress(host->im, e);
}

int host_handle_event(HostWindow *host, GdkEvent *event) {
    struct nk_context *ctx = &host->context;
    switch (event->type) {
    case GDK_MOTION_NOTIFY: {
        int x, y;
        host_logical_position(host, event->motion.x, event->motion.y, &x, &y);
        nk_input_motion(ctx, x, y);
        return 1;
    }
    case GDK_BUTTON_PRESS:
    case GDK_BUTTON_RELEASE: return host_button(ctx, host, &event->button);
    case GDK_SCROLL: return host_scroll(ctx, &event->scroll);
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE: return host_key_event(host, &event->key);
    default: return 0;
    }
}

// Every input event wakes the pump, whether or not Nuklear took it.
static gboolean on_input(GtkWidget *, GdkEvent *event, gpointer data) {
    HostWindow *host = (HostWindow *)data;
    host->pending = 1;
    return host_handle_event(host, event) ? TRUE : FALSE;
}

static void on_commit(GtkIMContext *, const gchar *text, gpointer data) {
    HostWindow *host = (HostWindow *)data;
    host->pending = 1;
    for (const gchar *p = text; *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        // Control characters arrive as keys (Backspace, Tab, Enter) or are
        // shortcuts; only printable characters are text.
        if (c >= 32) nk_input_unicode(&host->context, (nk_rune)c);
    }
}

static gboolean on_focus(GtkWidget *, GdkEventFocus *event, gpointer data) {
    HostWindow *host = (HostWindow *)data;
    host->pending = 1;
    if (event->in)
        gtk_im_context_focus_in(host->im);
    else
        gtk_im_context_focus_out(host->im);
    return FALSE;
}

static void on_realize(GtkWidget *area, gpointer data) {
    gtk_im_context_set_client_window(((HostWindow *)data)->im, gtk_widget_get_window(area));
}

// The window manager's close button (or Alt+F4): the poll reports the quit,
// and host_shutdown destroys the window.
static gboolean on_delete(GtkWidget *, GdkEvent *, gpointer data) {
    HostWindow *host = (HostWindow *)data;
    host->closed = 1;
    host->pending = 1;
    return TRUE;
}

// A resizable window's back buffer follows the area; a new scale factor (the
// window moved to a monitor scaled otherwise) makes a sharper or coarser one.
static void on_size(GtkWidget *area, GdkRectangle *allocation, gpointer data) {
    HostWindow *host = (HostWindow *)data;
    const double scale = gtk_widget_get_scale_factor(area);
    host->pending = 1;
    host->shared.scale = scale;
    if (host->shared.mode == HOST_MODE_WINDOWED) {
        host->shared.logical_width = host->shared.output_width = allocation->width;
        host->shared.logical_height = host->shared.output_height = allocation->height;
    } else {
        host->shared.output_width = allocation->width;
        host->shared.output_height = allocation->height;
    }
    if (host->ctx) cdraw_resize(&host->cdraw, host->shared.logical_width, host->shared.logical_height, scale);
}

// A URI names a file of this machine when it is a file: URI without a host,
// or with this machine's name (or localhost) as its host.
static gchar *host_local_file(const gchar *uri) {
    gchar *hostname = NULL;
    gchar *path = g_filename_from_uri(uri, &hostname, NULL);
    if (path && hostname && g_ascii_strcasecmp(hostname, "localhost") != 0 &&
        g_ascii_strcasecmp(hostname, g_get_host_name()) != 0) {
        g_free(path);
        path = NULL;
    }
    g_free(hostname);
    return path;
}

// Files dropped on the window: the first one is chosen; a drop that names no
// local file (a web link, a file on another machine) is refused, and the
// panel says so.
static void on_drop(GtkWidget *, GdkDragContext *, gint, gint, GtkSelectionData *data, guint, guint, gpointer user) {
    HostWindow *host = (HostWindow *)user;
    gchar **uris = gtk_selection_data_get_uris(data);
    gchar *path = uris && uris[0] ? host_local_file(uris[0]) : NULL;
    host_drop_file(&host->shared, path);
    g_free(path);
    g_strfreev(uris);
    host->pending = 1;
}

void host_connect_events(HostWindow *host) {
    GtkWidget *area = host->area;
    gtk_widget_set_can_focus(area, TRUE);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                    GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
    static const char *const kInputSignals[] = {"motion-notify-event", "button-press-event", "button-release-event",
                                                "scroll-event",        "key-press-event",    "key-release-event"};
    for (const char *signal : kInputSignals) g_signal_connect(area, signal, G_CALLBACK(on_input), host);
    g_signal_connect(area, "focus-in-event", G_CALLBACK(on_focus), host);
    g_signal_connect(area, "focus-out-event", G_CALLBACK(on_focus), host);
    g_signal_connect(area, "realize", G_CALLBACK(on_realize), host);
    g_signal_connect(area, "size-allocate", G_CALLBACK(on_size), host);
    g_signal_connect(area, "draw", G_CALLBACK(host_draw), host);
    g_signal_connect(host->window, "delete-event", G_CALLBACK(on_delete), host);

    // No highlight: the area paints all of itself, and GTK's frame would sit
    // over the panel until the next frame.
    static const GtkTargetEntry kUriList[] = {{(gchar *)"text/uri-list", 0, 0}};
    gtk_drag_dest_set(area, (GtkDestDefaults)(GTK_DEST_DEFAULT_MOTION | GTK_DEST_DEFAULT_DROP), kUriList, 1,
                      GDK_ACTION_COPY);
    g_signal_connect(area, "drag-data-received", G_CALLBACK(on_drop), host);

    host->im = gtk_im_multicontext_new();
    g_signal_connect(host->im, "commit", G_CALLBACK(on_commit), host);
}

HostEvent host_poll_events(HostWindow *host) {
    nk_input_begin(host->ctx);
    host->event_type = HOST_EVENT_NONE;
    host->event_code = HOST_CODE_NONE;

    if (host->pending) {
        host->pending = 0;
    } else {
        // Sleeps in the main loop until an input event's handler raises the
        // flag, and leaves it raised: the next poll runs without waiting, as
        // after the message that ends the wait on Windows.
        while (!host->pending) g_main_context_iteration(NULL, TRUE);
    }
    // Input among what is drained raises the flag again.
    while (g_main_context_pending(NULL)) g_main_context_iteration(NULL, FALSE);

    nk_input_end(host->ctx);
    HostEvent event;
    event.type = host->closed ? HOST_EVENT_QUIT : host->event_type;
    event.code = host->closed ? HOST_CODE_NONE : host->event_code;
    return event;
}
