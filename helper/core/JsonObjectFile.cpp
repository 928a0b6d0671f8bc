#include "core/JsonObjectFile.hpp"

#include "core/AtomicFile.hpp"
#include "core/Log.hpp"

namespace orvik::helper {

JsonObjectFile JsonObjectFile::read(const std::filesystem::path& file, const char* logCategory,
                                    const std::string& what) {
    AtomicFile::removeLeftovers(file);
    auto read = AtomicFile::read(file);
    if (read.status == AtomicFile::ReadResult::Status::missing) return {};
    if (read.status == AtomicFile::ReadResult::Status::failed) return {Status::unreadable, {}, {}, read.error};
    auto document = nlohmann::json::parse(read.contents, nullptr, false);
    if (document.is_object()) return {Status::object, std::move(document), std::move(read.contents), {}};
    if (auto aside = AtomicFile::moveAside(file)) {
        Log::error(logCategory, "The " + what + " is unreadable and was moved aside: " + aside->string());
        return {};
    }
    return {Status::unreadable, {}, {}, "not a JSON object, and moving it aside failed"};
}

} // namespace orvik::helper
