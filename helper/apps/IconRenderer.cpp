#include "apps/IconRenderer.hpp"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <memory>

namespace orvik::helper {
namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;
template <typename T> using Object = std::unique_ptr<T, ObjectDeleter>;

cairo_status_t appendPng(void* closure, const unsigned char* data, unsigned int length) {
    auto* png = static_cast<Bytes*>(closure);
    png->insert(png->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

bool drawSvg(cairo_t* context, const std::filesystem::path& file, int size) {
    Object<RsvgHandle> handle(rsvg_handle_new_from_file(file.c_str(), nullptr));
    if (!handle) return false;
    const RsvgRectangle viewport{0, 0, static_cast<double>(size), static_cast<double>(size)};
    return rsvg_handle_render_document(handle.get(), context, &viewport, nullptr) != FALSE;
}

// A raster image scaled to fit, centred; gdk-pixbuf does the scaling, cairo the compositing.
bool drawRaster(cairo_t* context, const std::filesystem::path& file, int size) {
    Object<GdkPixbuf> loaded(gdk_pixbuf_new_from_file_at_scale(file.c_str(), size, size, TRUE, nullptr));
    if (!loaded) return false;
    Object<GdkPixbuf> image(gdk_pixbuf_add_alpha(loaded.get(), FALSE, 0, 0, 0));
    if (!image) return false;
    const int width = gdk_pixbuf_get_width(image.get());
    const int height = gdk_pixbuf_get_height(image.get());
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    cairo_surface_flush(surface.get());
    // gdk-pixbuf rows are RGBA, cairo's are premultiplied native-endian ARGB.
    const int sourceStride = gdk_pixbuf_get_rowstride(image.get());
    const int targetStride = cairo_image_surface_get_stride(surface.get());
    const guchar* source = gdk_pixbuf_read_pixels(image.get());
    unsigned char* target = cairo_image_surface_get_data(surface.get());
    for (int y = 0; y < height; ++y) {
        const guchar* in = source + static_cast<std::ptrdiff_t>(y) * sourceStride;
        auto* out = reinterpret_cast<std::uint32_t*>(target + static_cast<std::ptrdiff_t>(y) * targetStride);
        for (int x = 0; x < width; ++x, in += 4) {
            const std::uint32_t alpha = in[3];
            const auto premultiply = [alpha](guchar channel) { return (channel * alpha + 127) / 255; };
            out[x] = alpha << 24 | premultiply(in[0]) << 16 | premultiply(in[1]) << 8 | premultiply(in[2]);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    cairo_set_source_surface(context, surface.get(), (size - width) / 2.0, (size - height) / 2.0);
    cairo_paint(context);
    return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

} // namespace

std::optional<Bytes> IconRenderer::render(const std::filesystem::path& file, int size) {
    if (size <= 0) return std::nullopt;
    Surface canvas(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size));
    if (cairo_surface_status(canvas.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    Context context(cairo_create(canvas.get()));
    const bool drawn = file.extension() == ".svg" || file.extension() == ".svgz"
                           ? drawSvg(context.get(), file, size)
                           : drawRaster(context.get(), file, size);
    if (!drawn) return std::nullopt;
    cairo_surface_flush(canvas.get());
    Bytes png;
    if (cairo_surface_write_to_png_stream(canvas.get(), &appendPng, &png) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return png;
}

} // namespace orvik::helper
