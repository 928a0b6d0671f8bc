#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace orvik::helper {

// A file of the helper's own holding one JSON object, written with AtomicFile. Reading first removes what an
// interrupted write left beside it. A file that is not a JSON object is moved aside (kept, never overwritten),
// logged, and reads as missing. A file that cannot be read at all (permissions, a folder in its place, an I/O
// error), or whose move aside failed, reads as unreadable: its owner must leave it as it is, never write over it.
struct JsonObjectFile {
    enum class Status { object, missing, unreadable };

    Status status = Status::missing;
    nlohmann::json object;
    // The text the object was read from.
    std::string contents;
    // Why an unreadable file could not be read.
    std::string error;

    // `what` names the file in log lines ("key file": "The key file is unreadable and was moved aside: …").
    static JsonObjectFile read(const std::filesystem::path& file, const char* logCategory, const std::string& what);
};

} // namespace orvik::helper
