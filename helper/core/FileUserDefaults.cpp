#include "core/FileUserDefaults.hpp"

#include "core/AtomicFile.hpp"
#include "core/DefaultsDocument.hpp"
#include "core/JsonObjectFile.hpp"
#include "core/Log.hpp"
#include "core/XdgPaths.hpp"

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "Defaults";
constexpr mode_t fileMode = 0600;

void keepCopyAside(const std::filesystem::path& file, std::string_view contents) {
    auto copy = file;
    copy += ".unreadable";
    auto failure = AtomicFile::replace(copy, contents, fileMode);
    if (failure) Log::error(logCategory, "Keeping a copy of the defaults failed: " + *failure);
}

} // namespace

FileUserDefaults::FileUserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

std::shared_ptr<FileUserDefaults> FileUserDefaults::standard() {
    auto directory = XdgPaths::configDirectory();
    if (!XdgPaths::ensurePrivateDirectory(directory)) {
        Log::error(logCategory, "Creating the configuration folder failed: " + directory.string());
    }
    return std::make_shared<FileUserDefaults>(directory / fileName);
}

void FileUserDefaults::load() {
    auto read = JsonObjectFile::read(file_, logCategory, "defaults file");
    if (read.status == JsonObjectFile::Status::unreadable) {
        inMemoryOnly_ = true;
        Log::error(logCategory, "Reading the defaults file failed (" + read.error +
                                    "); it is left untouched and settings are kept in memory only until the next "
                                    "start: " +
                                    file_.string());
        return;
    }
    if (read.status == JsonObjectFile::Status::missing) return;
    auto document = DefaultsDocument::decode(read.object);
    values_ = std::move(document.values);
    for (const auto& key : document.unreadableKeys) Log::error(logCategory, "Ignoring an unreadable default: " + key);
    if (!document.unreadableKeys.empty()) keepCopyAside(file_, read.contents);
}

std::optional<UserDefaults::Value> FileUserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mapMutex_);
    return lookup(values_, key);
}

void FileUserDefaults::set(std::string_view key, Value value) {
    std::string contents;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mapMutex_);
        if (!store(values_, key, std::move(value)) || inMemoryOnly_) return;
        generation = ++generation_;
        contents = DefaultsDocument::serialize(values_);
    }
    persist(contents, generation);
}

void FileUserDefaults::remove(std::string_view key) {
    std::string contents;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mapMutex_);
        if (!erase(values_, key) || inMemoryOnly_) return;
        generation = ++generation_;
        contents = DefaultsDocument::serialize(values_);
    }
    persist(contents, generation);
}

std::optional<std::string> FileUserDefaults::changeDurably(Changes changes) {
    std::vector<std::optional<Value>> previous;
    std::string contents;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mapMutex_);
        if (inMemoryOnly_)
            return "the defaults file could not be read, so nothing is written to it until the next start";
        // Written even when nothing changed: an earlier failed write may have left it in memory only.
        for (const auto& [key, value] : changes) {
            previous.push_back(lookup(values_, key));
            if (value) {
                store(values_, key, *value);
            } else {
                erase(values_, key);
            }
        }
        generation = ++generation_;
        contents = DefaultsDocument::serialize(values_);
    }
    auto failure = persist(contents, generation);
    if (!failure) return std::nullopt;
    std::lock_guard lock(mapMutex_);
    // Taken back where no later change came in between.
    for (std::size_t index = 0; index < changes.size(); ++index) {
        const auto& [key, value] = changes[index];
        if (lookup(values_, key) != value) continue;
        if (previous[index]) {
            store(values_, key, std::move(*previous[index]));
        } else {
            erase(values_, key);
        }
    }
    return failure;
}

std::optional<std::string> FileUserDefaults::persist(const std::string& contents, std::uint64_t generation) {
    std::lock_guard lock(fileMutex_);
    if (generation <= writtenGeneration_) return std::nullopt;
    if (auto failure = AtomicFile::replace(file_, contents, fileMode)) {
        Log::error(logCategory, "Saving the defaults failed: " + *failure);
        return failure;
    }
    writtenGeneration_ = generation;
    return std::nullopt;
}

} // namespace orvik::helper
