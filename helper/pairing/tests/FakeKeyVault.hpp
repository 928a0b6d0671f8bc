#pragma once

#include "pairing/DeviceKeyVault.hpp"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace orvik::helper::testing {

// A keyring in memory that can be told to fail, and that counts its reads: one by one, and all at once. Its watch
// of unlocks hears what unlock() announces.
class FakeKeyVault final : public DeviceKeyVault {
public:
    struct Item {
        std::string label;
        Bytes key;
    };

    VaultResult read(const Uuid& deviceID) override {
        VaultResult result = VaultResult::notFound();
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex_);
            ++reads_;
            hook = beforeReadReturns_;
            if (failure_) {
                result = *failure_;
            } else if (auto found = items_.find(deviceID); found != items_.end()) {
                result = VaultResult::ok(found->second.key);
            }
        }
        if (hook) hook();
        return result;
    }

    VaultContents readAll() override {
        std::lock_guard lock(mutex_);
        ++readAlls_;
        if (failure_) return {failure_->status, {}, failure_->detail};
        VaultContents contents{VaultResult::Status::ok, {}, {}};
        for (const auto& [id, item] : items_) contents.keys.emplace(id, item.key);
        return contents;
    }

    VaultResult write(const Uuid& deviceID, const std::string& label, ByteView key) override {
        std::lock_guard lock(mutex_);
        if (failure_) return *failure_;
        items_[deviceID] = {label, Bytes(key.begin(), key.end())};
        return VaultResult::ok();
    }

    VaultResult remove(const Uuid& deviceID) override {
        std::function<void(const Uuid&)> hook;
        {
            std::lock_guard lock(mutex_);
            hook = beforeRemove_;
        }
        if (hook) hook(deviceID);
        std::lock_guard lock(mutex_);
        if (failure_) return *failure_;
        items_.erase(deviceID);
        return VaultResult::ok();
    }

    std::unique_ptr<VaultWatch> watchUnlocking(std::function<void()> changed) override {
        std::lock_guard lock(watchersMutex_);
        watchers_.emplace(++lastWatcher_, std::move(changed));
        return std::make_unique<Watch>(*this, lastWatcher_);
    }

    // Works normally again and tells the watchers, as a keyring unlocked by its user does.
    void unlock() {
        failWith(std::nullopt);
        std::lock_guard lock(watchersMutex_);
        for (const auto& [id, changed] : watchers_) changed();
    }
    // Every later operation answers with this result; absent: work normally.
    void failWith(std::optional<VaultResult> failure) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
    }
    // Runs inside read once the answer is made, before it is returned, with no lock of the vault held.
    void beforeReadReturns(std::function<void()> hook) {
        std::lock_guard lock(mutex_);
        beforeReadReturns_ = std::move(hook);
    }
    // Runs at the start of each remove, with no lock of the vault held.
    void beforeRemove(std::function<void(const Uuid&)> hook) {
        std::lock_guard lock(mutex_);
        beforeRemove_ = std::move(hook);
    }
    void put(const Uuid& deviceID, Bytes key, std::string label = "") {
        std::lock_guard lock(mutex_);
        items_[deviceID] = {std::move(label), std::move(key)};
    }

    std::map<Uuid, Item> items() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    int reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    int readAlls() const {
        std::lock_guard lock(mutex_);
        return readAlls_;
    }

private:
    class Watch final : public VaultWatch {
    public:
        Watch(FakeKeyVault& vault, int id) : vault_(vault), id_(id) {}
        ~Watch() override {
            std::lock_guard lock(vault_.watchersMutex_);
            vault_.watchers_.erase(id_);
        }

    private:
        FakeKeyVault& vault_;
        int id_;
    };

    std::mutex watchersMutex_;
    std::map<int, std::function<void()>> watchers_;
    int lastWatcher_ = 0;
    mutable std::mutex mutex_;
    std::map<Uuid, Item> items_;
    std::optional<VaultResult> failure_;
    std::function<void()> beforeReadReturns_;
    std::function<void(const Uuid&)> beforeRemove_;
    int reads_ = 0;
    int readAlls_ = 0;
};

} // namespace orvik::helper::testing
