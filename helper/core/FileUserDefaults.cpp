#include "core/FileUserDefaults.hpp"

#include "core/AtomicFile.hpp"
#include "core/JsonObjectFile.hpp"
#include "core/Log.hpp"
#include "core/XdgPaths.hpp"
#include "orvik/protocol/coding/Base64.hpp"

#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "Defaults";
constexpr mode_t fileMode = 0600;

nlohmann::json encodeValue(const UserDefaults::Value& value) {
    struct Encoder {
        nlohmann::json operator()(bool flag) const { return {{"type", "bool"}, {"value", flag}}; }
        nlohmann::json operator()(std::int64_t number) const { return {{"type", "integer"}, {"value", number}}; }
        nlohmann::json operator()(const std::string& text) const { return {{"type", "text"}, {"value", text}}; }
        nlohmann::json operator()(const Bytes& data) const {
            return {{"type", "data"}, {"value", Base64::encode(data)}};
        }
    };
    return std::visit(Encoder{}, value);
}

std::optional<UserDefaults::Value> decodeValue(const nlohmann::json& entry) {
    if (!entry.is_object()) return std::nullopt;
    auto type = entry.find("type");
    auto value = entry.find("value");
    if (type == entry.end() || value == entry.end() || !type->is_string()) return std::nullopt;
    const auto& name = type->get_ref<const std::string&>();
    if (name == "bool" && value->is_boolean()) return UserDefaults::Value(value->get<bool>());
    if (name == "integer" && value->is_number_integer()) return UserDefaults::Value(value->get<std::int64_t>());
    if (name == "text" && value->is_string()) return UserDefaults::Value(value->get<std::string>());
    if (name == "data" && value->is_string()) {
        if (auto bytes = Base64::decode(value->get_ref<const std::string&>())) return UserDefaults::Value(*bytes);
    }
    return std::nullopt;
}

std::string serialize(const std::map<std::string, UserDefaults::Value, std::less<>>& values) {
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [key, value] : values) document[key] = encodeValue(value);
    // Invalid UTF-8 in a text is written as U+FFFD rather than failing the whole write.
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

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
    if (!read) return;
    bool skipped = false;
    for (const auto& [key, entry] : read->object.items()) {
        if (auto value = decodeValue(entry)) {
            values_.emplace(key, std::move(*value));
        } else {
            Log::error(logCategory, "Ignoring an unreadable default: " + key);
            skipped = true;
        }
    }
    if (skipped) keepCopyAside(file_, read->contents);
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
        if (!store(values_, key, std::move(value))) return;
        generation = ++generation_;
        contents = serialize(values_);
    }
    persist(contents, generation);
}

void FileUserDefaults::remove(std::string_view key) {
    std::string contents;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mapMutex_);
        if (!erase(values_, key)) return;
        generation = ++generation_;
        contents = serialize(values_);
    }
    persist(contents, generation);
}

void FileUserDefaults::persist(const std::string& contents, std::uint64_t generation) {
    std::lock_guard lock(fileMutex_);
    if (generation <= writtenGeneration_) return;
    if (auto failure = AtomicFile::replace(file_, contents, fileMode)) {
        Log::error(logCategory, "Saving the defaults failed: " + *failure);
        return;
    }
    writtenGeneration_ = generation;
}

} // namespace orvik::helper
