#pragma once

#include "core/Date.hpp"
#include "core/UserDefaults.hpp"
#include "pairing/DeviceList.hpp"

#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orvik::helper {

// The device list of the keychain store, as saved in the user defaults: JSON data under "pairedDevices" (in the
// order of the latest addition, see DeviceList), and beside it the removed devices whose keys are still to be
// deleted, under "pairedDevices.pendingKeyDeletions" (JSON data, an array of their identifiers' text).
//
// The list is read once, at construction, and kept in memory. Adding and removing a device save the list and the
// pending deletions at once, in one durable write (UserDefaults::changeDurably); an add whose write fails is taken
// back. A changed lastSeen is saved on the saver's executor once lastSeenDelay has passed, together with every other
// lastSeen changed meanwhile (and by saveUnsavedLastSeen): a crash loses at most those last dates. One writer at a
// time, in the order of the changes, so a late lastSeen save never writes an older list over a newer.
//
// A removed device's key is due for deletion only once the list without the device is saved: until then the list on
// disk may still name it, and it would come back without its key. A device paired again is no longer pending.
//
// Locks, taken in this order: `saveMutex_` serialises the saves with the change in memory each one writes;
// `listMutex_` guards the list and the deletions in memory and is held only for memory work, so lastSeen updates and
// list reads never wait for a disk.
class SavedDeviceList {
public:
    static constexpr const char* listKey = "pairedDevices";
    // Where a stored list that is not a JSON array is kept, so that saving a new list never loses it.
    static constexpr const char* unreadableListKey = "pairedDevices.unreadable";
    static constexpr const char* pendingDeletionsKey = "pairedDevices.pendingKeyDeletions";

    // Reads the list; the delayed lastSeen saves run on `saver`.
    SavedDeviceList(std::shared_ptr<UserDefaults> defaults, asio::any_io_executor saver,
                    std::chrono::milliseconds lastSeenDelay);

    SavedDeviceList(const SavedDeviceList&) = delete;
    SavedDeviceList& operator=(const SavedDeviceList&) = delete;

    std::vector<PairedDevice> devices() const;
    std::optional<PairedDevice> device(const Uuid& deviceID) const;
    bool contains(const Uuid& deviceID) const;

    // Lists the device (last, in place of its earlier entries), no longer pending deletion, and saves; absent when
    // saved, else why not, and then the list is as it was.
    std::optional<std::string> add(const PairedDevice& device);
    struct Removal {
        // The device was listed: its key is now pending deletion.
        bool listed = false;
        // Why the save failed: the deletion is due only once a later save succeeds.
        std::optional<std::string> failure;
    };
    // Drops the device and saves the list, even when it was not listed.
    Removal remove(const Uuid& deviceID);
    void updateLastSeen(const Uuid& deviceID, Date at);
    void saveUnsavedLastSeen();

    std::vector<Uuid> pendingDeletions() const;
    // Pending, and saved as such.
    bool deletionIsDue(const Uuid& deviceID) const;
    // Saves deletions a failed save left unsaved; absent when there are none now, else why not.
    std::optional<std::string> saveUnsavedDeletions();
    // The keys of these devices are gone: saved without them.
    void forgetDeletions(const std::vector<Uuid>& deviceIDs);

    // On the saver's executor, before it ends: no lastSeen save is scheduled any more.
    void stop();

private:
    void load();
    // Keeps a stored list that is not a JSON array under a key of its own, never over an earlier one.
    void keepUnreadable(const UserDefaults::Value& stored);
    void loadPendingDeletions();
    // Called holding saveMutex_. The list alone, for lastSeen dates.
    void saveList();
    // Called holding saveMutex_. The list and its pending deletions, in one durable write.
    std::optional<std::string> saveListAndDeletions();
    // Called holding listMutex_.
    std::optional<UserDefaults::Value> encodedDeletions() const;
    void scheduleLastSeenSave();

    std::shared_ptr<UserDefaults> defaults_;
    asio::any_io_executor saver_;
    const std::chrono::milliseconds lastSeenDelay_;

    std::mutex saveMutex_;
    mutable std::mutex listMutex_;
    DeviceList list_;
    bool lastSeenUnsaved_ = false;
    std::set<Uuid> pendingDeletions_;
    // A removal's save failed: no deletion is due until the deletions are saved.
    bool deletionsUnsaved_ = false;

    // Touched on the saver's executor only.
    std::unique_ptr<asio::steady_timer> lastSeenTimer_;
};

} // namespace orvik::helper
