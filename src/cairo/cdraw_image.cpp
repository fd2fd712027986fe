// PNG images for Nuklear: decoded once into Cairo image surfaces (premultiplied
// ARGB, alpha kept) that the image handles point at; draw_image scales the
// whole surface into each command's rectangle.
#include "cairo/cdraw.h"
#include "render/draw.h"

namespace {

struct MemoryCursor {
    const unsigned char *data;
    uint32_t size, position;
};

// libpng stops asking after the IEND chunk, so bytes stored past it (the
// embedded arrays end in a few zeros) are never read.
cairo_status_t read_memory(void *closure, unsigned char *out, unsigned int length) {
    MemoryCursor *cursor = (MemoryCursor *)closure;
    if (length > cursor->size - cursor->position) return CAIRO_STATUS_READ_ERROR;
    for (unsigned int i = 0; i < length; ++i) out[i] = cursor->data[cursor->position + i];
    cursor->position += length;
    return CAIRO_STATUS_SUCCESS;
}

// Takes over the surface; an error surface becomes the failed image.
struct nk_image wrap_surface(cairo_surface_t *surface) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nk_image_id(0);
    }
    struct nk_image image = nk_image_ptr(surface);
    image.w = (unsigned short)cairo_image_surface_get_width(surface);
    image.h = (unsigned short)cairo_image_surface_get_height(surface);
    return image;
}

}  // namespace

struct nk_image cdraw_load_image_memory(const void *data, uint32_t size) {
    if (!data || size == 0) return nk_image_id(0);
    MemoryCursor cursor = {(const unsigned char *)data, size, 0};
    return wrap_surface(cairo_image_surface_create_from_png_stream(read_memory, &cursor));
}

struct nk_image cdraw_load_image_file(const char *path) {
    if (!path) return nk_image_id(0);
    return wrap_surface(cairo_image_surface_create_from_png(path));
}

void cdraw_image_free(struct nk_image *image) {
    if (image && image->handle.ptr) cairo_surface_destroy((cairo_surface_t *)image->handle.ptr);
}

// --- the image loaders of render/draw.h, through which the host loads --------------

struct nk_image draw_load_image_memory(const void *data, uint32_t size) { return cdraw_load_image_memory(data, size); }
struct nk_image draw_load_image_file(const char *path) { return cdraw_load_image_file(path); }
void draw_free_image(struct nk_image *image) { cdraw_image_free(image); }
