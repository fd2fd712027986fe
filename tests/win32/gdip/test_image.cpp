// Images decoded by the real GDI+ codecs from memory, and drawn through a
// Nuklear image command.
#include <gtest/gtest.h>

#include <shlwapi.h>
#include <string.h>

#include <string>

#include "backend.h"

namespace {

// A solid-colour PNG, encoded by GDI+'s own PNG encoder.
std::string make_png(int width, int height, ARGB colour) {
    UINT count = 0, bytes = 0;
    GdipGetImageEncodersSize(&count, &bytes);
    std::vector<char> buffer(bytes);
    auto *codecs = (ImageCodecInfo *)buffer.data();
    GdipGetImageEncoders(count, bytes, codecs);
    const ImageCodecInfo *png = nullptr;
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(codecs[i].MimeType, L"image/png") == 0) png = &codecs[i];
    if (!png) return {};

    GpBitmap *bitmap = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    GpGraphics *graphics = nullptr;
    GdipGetImageGraphicsContext(bitmap, &graphics);
    GdipGraphicsClear(graphics, colour);
    GdipDeleteGraphics(graphics);

    std::string out;
    IStream *stream = SHCreateMemStream(nullptr, 0);
    if (stream && GdipSaveImageToStream(bitmap, stream, &png->Clsid, nullptr) == Ok) {
        ULARGE_INTEGER size = {};
        stream->Seek({}, STREAM_SEEK_END, &size);
        stream->Seek({}, STREAM_SEEK_SET, nullptr);
        out.resize((size_t)size.QuadPart);
        ULONG got = 0;
        stream->Read(out.data(), (ULONG)out.size(), &got);
        out.resize(got);
    }
    if (stream) stream->Release();
    GdipDisposeImage(bitmap);
    return out;
}

void expect_failed(const struct nk_image &image) {
    EXPECT_EQ(image.handle.ptr, nullptr);
    EXPECT_EQ(image.w, 0);
    EXPECT_EQ(image.h, 0);
}

TEST(Image, PngFromMemoryDecodesToItsSizeAndDraws) {
    std::string png = make_png(48, 48, 0xFF00C000);
    ASSERT_GT(png.size(), 8u) << "GDI+ has no PNG encoder";
    ASSERT_EQ(png.compare(0, 4, "\x89PNG"), 0);
    png.append(16, '\0');   // data padded behind the image's end still decodes

    struct nk_image image = gdip_load_image_memory(png.data(), (uint32_t)png.size());
    ASSERT_NE(image.handle.ptr, nullptr);
    EXPECT_EQ(image.w, 48);
    EXPECT_EQ(image.h, 48);
    for (unsigned short v : image.region) EXPECT_EQ(v, 0);

    // Scaled into the command's rectangle, whatever its own size.
    render_frame(nk_rgb(30, 30, 30),
                 [&](struct nk_command_buffer *canvas) { nk_draw_image(canvas, nk_rect(200, 100, 24, 12), &image, nk_rgb(255, 255, 255)); });
    const Pixels p = read_back_buffer();
    EXPECT_EQ(p.at(211, 105), 0xFF00C000u);
    EXPECT_EQ(p.at(230, 105), 0xFF1E1E1Eu);
    EXPECT_EQ(p.at(211, 116), 0xFF1E1E1Eu);

    const struct nk_image kept = image;
    gdip_image_free(&image);
    EXPECT_EQ(memcmp(&kept, &image, sizeof image), 0);
}

TEST(Image, NotAnImageGivesTheEmptyImage) {
    static const char garbage[] = "definitely not an image, just words";
    expect_failed(gdip_load_image_memory(garbage, sizeof garbage));
    expect_failed(gdip_load_image_memory(garbage, 0));
    expect_failed(gdip_load_image_file(L"Z:\\nonexistent\\kelm.png"));

    // An empty image draws nothing and the commands after it still draw.
    const struct nk_image none = nk_image_id(0);
    render_frame(nk_rgb(30, 30, 30), [&](struct nk_command_buffer *canvas) {
        nk_draw_image(canvas, nk_rect(0, 0, 100, 100), &none, nk_rgb(255, 255, 255));
        nk_fill_rect(canvas, nk_rect(150, 0, 10, 10), 0, nk_rgb(255, 0, 0));
    });
    const Pixels p = read_back_buffer();
    EXPECT_EQ(p.at(50, 50), 0xFF1E1E1Eu);
    EXPECT_EQ(p.at(155, 5), 0xFFFF0000u);
}

TEST(Image, WideImageKeepsTheLow16BitsOfItsWidth) {
    GpBitmap *wide = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(65536 + 7, 2, 0, PixelFormat32bppARGB, nullptr, &wide), Ok);
    struct nk_image image = gdip_wrap_image(wide);
    EXPECT_EQ(image.handle.ptr, (void *)wide);
    EXPECT_EQ(image.w, 7);
    EXPECT_EQ(image.h, 2);
    gdip_image_free(&image);
}

}  // namespace
