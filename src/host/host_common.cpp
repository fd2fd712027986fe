// Host operations that read the same on every platform, compiled into each
// platform's host against its own host_window.h: the start-up error's text,
// starting the record's Nuklear context with the clipboard, handing a dropped
// file to the panel, and the image loaders. The drawing
// layer decodes images (draw_load_image_*); the host only refuses to before it
// is up, as a drawing layer's images may need what host_init starts (GDI+'s do).
#include <stdarg.h>
#include <stdio.h>

#include "host/chooser.h"
#include "host/clipboard.h"
#include "host/host.h"
#include "render/draw.h"

int32_t host_fatal(const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) text[0] = 0;
    host_show_error(text, written >= (int)sizeof text);
    return 0;
}

struct nk_context *host_start_nuklear(HostWindow *host) {
    if (!nk_init_default(&host->context, NULL)) return NULL;
    host->context.clip.copy = host_clipboard_copy;
    host->context.clip.paste = host_clipboard_paste;
    host->context.clip.userdata = nk_handle_ptr(host);
    return &host->context;
}

int take_dropped_file(HostWindow *host, const char **path) { return host_take_drop(&host->shared, path); }

struct nk_image host_load_image_memory(HostWindow *host, const void *data, uint32_t size) {
    if (!host->ctx) return nk_image_id(0);
    return draw_load_image_memory(data, size);
}

struct nk_image host_load_image_file(HostWindow *host, const char *path) {
    if (!host->ctx) return nk_image_id(0);
    return draw_load_image_file(path);
}

void host_free_image(struct nk_image *image) {
    draw_free_image(image);
    image->w = 0;
    image->h = 0;
}
