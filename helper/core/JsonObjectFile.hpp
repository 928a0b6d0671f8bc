#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace orvik::helper {

// A file of the helper's own holding one JSON object, written with AtomicFile. Reading first removes what an
// interrupted write left beside it. A missing file reads as absent; one that cannot be read is logged and reads
// as absent; one that is not a JSON object is moved aside (kept, never overwritten), logged, and reads as absent.
struct JsonObjectFile {
    nlohmann::json object;
    // The text the object was read from.
    std::string contents;

    // `what` names the file in log lines ("key file": "Reading the key file failed: …").
    static std::optional<JsonObjectFile> read(const std::filesystem::path& file, const char* logCategory,
                                              const std::string& what);
};

} // namespace orvik::helper
