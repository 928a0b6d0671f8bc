// The stored device list: any bytes decode without crashing; a device listed more than once is read as one, its last
// entry with the latest lastSeen of them all; written back, the list keeps every other entry, and each record reads
// again the same (dates to within a microsecond: they pass through a double).
#include "orvik/protocol/coding/DecodingError.hpp"
#include "pairing/DeviceList.hpp"

#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

namespace {

using orvik::Uuid;
using orvik::helper::Date;
using orvik::helper::PairedDevice;
using orvik::helper::ReferenceDate;

bool near(Date a, Date b) {
    return std::chrono::abs(a - b) <= std::chrono::microseconds(1);
}

// A date at the very edge of what is read may be pushed over it by the conversion.
bool atTheEdge(Date date) {
    return std::fabs(ReferenceDate::seconds(date)) > ReferenceDate::maxMagnitude - 1;
}

bool readsTheSame(const PairedDevice& before, const orvik::helper::DeviceList& after) {
    const auto* found = after.find(before.id);
    if (!found) return atTheEdge(before.pairedAt) || (before.lastSeen && atTheEdge(*before.lastSeen));
    return found->name == before.name && found->model == before.model && near(found->pairedAt, before.pairedAt) &&
           found->lastSeen.has_value() == before.lastSeen.has_value() &&
           (!before.lastSeen || near(*found->lastSeen, *before.lastSeen));
}

// Each device of the input as it must be read: its last readable entry with the latest lastSeen of its entries; and
// how many entries that leaves out.
std::map<Uuid, PairedDevice> expectedDevices(const nlohmann::json& input, std::size_t& repeats) {
    std::map<Uuid, PairedDevice> expected;
    repeats = 0;
    for (const auto& entry : input) {
        std::optional<PairedDevice> device;
        try {
            device = PairedDevice::fromJson(entry);
        } catch (const orvik::DecodingError&) {
            continue;
        }
        auto found = expected.find(device->id);
        if (found == expected.end()) {
            expected.emplace(device->id, *device);
            continue;
        }
        ++repeats;
        auto latest = found->second.lastSeen;
        if (!device->lastSeen || (latest && *latest > *device->lastSeen)) device->lastSeen = latest;
        found->second = *device;
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::DeviceList;
    std::vector<std::string> skipped;
    std::vector<std::string> merged;
    auto list = DeviceList::decode(orvik::ByteView(data, size), skipped, merged);
    if (!list) return 0;
    auto input = nlohmann::json::parse(data, data + size);
    std::size_t repeats = 0;
    auto expected = expectedDevices(input, repeats);
    if (list->devices().size() != expected.size() || (repeats > 0) != !merged.empty()) std::abort();
    for (const auto& [id, device] : expected) {
        const auto* found = list->find(id);
        if (!found || *found != device) std::abort();
    }

    auto written = list->encode();
    std::vector<std::string> skippedAgain;
    std::vector<std::string> mergedAgain;
    auto again = DeviceList::decode(written, skippedAgain, mergedAgain);
    if (!again || !mergedAgain.empty()) std::abort();
    if (nlohmann::json::parse(written.begin(), written.end()).size() != input.size() - repeats) std::abort();
    for (const auto& device : list->devices()) {
        if (!readsTheSame(device, *again)) std::abort();
    }
    return 0;
}
