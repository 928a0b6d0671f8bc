#pragma once

#include "pairing/DeviceKeyVault.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace orvik::helper {

// Device keys in a file readable by the user only (mode 0600 in a 0700 folder): the fallback where no Secret
// Service can be reached. Format: {"<device UUID>": "<key, standard Base64>", …}. Read once at construction
// (an unreadable file is moved aside and logged) and rewritten atomically after each change; a write that fails
// leaves file and memory as they were. Never unreachable.
class KeyFileVault final : public DeviceKeyVault {
public:
    static constexpr const char* fileName = "device-keys.json";

    explicit KeyFileVault(std::filesystem::path file);

    // The key file of this user, in the helper's data folder.
    static std::shared_ptr<KeyFileVault> standard();

    VaultResult read(const Uuid& deviceID) override;
    VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) override;
    VaultResult remove(const Uuid& deviceID) override;

    // Every key held.
    std::map<Uuid, Bytes> entries() const;
    // Deletes several keys with one write.
    VaultResult remove(const std::vector<Uuid>& deviceIDs);

    const std::filesystem::path& path() const { return file_; }

private:
    void load();
    VaultResult save(const std::map<Uuid, Bytes>& keys);

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<Uuid, Bytes> keys_;
};

} // namespace orvik::helper
