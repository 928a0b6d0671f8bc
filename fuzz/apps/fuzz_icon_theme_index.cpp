// Icon theme index files: reading one never crashes, and every directory's distance from any icon size is
// computed without overflow (UBSan stops the run on one), is never negative and is 0 for a size it serves.
#include "apps/IconThemeIndex.hpp"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::IconThemeIndex;
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    const auto index = IconThemeIndex::parse(contents);
    if (!index) return 0;
    for (const auto& directory : index->directories) {
        for (const int pixels : {INT_MIN, -1, 0, 16, 48, 256, INT_MAX}) {
            if (directory.distance(pixels) < 0) std::abort();
        }
        if (directory.type == IconThemeIndex::Directory::Type::fixed && directory.distance(directory.size) != 0) {
            std::abort();
        }
    }
    return 0;
}
