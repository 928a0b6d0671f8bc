#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <filesystem>
#include <optional>

namespace orvik::helper {

// Draws an icon file (PNG, XPM or SVG) into a transparent square of exactly size×size pixels, keeping its aspect
// and centring it, and encodes that as PNG. Absent when the file cannot be read or drawn.
class IconRenderer {
public:
    IconRenderer() = delete;

    static std::optional<Bytes> render(const std::filesystem::path& file, int size);
};

} // namespace orvik::helper
