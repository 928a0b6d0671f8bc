#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// Whole-file replacement that a crash or power cut cannot tear: the new contents go to a temporary file beside
// the target, which is flushed to disk and then renamed over the target, and the folder is flushed so the rename
// itself survives. Readers see either the old file or the new one, never a mix.
struct AtomicFile {
    AtomicFile() = delete;

    struct ReadResult {
        enum class Status { contents, missing, failed };
        Status status = Status::missing;
        std::string contents;
        std::string error;
    };

    static ReadResult read(const std::filesystem::path& file);

    // Replaces the file with the contents, created with the given mode. Returns the reason on failure, in which
    // case the old file is untouched.
    static std::optional<std::string> replace(const std::filesystem::path& file, std::string_view contents,
                                              mode_t mode);

    // Renames an unreadable file aside ("<name>.corrupt-<UTC time>") so that it is kept, not overwritten.
    // Returns the new path, absent when the rename failed.
    static std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file);

    // Deletes the temporary files that an interrupted replace left beside the file.
    static void removeLeftovers(const std::filesystem::path& file);
};

} // namespace orvik::helper
