// Encoded images (PNG and whatever else GDI+'s built-in codecs read) decoded
// into GDI+ images that Nuklear image handles point at. The renderer scales
// the whole image into each image command's rectangle; nothing is cached.
#include <shlwapi.h>
#include <stdlib.h>

#include "gdip/gdip.h"
#include "render/draw.h"

namespace {

// A decoded image keeps its decoder alive for as long as it lives, and with it
// the stream or the open file it came from. A plain copy of its pixels does
// not, and in premultiplied form it is what GDI+ blends fastest, every frame.
// Without memory for the copy the decoded image serves as it is.
struct nk_image own_pixels(GpImage *decoded) {
    UINT width = 0, height = 0;
    GdipGetImageWidth(decoded, &width);
    GdipGetImageHeight(decoded, &height);
    GpBitmap *copy = nullptr;
    if (GdipCloneBitmapAreaI(0, 0, (INT)width, (INT)height, PixelFormat32bppPARGB, (GpBitmap *)decoded, &copy) != Ok ||
        !copy)
        return gdip_wrap_image(decoded);
    GdipDisposeImage(decoded);
    return gdip_wrap_image(copy);
}

}  // namespace

struct nk_image gdip_load_image_memory(const void *data, uint32_t size) {
    IStream *stream = SHCreateMemStream((const BYTE *)data, size);
    if (!stream) return nk_image_id(0);
    GpImage *decoded = nullptr;
    const GpStatus status = GdipLoadImageFromStream(stream, &decoded);
    stream->Release();
    if (status != Ok || !decoded) return nk_image_id(0);
    return own_pixels(decoded);
}

struct nk_image gdip_load_image_file(const wchar_t *path) {
    GpImage *decoded = nullptr;
    if (GdipLoadImageFromFile(path, &decoded) != Ok || !decoded) return nk_image_id(0);
    // The copy also lets the file go, which GDI+ would otherwise keep open.
    return own_pixels(decoded);
}

struct nk_image gdip_wrap_image(GpImage *image) {
    struct nk_image result = nk_image_ptr(image);
    UINT width = 0, height = 0;
    GdipGetImageHeight(image, &height);
    GdipGetImageWidth(image, &width);
    result.w = (unsigned short)width;
    result.h = (unsigned short)height;
    return result;
}

void gdip_image_free(struct nk_image *image) {
    if (image && image->handle.ptr) GdipDisposeImage((GpImage *)image->handle.ptr);
}

wchar_t *gdip_widen_path(const char *path) {
    int units = MultiByteToWideChar(CP_ACP, 0, path, -1, NULL, 0);
    if (units <= 0) return NULL;
    wchar_t *wide = (wchar_t *)malloc((size_t)units * sizeof(wchar_t));
    if (wide && MultiByteToWideChar(CP_ACP, 0, path, -1, wide, units) != units) {
        free(wide);
        wide = NULL;
    }
    return wide;
}

// --- the image functions of render/draw.h -------------------------------------------

struct nk_image draw_load_image_memory(const void *data, uint32_t size) { return gdip_load_image_memory(data, size); }

struct nk_image draw_load_image_file(const char *path) {
    wchar_t *wide = gdip_widen_path(path);
    struct nk_image image = wide ? gdip_load_image_file(wide) : nk_image_id(0);
    free(wide);
    return image;
}

void draw_free_image(struct nk_image *image) { gdip_image_free(image); }
