#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "pairing/PairedDevice.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// The stored device list: the UTF-8 bytes of a compact JSON array of PairedDevice records, in the store's order.
//
// An entry this version cannot read (a field of another type, a missing field, as an older or newer version might
// write) is skipped, named for the log, and kept as it was found; a record's keys this version does not know are
// kept too. Writing the list back therefore never loses what another version stored. Adding or removing a device
// drops every entry that names its identifier, readable or not.
//
// A device listed more than once (readable each time) is read as one: its last entry, as adding puts the latest at
// the end, with the latest lastSeen of them all.
class DeviceList {
public:
    DeviceList() = default;
    explicit DeviceList(const std::vector<PairedDevice>& devices);

    // Absent when the bytes are not a JSON array. Each entry skipped is described in `skipped`, e.g.
    // "entry 2 (E621E1F8-C36C-495A-93FC-0C247A3E6E5F): name is not a text".
    static std::optional<DeviceList> decode(ByteView bytes, std::vector<std::string>& skipped);
    // As above; each device read as one of several entries is described in `merged`, e.g.
    // "\"Anna\" (E621E1F8-C36C-495A-93FC-0C247A3E6E5F) is listed 2 times".
    static std::optional<DeviceList> decode(ByteView bytes, std::vector<std::string>& skipped,
                                            std::vector<std::string>& merged);
    Bytes encode() const;

    // The readable records, in order.
    std::vector<PairedDevice> devices() const;
    const PairedDevice* find(const Uuid& deviceID) const;
    PairedDevice* find(const Uuid& deviceID);
    // Puts the record at the end, in place of every entry of its identifier.
    void add(const PairedDevice& device);
    void remove(const Uuid& deviceID);

private:
    struct Entry {
        // The JSON value as stored; for a record, refreshed from `device` when the list is encoded.
        nlohmann::json stored;
        // Absent for an entry that could not be read.
        std::optional<PairedDevice> device;
    };

    // Keeps the last readable entry of each device, with the latest lastSeen of its entries.
    void mergeRepeatedDevices(std::vector<std::string>& merged);

    std::vector<Entry> entries_;
};

} // namespace orvik::helper
