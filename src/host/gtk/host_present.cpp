// Frame presentation: every frame is drawn whole into the Cairo back buffer,
// then the drawing area is asked to repaint, and its draw handler copies the
// buffer in one operation, so the user never sees a half-drawn frame. The
// buffer holds device pixels (twice as many each way on a display scaled by
// 2), so text and edges stay sharp; in desktop and full-screen modes it is
// stretched over the screen. A frame shown is a frame told: what it changed
// goes to assistive technology right after (access.cpp).
#include "host/host.h"

void host_render(HostWindow *host, struct nk_color clear) {
    cdraw_clear(&host->cdraw, clear);
    cdraw_render(&host->cdraw, host->ctx);
    nk_clear(host->ctx);
    gtk_widget_queue_draw(host->area);
    host_access_update(host);
}

gboolean host_draw(GtkWidget *, cairo_t *cr, gpointer data) {
    const HostWindow *host = (const HostWindow *)data;
    const CdrawBackend *cdraw = &host->cdraw;
    if (!cdraw->back_buffer) return FALSE;
    cairo_save(cr);
    // The buffer's device pixels into the area's logical ones.
    cairo_scale(cr, host->shared.output_width / (cdraw->width * cdraw->scale),
                host->shared.output_height / (cdraw->height * cdraw->scale));
    cairo_set_source_surface(cr, cdraw->back_buffer, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
    host_bench_first_paint();
    return TRUE;
}
