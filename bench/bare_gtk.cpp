// The baseline the native patcher window is measured against: a bare GTK 3
// window of the same client size that draws one string, and says on stdout
// when its first frame is on screen, as the patcher's benchmark build does.
#include <stdio.h>

#include <gtk/gtk.h>

static gboolean draw(GtkWidget *, cairo_t *cr, gpointer) {
    static int painted;
    cairo_set_source_rgb(cr, 30 / 255.0, 30 / 255.0, 30 / 255.0);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
    cairo_set_font_size(cr, 13);
    cairo_move_to(cr, 10, 20);
    cairo_show_text(cr, "Quelmor: Kelm patcher");
    if (!painted++) {
        printf("painted\n");
        fflush(stdout);
    }
    return TRUE;
}

int main(int argc, char **argv) {
    gtk_init(&argc, &argv);
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "bare");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget *area = gtk_drawing_area_new();
    gtk_widget_set_size_request(area, 500, 223);
    gtk_container_add(GTK_CONTAINER(window), area);
    g_signal_connect(area, "draw", G_CALLBACK(draw), NULL);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
