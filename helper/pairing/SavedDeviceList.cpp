#include "pairing/SavedDeviceList.hpp"

#include "core/Log.hpp"

#include <asio/post.hpp>
#include <nlohmann/json.hpp>

#include <utility>

namespace orvik::helper {
namespace {

constexpr const char* listLogCategory = "DeviceStore";

} // namespace

SavedDeviceList::SavedDeviceList(std::shared_ptr<UserDefaults> defaults, asio::any_io_executor saver,
                                 std::chrono::milliseconds lastSeenDelay)
    : defaults_(std::move(defaults)), saver_(std::move(saver)), lastSeenDelay_(lastSeenDelay),
      lastSeenTimer_(std::make_unique<asio::steady_timer>(saver_)) {
    load();
    loadPendingDeletions();
}

void SavedDeviceList::stop() {
    lastSeenTimer_.reset();
}

void SavedDeviceList::load() {
    auto stored = defaults_->value(listKey);
    if (!stored) return;
    std::vector<std::string> skipped;
    std::vector<std::string> merged;
    std::optional<DeviceList> decoded;
    if (const auto* bytes = std::get_if<Bytes>(&*stored)) decoded = DeviceList::decode(*bytes, skipped, merged);
    if (!decoded) {
        keepUnreadable(*stored);
        return;
    }
    for (const auto& problem : skipped) {
        Log::error(listLogCategory, "Ignoring an unreadable paired device, kept as stored: " + problem);
    }
    for (const auto& repeated : merged) {
        Log::error(listLogCategory,
                   "The paired device " + repeated + "; only its last entry is kept, with the latest lastSeen of them");
    }
    list_ = std::move(*decoded);
}

void SavedDeviceList::keepUnreadable(const UserDefaults::Value& stored) {
    std::string key = unreadableListKey;
    for (int copy = 2; defaults_->value(key) && defaults_->value(key) != stored; ++copy) {
        key = std::string(unreadableListKey) + "." + std::to_string(copy);
    }
    defaults_->set(key, stored);
    Log::error(listLogCategory,
               "The list of paired devices is unreadable; it is kept under \"" + key + "\" and the list starts empty");
}

void SavedDeviceList::loadPendingDeletions() {
    auto stored = defaults_->data(pendingDeletionsKey);
    if (!stored) return;
    auto identifiers = nlohmann::json::parse(stored->begin(), stored->end(), nullptr, false);
    if (!identifiers.is_array()) {
        Log::error(listLogCategory, "Ignoring the unreadable list of removed devices' keys to delete");
        return;
    }
    for (const auto& text : identifiers) {
        auto deviceID = text.is_string() ? Uuid::parse(text.get_ref<const std::string&>()) : std::nullopt;
        // One paired again by a version that kept no such list has a new key.
        if (deviceID && !list_.find(*deviceID)) pendingDeletions_.insert(*deviceID);
    }
}

std::vector<PairedDevice> SavedDeviceList::devices() const {
    std::lock_guard lock(listMutex_);
    return list_.devices();
}

std::optional<PairedDevice> SavedDeviceList::device(const Uuid& deviceID) const {
    std::lock_guard lock(listMutex_);
    const auto* found = list_.find(deviceID);
    if (!found) return std::nullopt;
    return *found;
}

bool SavedDeviceList::contains(const Uuid& deviceID) const {
    std::lock_guard lock(listMutex_);
    return list_.find(deviceID) != nullptr;
}

std::optional<UserDefaults::Value> SavedDeviceList::encodedDeletions() const {
    if (pendingDeletions_.empty()) return std::nullopt;
    auto identifiers = nlohmann::json::array();
    for (const auto& deviceID : pendingDeletions_) identifiers.push_back(deviceID.text());
    auto text = identifiers.dump();
    return Bytes(text.begin(), text.end());
}

std::optional<std::string> SavedDeviceList::saveListAndDeletions() {
    UserDefaults::Changes changes;
    {
        std::lock_guard lock(listMutex_);
        changes.emplace_back(listKey, list_.encode());
        changes.emplace_back(pendingDeletionsKey, encodedDeletions());
    }
    return defaults_->changeDurably(std::move(changes));
}

void SavedDeviceList::saveList() {
    Bytes encoded;
    {
        std::lock_guard lock(listMutex_);
        lastSeenUnsaved_ = false;
        encoded = list_.encode();
    }
    defaults_->setData(listKey, std::move(encoded));
}

std::optional<std::string> SavedDeviceList::add(const PairedDevice& device) {
    std::lock_guard save(saveMutex_);
    DeviceList before;
    bool lastSeenWasUnsaved = false;
    bool wasPendingDeletion = false;
    {
        std::lock_guard lock(listMutex_);
        before = list_;
        lastSeenWasUnsaved = std::exchange(lastSeenUnsaved_, false);
        list_.add(device);
        // Its old key, replaced by the new one, is no longer to be deleted.
        wasPendingDeletion = pendingDeletions_.erase(device.id) > 0;
    }
    auto failure = saveListAndDeletions();
    if (!failure) return std::nullopt;
    std::lock_guard lock(listMutex_);
    // Dates seen meanwhile stay.
    for (const auto& current : list_.devices()) {
        auto* earlier = before.find(current.id);
        if (!earlier || earlier->lastSeen == current.lastSeen || current.id == device.id) continue;
        earlier->lastSeen = current.lastSeen;
        lastSeenWasUnsaved = true;
    }
    list_ = std::move(before);
    lastSeenUnsaved_ = lastSeenUnsaved_ || lastSeenWasUnsaved;
    if (wasPendingDeletion) pendingDeletions_.insert(device.id);
    return failure;
}

SavedDeviceList::Removal SavedDeviceList::remove(const Uuid& deviceID) {
    std::lock_guard save(saveMutex_);
    Removal removal;
    {
        std::lock_guard lock(listMutex_);
        removal.listed = list_.find(deviceID) != nullptr;
        list_.remove(deviceID);
        // Only a listed device's key is the store's to delete.
        if (removal.listed) pendingDeletions_.insert(deviceID);
    }
    removal.failure = saveListAndDeletions();
    if (removal.failure && removal.listed) {
        std::lock_guard lock(listMutex_);
        deletionsUnsaved_ = true;
    }
    return removal;
}

void SavedDeviceList::updateLastSeen(const Uuid& deviceID, Date at) {
    {
        std::lock_guard lock(listMutex_);
        auto* listed = list_.find(deviceID);
        if (!listed) return;
        listed->lastSeen = at;
        if (std::exchange(lastSeenUnsaved_, true)) return;
    }
    scheduleLastSeenSave();
}

void SavedDeviceList::scheduleLastSeenSave() {
    asio::post(saver_, [this] {
        if (!lastSeenTimer_) return;
        lastSeenTimer_->expires_after(lastSeenDelay_);
        lastSeenTimer_->async_wait([this](std::error_code error) {
            if (!error) saveUnsavedLastSeen();
        });
    });
}

void SavedDeviceList::saveUnsavedLastSeen() {
    std::lock_guard save(saveMutex_);
    {
        std::lock_guard lock(listMutex_);
        if (!lastSeenUnsaved_) return;
    }
    saveList();
}

std::vector<Uuid> SavedDeviceList::pendingDeletions() const {
    std::lock_guard lock(listMutex_);
    return {pendingDeletions_.begin(), pendingDeletions_.end()};
}

bool SavedDeviceList::deletionIsDue(const Uuid& deviceID) const {
    std::lock_guard lock(listMutex_);
    return !deletionsUnsaved_ && pendingDeletions_.contains(deviceID);
}

std::optional<std::string> SavedDeviceList::saveUnsavedDeletions() {
    std::lock_guard save(saveMutex_);
    {
        std::lock_guard lock(listMutex_);
        if (!deletionsUnsaved_) return std::nullopt;
    }
    auto failure = saveListAndDeletions();
    if (failure) return failure;
    std::lock_guard lock(listMutex_);
    deletionsUnsaved_ = false;
    return std::nullopt;
}

// A save that fails leaves them pending on disk: deleting them again finds nothing.
void SavedDeviceList::forgetDeletions(const std::vector<Uuid>& deviceIDs) {
    std::lock_guard save(saveMutex_);
    {
        std::lock_guard lock(listMutex_);
        for (const auto& deviceID : deviceIDs) pendingDeletions_.erase(deviceID);
    }
    saveListAndDeletions();
}

} // namespace orvik::helper
