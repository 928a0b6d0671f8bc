#include "overlay/OverlayStyle.hpp"

namespace orvik::helper {

OverlayStyle::Color OverlayStyle::color(HelperPreferences::OverlayColor color) {
    switch (color) {
    case HelperPreferences::OverlayColor::aurora: return {35, 213, 171};
    case HelperPreferences::OverlayColor::red:
        // The red the system's palette uses for alerts, in sRGB.
        return {255, 59, 48};
    case HelperPreferences::OverlayColor::white: return {255, 255, 255};
    }
    return {255, 59, 48};
}

double OverlayStyle::scale(HelperPreferences::OverlaySize size) {
    switch (size) {
    case HelperPreferences::OverlaySize::small: return 0.7;
    case HelperPreferences::OverlaySize::medium: return 1.0;
    case HelperPreferences::OverlaySize::large: return 1.5;
    }
    return 1.0;
}

std::array<OverlayStyle::Circle, OverlayStyle::ringCount + 1> OverlayStyle::laserCircles(double scale) {
    std::array<Circle, ringCount + 1> circles;
    double radius = dotRadius * scale;
    for (int ring = ringCount; ring >= 1; --ring) {
        circles[static_cast<std::size_t>(ringCount - ring)] = {radius + ring * ringStep * scale,
                                                               (ringCount + 1 - ring) * ringAlphaStep};
    }
    circles[ringCount] = {radius, 1.0};
    return circles;
}

} // namespace orvik::helper
