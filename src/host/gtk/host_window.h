// The GTK 3 host's record: everything the host and its Cairo backend keep
// between calls, reached from the one HostWindow that main owns.
#pragma once

#include <stdint.h>

#include <gtk/gtk.h>

#include "cairo/cdraw.h"
#include "host/host_shared.h"
#include "host/input.h"
#include "ui/access.h"

typedef CdrawFont HostFont;

// What assistive technology has been given of the panel (access.cpp).
struct HostAccess {
    AtkObject *root;                       // the area's accessible, once a client asked for it
    AtkObject *nodes[ACCESS_NODE_COUNT];   // the other nodes' objects, each made when first needed
    AccessTree told;                       // the tree as the last notifications left it
    uint8_t told_focus;                    // the node last told focused, or ACCESS_NONE
};

struct HostWindow {
    struct nk_context *ctx;   // &context once host_init succeeded, else null
    CdrawFont *font;          // current UI font, released by host_shutdown
    GtkWidget *window;        // the toplevel
    GtkWidget *area;          // the drawing area inside it: input, painting, the accessible panel
    char title[128];          // UTF-8, terminated
    int32_t pending;          // 1: the next poll must not block

    HostShared shared;

    // What the poll in progress has seen, filled by the event handlers.
    int32_t event_type, event_code;
    int32_t closed;           // the user closed the window
    GtkIMContext *im;         // dead keys, compose and input methods

    struct nk_context context;
    CdrawBackend cdraw;
    HostAccess access;
};

// Turns one GDK event on the drawing area into Nuklear input. Returns 1 when
// Nuklear took it. The event handlers call it; so do the tests, with events
// they make themselves.
int host_handle_event(HostWindow *host, GdkEvent *event);
// Connects the drawing area's signals to the record (host_events.cpp).
void host_connect_events(HostWindow *host);
// Paints the back buffer into the drawing area (host_present.cpp).
gboolean host_draw(GtkWidget *area, cairo_t *cr, gpointer host);
// The drawing area, whose accessible describes the panel; after each frame,
// what changed told to whoever listens; at shutdown, the objects let go
// (access.cpp).
GtkWidget *host_access_area_new(HostWindow *host);
void host_access_update(HostWindow *host);
void host_access_shutdown(HostWindow *host);
int32_t host_set_fullscreen(HostWindow *host, GtkWidget *window, int32_t width, int32_t height);
