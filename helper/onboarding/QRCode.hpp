#pragma once

#include <QImage>

#include <optional>
#include <string_view>

namespace orvik::helper {

// Renders a text as a sharp QR code picture: black modules on white, error correction M, the text's UTF-8 bytes
// in byte mode, a quiet zone of two modules on every side. Every module covers the same whole number of pixels.
class QRCode {
public:
    static constexpr int defaultPixelSize = 520;
    static constexpr int quietZoneModules = 2;

    struct Picture {
        QImage image;
        int modules = 0; // the code's width in modules, quiet zone included
    };

    QRCode() = delete;

    // As wide as the largest whole multiple of the module count that fits in `pixelSize`, at least one pixel per
    // module. Absent when the text cannot be encoded (too long for any version).
    static std::optional<Picture> image(std::string_view text, int pixelSize = defaultPixelSize);

    // The pixels per module: ⌊pixelSize ÷ width⌋, at least 1.
    static int scaleFactor(int width, int pixelSize);
};

} // namespace orvik::helper
