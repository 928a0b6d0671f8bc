#include "pairing/KeyFileVault.hpp"

#include "core/AtomicFile.hpp"
#include "core/JsonObjectFile.hpp"
#include "core/Log.hpp"
#include "core/XdgPaths.hpp"

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "DeviceStore";
constexpr mode_t keyFileMode = 0600;

// Drops the unreadable entries that name this device: a new key or a removal of the device replaces them.
void forgetUnreadable(KeyFileDocument& document, const Uuid& deviceID) {
    for (auto entry = document.unreadable.begin(); entry != document.unreadable.end();) {
        if (Uuid::parse(entry.key()) == deviceID) {
            entry = document.unreadable.erase(entry);
        } else {
            ++entry;
        }
    }
}

} // namespace

KeyFileVault::KeyFileVault(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

std::shared_ptr<KeyFileVault> KeyFileVault::standard() {
    return std::make_shared<KeyFileVault>(XdgPaths::dataDirectory() / fileName);
}

void KeyFileVault::load() {
    auto read = JsonObjectFile::read(file_, logCategory, "key file");
    if (read.status == JsonObjectFile::Status::unreadable) {
        unreadable_ = true;
        Log::error(logCategory, "Reading the key file failed (" + read.error +
                                    "); it is left untouched and no key is written to it: " + file_.string());
        return;
    }
    if (read.status == JsonObjectFile::Status::missing) return;
    document_ = KeyFileDocument::decode(read.object);
    for (const auto& [name, value] : document_.unreadable.items()) {
        Log::error(logCategory, "Ignoring an unreadable entry of the key file: " + name);
    }
}

VaultResult KeyFileVault::save(const KeyFileDocument& document) {
    auto directory = file_.parent_path();
    if (!directory.empty() && !XdgPaths::ensurePrivateDirectory(directory)) {
        return VaultResult::failed("cannot create the folder " + directory.string());
    }
    if (auto failure = AtomicFile::replace(file_, document.serialize(), keyFileMode)) {
        return VaultResult::failed("key file: " + *failure);
    }
    return VaultResult::ok();
}

// Applies the edit to a copy, writes the copy when the edit changed something and takes it once it is written.
// An unreadable file holds nothing here, so only a write of a key reaches it, and is refused.
VaultResult KeyFileVault::change(const std::function<bool(KeyFileDocument&)>& edit) {
    std::lock_guard lock(mutex_);
    auto changed = document_;
    if (!edit(changed)) return VaultResult::ok();
    if (unreadable_) return VaultResult::failed("the key file could not be read, so nothing is written to it");
    auto result = save(changed);
    if (result.status == VaultResult::Status::ok) document_ = std::move(changed);
    return result;
}

VaultResult KeyFileVault::read(const Uuid& deviceID) {
    std::lock_guard lock(mutex_);
    auto found = document_.keys.find(deviceID);
    if (found == document_.keys.end()) return VaultResult::notFound();
    return VaultResult::ok(found->second);
}

VaultResult KeyFileVault::write(const Uuid& deviceID, const std::string&, ByteView key) {
    return change([&](KeyFileDocument& document) {
        document.keys[deviceID] = Bytes(key.begin(), key.end());
        forgetUnreadable(document, deviceID);
        return true;
    });
}

VaultResult KeyFileVault::remove(const Uuid& deviceID) {
    return remove(std::vector<Uuid>{deviceID});
}

VaultResult KeyFileVault::remove(const std::vector<Uuid>& deviceIDs) {
    return change([&](KeyFileDocument& document) {
        bool changed = false;
        for (const auto& id : deviceIDs) {
            auto unreadableBefore = document.unreadable.size();
            forgetUnreadable(document, id);
            changed = document.keys.erase(id) > 0 || document.unreadable.size() != unreadableBefore || changed;
        }
        return changed;
    });
}

VaultResult KeyFileVault::removeUnchanged(const std::map<Uuid, Bytes>& keys) {
    return change([&](KeyFileDocument& document) {
        bool changed = false;
        for (const auto& [id, key] : keys) {
            auto found = document.keys.find(id);
            if (found == document.keys.end() || found->second != key) continue;
            document.keys.erase(found);
            changed = true;
        }
        return changed;
    });
}

VaultContents KeyFileVault::readAll() {
    return {VaultResult::Status::ok, entries(), {}};
}

std::map<Uuid, Bytes> KeyFileVault::entries() const {
    std::lock_guard lock(mutex_);
    return document_.keys;
}

} // namespace orvik::helper
