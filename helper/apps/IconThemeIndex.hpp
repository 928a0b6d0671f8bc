#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::helper {

// One icon theme's index.theme: its icon directories with the sizes each serves, and the themes it inherits. Any
// number the file holds is taken as it is; distances are computed without overflow.
struct IconThemeIndex {
    struct Directory {
        enum class Type { fixed, scalable, threshold };

        std::string name;
        Type type = Type::threshold;
        int size = 0;
        int minSize = 0;
        int maxSize = 0;
        int threshold = 2;

        // How many pixels its icons are from an edge of `pixels` (0: they fit).
        std::int64_t distance(int pixels) const;
    };

    std::vector<Directory> directories;
    std::vector<std::string> inherits;

    // Absent when the text is not a key file with an "Icon Theme" group.
    static std::optional<IconThemeIndex> parse(std::string_view contents);
    static std::optional<IconThemeIndex> load(const std::filesystem::path& file);
};

} // namespace orvik::helper
