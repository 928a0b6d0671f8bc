#pragma once

#include "core/UserDefaults.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace orvik::helper {

// The production user defaults: one JSON file (format: see DefaultsDocument), read once at construction and
// rewritten whole after each change.
//
// Writes are atomic (see AtomicFile). A file that is not such an object is renamed aside, logged and read as
// empty; entries that cannot be read are logged and left out, after a copy of the file was kept aside. A file that
// exists but cannot be read (permissions, a folder in its place) is never written over: it is logged, and the
// defaults live in memory only until the next start. One lock guards the map, so any thread may read and write; a
// value equal to the stored one writes nothing. A failed write is logged and leaves the old file; the new value
// stays in memory and goes to disk with the next change, except from changeDurably, which then takes it back.
class FileUserDefaults final : public UserDefaults {
public:
    static constexpr const char* fileName = "defaults.json";

    explicit FileUserDefaults(std::filesystem::path file);

    // The defaults of this user: "defaults.json" in the helper's configuration folder.
    static std::shared_ptr<FileUserDefaults> standard();

    std::optional<Value> value(std::string_view key) const override;
    void set(std::string_view key, Value value) override;
    void remove(std::string_view key) override;
    std::optional<std::string> changeDurably(Changes changes) override;

    const std::filesystem::path& path() const { return file_; }
    // True when the file could not be read at construction: changes are kept in memory only.
    bool keepsChangesInMemory() const { return inMemoryOnly_; }

private:
    void load();
    // Absent when these contents, or newer ones, are on disk; else why not.
    std::optional<std::string> persist(const std::string& contents, std::uint64_t generation);

    const std::filesystem::path file_;
    bool inMemoryOnly_ = false; // set by the constructor only

    mutable std::mutex mapMutex_;
    ValueMap values_;
    std::uint64_t generation_ = 0;

    // Held while writing the file, so snapshots reach the disk in order and an older one never replaces a newer.
    std::mutex fileMutex_;
    std::uint64_t writtenGeneration_ = 0;
};

} // namespace orvik::helper
