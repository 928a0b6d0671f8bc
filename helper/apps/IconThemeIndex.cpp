#include "apps/IconThemeIndex.hpp"

#include "apps/KeyFileLists.hpp"

#include <glib.h>

#include <memory>

namespace orvik::helper {
namespace {

constexpr const char* themeGroup = "Icon Theme";
constexpr int defaultThreshold = 2;

KeyFile newIndexFile() {
    KeyFile file(g_key_file_new());
    // Theme lists are separated by commas, unlike desktop entries.
    g_key_file_set_list_separator(file.get(), ',');
    return file;
}

int integer(GKeyFile* file, const char* group, const char* key, int fallback) {
    GError* error = nullptr;
    const int value = g_key_file_get_integer(file, group, key, &error);
    if (error) {
        g_error_free(error);
        return fallback;
    }
    return value;
}

std::string text(GKeyFile* file, const char* group, const char* key) {
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

IconThemeIndex::Directory directory(GKeyFile* file, const std::string& name) {
    IconThemeIndex::Directory read;
    read.name = name;
    const char* group = name.c_str();
    read.size = integer(file, group, "Size", 0);
    const auto type = text(file, group, "Type");
    read.type = type == "Fixed"      ? IconThemeIndex::Directory::Type::fixed
                : type == "Scalable" ? IconThemeIndex::Directory::Type::scalable
                                     : IconThemeIndex::Directory::Type::threshold;
    read.minSize = integer(file, group, "MinSize", read.size);
    read.maxSize = integer(file, group, "MaxSize", read.size);
    read.threshold = integer(file, group, "Threshold", defaultThreshold);
    return read;
}

std::optional<IconThemeIndex> indexOf(GKeyFile* file) {
    if (!g_key_file_has_group(file, themeGroup)) return std::nullopt;
    IconThemeIndex index;
    for (const auto& name : keyFileList(file, themeGroup, "Directories")) {
        index.directories.push_back(directory(file, name));
    }
    index.inherits = keyFileList(file, themeGroup, "Inherits");
    return index;
}

} // namespace

std::int64_t IconThemeIndex::Directory::distance(int pixels) const {
    std::int64_t low = size;
    std::int64_t high = size;
    if (type == Type::scalable) {
        low = minSize;
        high = maxSize;
    } else if (type == Type::threshold) {
        low = std::int64_t{size} - threshold;
        high = std::int64_t{size} + threshold;
    }
    if (pixels < low) return low - pixels;
    return pixels > high ? pixels - high : 0;
}

std::optional<IconThemeIndex> IconThemeIndex::parse(std::string_view contents) {
    auto file = newIndexFile();
    if (!g_key_file_load_from_data(file.get(), contents.data(), contents.size(), G_KEY_FILE_NONE, nullptr)) {
        return std::nullopt;
    }
    return indexOf(file.get());
}

std::optional<IconThemeIndex> IconThemeIndex::load(const std::filesystem::path& file) {
    auto keys = newIndexFile();
    if (!g_key_file_load_from_file(keys.get(), file.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    return indexOf(keys.get());
}

} // namespace orvik::helper
