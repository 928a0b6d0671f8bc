#pragma once

#include "preferences/HelperPreferences.hpp"

#include <array>
#include <cstdint>

namespace orvik::helper {

// Colours, sizes and alphas of the laser dot and the spotlight, independent of the toolkit that draws them.
struct OverlayStyle {
    struct Color {
        std::uint8_t red = 0;
        std::uint8_t green = 0;
        std::uint8_t blue = 0;
        bool operator==(const Color&) const = default;
    };
    // One filled circle of the laser, centred on the pointer.
    struct Circle {
        double radius = 0;
        double alpha = 0;
        bool operator==(const Circle&) const = default;
    };

    // The laser dot's radius before scaling, the step between its glow rings and the number of rings.
    static constexpr double dotRadius = 9;
    static constexpr double ringStep = 6;
    static constexpr int ringCount = 4;
    static constexpr double ringAlphaStep = 0.08;
    // The spotlight's hole radius before scaling and how dark the rest of the screen gets.
    static constexpr double spotlightRadius = 110;
    static constexpr double spotlightDimAlpha = 0.7;
    // A laser dot whose pointer stood still for longer than this is hidden until the pointer moves.
    static constexpr double laserIdleTimeout = 3.0;

    static Color color(HelperPreferences::OverlayColor color);
    static double scale(HelperPreferences::OverlaySize size);

    // The glow rings from the outermost in, then the opaque dot: radii r + 24s, r + 18s, r + 12s, r + 6s with
    // alphas 0.08, 0.16, 0.24, 0.32, then r with alpha 1 (r = 9s, s the scale).
    static std::array<Circle, ringCount + 1> laserCircles(double scale);
    static double spotlightHoleRadius(double scale) { return spotlightRadius * scale; }
};

} // namespace orvik::helper
