#pragma once

#include <glib.h>

#include <memory>
#include <string>
#include <vector>

namespace orvik::helper {

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
// A GKeyFile owned: desktop entries and icon theme indexes are both read as key files.
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// The values of a list key ("a;b;c;") of a desktop entry or an icon theme index; empty when the key is absent.
inline std::vector<std::string> keyFileList(GKeyFile* file, const char* group, const char* key) {
    gsize length = 0;
    gchar** values = g_key_file_get_string_list(file, group, key, &length, nullptr);
    std::vector<std::string> result;
    for (gsize index = 0; index < length; ++index) result.emplace_back(values[index]);
    g_strfreev(values);
    return result;
}

} // namespace orvik::helper
