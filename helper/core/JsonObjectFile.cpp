#include "core/JsonObjectFile.hpp"

#include "core/AtomicFile.hpp"
#include "core/Log.hpp"

namespace orvik::helper {

std::optional<JsonObjectFile> JsonObjectFile::read(const std::filesystem::path& file, const char* logCategory,
                                                   const std::string& what) {
    AtomicFile::removeLeftovers(file);
    auto read = AtomicFile::read(file);
    if (read.status == AtomicFile::ReadResult::Status::missing) return std::nullopt;
    if (read.status == AtomicFile::ReadResult::Status::failed) {
        Log::error(logCategory, "Reading the " + what + " failed: " + read.error);
        return std::nullopt;
    }
    auto document = nlohmann::json::parse(read.contents, nullptr, false);
    if (!document.is_object()) {
        auto aside = AtomicFile::moveAside(file);
        Log::error(logCategory, "The " + what + " is unreadable and was moved aside: " +
                                    (aside ? aside->string() : std::string("(move failed)")));
        return std::nullopt;
    }
    return JsonObjectFile{std::move(document), std::move(read.contents)};
}

} // namespace orvik::helper
