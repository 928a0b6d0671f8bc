// The stored device list: any bytes decode without crashing; written back, the list keeps every entry, and each
// record reads again the same (dates to within a microsecond: they pass through a double).
#include "pairing/DeviceList.hpp"

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::DeviceList;
    std::vector<std::string> skipped;
    auto list = DeviceList::decode(orvik::ByteView(data, size), skipped);
    if (!list) return 0;
    auto written = list->encode();
    std::vector<std::string> skippedAgain;
    auto again = DeviceList::decode(written, skippedAgain);
    if (!again) std::abort();
    auto input = nlohmann::json::parse(data, data + size);
    if (nlohmann::json::parse(written.begin(), written.end()).size() != input.size()) std::abort();
    for (const auto& device : list->devices()) {
        if (!readsTheSame(device, *again)) std::abort();
    }
    return 0;
}
