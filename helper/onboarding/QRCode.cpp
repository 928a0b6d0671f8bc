#include "onboarding/QRCode.hpp"

#include <qrencode.h>

#include <memory>

namespace orvik::helper {

int QRCode::scaleFactor(int width, int pixelSize) {
    if (width <= 0 || pixelSize < width) return 1;
    return pixelSize / width;
}

std::optional<QRCode::Picture> QRCode::image(std::string_view text, int pixelSize) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(text.size()), reinterpret_cast<const unsigned char*>(text.data()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code || code->width <= 0) return std::nullopt;

    const int modules = code->width + 2 * quietZoneModules;
    QImage small(modules, modules, QImage::Format_Grayscale8);
    small.fill(Qt::white);
    for (int y = 0; y < code->width; ++y) {
        auto* line = small.scanLine(y + quietZoneModules) + quietZoneModules;
        const unsigned char* row = code->data + y * code->width;
        for (int x = 0; x < code->width; ++x) {
            if (row[x] & 1) line[x] = 0; // the lowest bit marks a dark module
        }
    }
    const int side = modules * scaleFactor(modules, pixelSize);
    return Picture{small.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation), modules};
}

} // namespace orvik::helper
