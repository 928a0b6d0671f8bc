#include "pairing/KeyFileVault.hpp"

#include "core/AtomicFile.hpp"
#include "core/JsonObjectFile.hpp"
#include "core/Log.hpp"
#include "core/XdgPaths.hpp"
#include "orvik/protocol/coding/Base64.hpp"

#include <nlohmann/json.hpp>

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "DeviceStore";
constexpr mode_t keyFileMode = 0600;

} // namespace

KeyFileVault::KeyFileVault(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

std::shared_ptr<KeyFileVault> KeyFileVault::standard() {
    return std::make_shared<KeyFileVault>(XdgPaths::dataDirectory() / fileName);
}

void KeyFileVault::load() {
    auto read = JsonObjectFile::read(file_, logCategory, "key file");
    if (!read) return;
    for (const auto& [name, value] : read->object.items()) {
        auto id = Uuid::parse(name);
        auto key = value.is_string() ? Base64::decode(value.get_ref<const std::string&>()) : std::nullopt;
        if (!id || !key) {
            Log::error(logCategory, "Ignoring an unreadable entry of the key file: " + name);
            continue;
        }
        keys_[*id] = std::move(*key);
    }
}

VaultResult KeyFileVault::save(const std::map<Uuid, Bytes>& keys) {
    auto directory = file_.parent_path();
    if (!directory.empty() && !XdgPaths::ensurePrivateDirectory(directory)) {
        return VaultResult::failed("cannot create the folder " + directory.string());
    }
    nlohmann::json document = nlohmann::json::object();
    for (const auto& [id, key] : keys) document[id.text()] = Base64::encode(key);
    if (auto failure = AtomicFile::replace(file_, document.dump(2) + "\n", keyFileMode)) {
        return VaultResult::failed("key file: " + *failure);
    }
    return VaultResult::ok();
}

VaultResult KeyFileVault::read(const Uuid& deviceID) {
    std::lock_guard lock(mutex_);
    auto found = keys_.find(deviceID);
    if (found == keys_.end()) return VaultResult::notFound();
    return VaultResult::ok(found->second);
}

VaultResult KeyFileVault::write(const Uuid& deviceID, const std::string&, ByteView key) {
    std::lock_guard lock(mutex_);
    auto changed = keys_;
    changed[deviceID] = Bytes(key.begin(), key.end());
    auto result = save(changed);
    if (result.status == VaultResult::Status::ok) keys_ = std::move(changed);
    return result;
}

VaultResult KeyFileVault::remove(const Uuid& deviceID) {
    return remove(std::vector<Uuid>{deviceID});
}

VaultResult KeyFileVault::remove(const std::vector<Uuid>& deviceIDs) {
    std::lock_guard lock(mutex_);
    auto changed = keys_;
    for (const auto& id : deviceIDs) changed.erase(id);
    if (changed.size() == keys_.size()) return VaultResult::ok();
    auto result = save(changed);
    if (result.status == VaultResult::Status::ok) keys_ = std::move(changed);
    return result;
}

std::map<Uuid, Bytes> KeyFileVault::entries() const {
    std::lock_guard lock(mutex_);
    return keys_;
}

} // namespace orvik::helper
