#pragma once

#include "pairing/DeviceKeyVault.hpp"
#include "pairing/KeyFileDocument.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace orvik::helper {

// Device keys in a file readable by the user only (mode 0600 in a 0700 folder): the fallback where no Secret
// Service can be reached. Format: see KeyFileDocument. Read once at construction and rewritten atomically after
// each change; a write that fails leaves file and memory as they were. A file that is not a JSON object is moved
// aside and logged; entries that cannot be read are logged and written back as they were. A file that exists but
// cannot be read is logged and never written over: this vault then holds no key and refuses every write.
// Never unreachable.
class KeyFileVault final : public DeviceKeyVault {
public:
    static constexpr const char* fileName = "device-keys.json";

    explicit KeyFileVault(std::filesystem::path file);

    // The key file of this user, in the helper's data folder.
    static std::shared_ptr<KeyFileVault> standard();

    VaultResult read(const Uuid& deviceID) override;
    VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) override;
    VaultResult remove(const Uuid& deviceID) override;
    VaultContents readAll() override;

    // Every key held.
    std::map<Uuid, Bytes> entries() const;
    // Deletes several keys with one write.
    VaultResult remove(const std::vector<Uuid>& deviceIDs);
    // Deletes, with one write, each of these keys that the file still holds unchanged.
    VaultResult removeUnchanged(const std::map<Uuid, Bytes>& keys);

    const std::filesystem::path& path() const { return file_; }
    // True when the file existed but could not be read: it is left as it is.
    bool isUnreadable() const { return unreadable_; }

private:
    void load();
    VaultResult save(const KeyFileDocument& document);
    VaultResult change(const std::function<bool(KeyFileDocument&)>& edit);

    const std::filesystem::path file_;
    bool unreadable_ = false; // set by the constructor only
    mutable std::mutex mutex_;
    KeyFileDocument document_;
};

} // namespace orvik::helper
