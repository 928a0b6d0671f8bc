#include "pairing/DeviceList.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace orvik::helper {
namespace {

constexpr std::array<const char*, 5> recordKeys{"id", "name", "model", "pairedAt", "lastSeen"};

// The identifier an entry names, whether or not the rest of it can be read.
std::optional<Uuid> namedID(const nlohmann::json& stored) {
    if (!stored.is_object()) return std::nullopt;
    auto id = stored.find("id");
    if (id == stored.end() || !id->is_string()) return std::nullopt;
    return Uuid::parse(id->get_ref<const std::string&>());
}

std::string describe(std::size_t index, const nlohmann::json& stored, const std::string& problem) {
    auto text = "entry " + std::to_string(index + 1);
    if (auto id = namedID(stored)) text += " (" + id->text() + ")";
    return text + ": " + problem;
}

} // namespace

DeviceList::DeviceList(const std::vector<PairedDevice>& devices) {
    for (const auto& device : devices) entries_.push_back({device.toJson(), device});
}

std::optional<DeviceList> DeviceList::decode(ByteView bytes, std::vector<std::string>& skipped) {
    std::vector<std::string> merged;
    return decode(bytes, skipped, merged);
}

std::optional<DeviceList> DeviceList::decode(ByteView bytes, std::vector<std::string>& skipped,
                                             std::vector<std::string>& merged) {
    auto array = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!array.is_array()) return std::nullopt;
    DeviceList list;
    list.entries_.reserve(array.size());
    for (std::size_t index = 0; index < array.size(); ++index) {
        auto& stored = array[index];
        try {
            auto device = PairedDevice::fromJson(stored);
            list.entries_.push_back({std::move(stored), std::move(device)});
        } catch (const DecodingError& error) {
            skipped.push_back(describe(index, stored, error.what()));
            list.entries_.push_back({std::move(stored), std::nullopt});
        }
    }
    list.mergeRepeatedDevices(merged);
    return list;
}

void DeviceList::mergeRepeatedDevices(std::vector<std::string>& merged) {
    struct Copies {
        std::size_t last = 0;
        std::size_t count = 0;
        std::optional<Date> latestSeen;
    };
    std::map<Uuid, Copies> copies;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const auto& device = entries_[index].device;
        if (!device) continue;
        auto& found = copies[device->id];
        found.last = index;
        ++found.count;
        if (device->lastSeen && (!found.latestSeen || *device->lastSeen > *found.latestSeen)) {
            found.latestSeen = device->lastSeen;
        }
    }
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        auto& entry = entries_[index];
        if (entry.device) {
            const auto& found = copies.at(entry.device->id);
            if (found.last != index) continue;
            if (found.count > 1) {
                entry.device->lastSeen = found.latestSeen;
                merged.push_back(entry.device->nameAndID() + " is listed " + std::to_string(found.count) + " times");
            }
        }
        kept.push_back(std::move(entry));
    }
    entries_ = std::move(kept);
}

Bytes DeviceList::encode() const {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& entry : entries_) {
        if (!entry.device) {
            array.push_back(entry.stored);
            continue;
        }
        auto record = entry.stored;
        for (const char* key : recordKeys) record.erase(key);
        record.update(entry.device->toJson());
        array.push_back(std::move(record));
    }
    // Invalid UTF-8 in a name is written as U+FFFD rather than failing the whole list.
    auto text = array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return Bytes(text.begin(), text.end());
}

std::vector<PairedDevice> DeviceList::devices() const {
    std::vector<PairedDevice> devices;
    devices.reserve(entries_.size());
    for (const auto& entry : entries_) {
        if (entry.device) devices.push_back(*entry.device);
    }
    return devices;
}

const PairedDevice* DeviceList::find(const Uuid& deviceID) const {
    for (const auto& entry : entries_) {
        if (entry.device && entry.device->id == deviceID) return &*entry.device;
    }
    return nullptr;
}

PairedDevice* DeviceList::find(const Uuid& deviceID) {
    return const_cast<PairedDevice*>(std::as_const(*this).find(deviceID));
}

void DeviceList::add(const PairedDevice& device) {
    remove(device.id);
    entries_.push_back({device.toJson(), device});
}

void DeviceList::remove(const Uuid& deviceID) {
    std::erase_if(entries_, [&](const Entry& entry) {
        return entry.device ? entry.device->id == deviceID : namedID(entry.stored) == deviceID;
    });
}

} // namespace orvik::helper
