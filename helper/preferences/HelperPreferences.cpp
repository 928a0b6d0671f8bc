#include "preferences/HelperPreferences.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>

namespace orvik::helper {
namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<ScrollMode, std::string_view>, 2> scrollModeNames{
    {{ScrollMode::phaseless, "phaseless"}, {ScrollMode::phased, "phased"}}};
constexpr std::array<std::pair<HelperPreferences::OverlayColor, std::string_view>, 3> overlayColorNames{
    {{HelperPreferences::OverlayColor::aurora, "aurora"},
     {HelperPreferences::OverlayColor::red, "red"},
     {HelperPreferences::OverlayColor::white, "white"}}};
constexpr std::array<std::pair<HelperPreferences::OverlaySize, std::string_view>, 3> overlaySizeNames{
    {{HelperPreferences::OverlaySize::small, "small"},
     {HelperPreferences::OverlaySize::medium, "medium"},
     {HelperPreferences::OverlaySize::large, "large"}}};

template <class Enum, std::size_t N>
std::string_view nameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value) {
    for (const auto& [member, name] : names) {
        if (member == value) return name;
    }
    return names.front().second;
}

template <class Enum, std::size_t N>
std::optional<Enum> memberNamed(const std::array<std::pair<Enum, std::string_view>, N>& names, std::string_view raw) {
    for (const auto& [member, name] : names) {
        if (name == raw) return member;
    }
    return std::nullopt;
}

// A Boolean field: absent or null keeps the default, a non-Boolean fails the whole record.
void readBoolean(const Json& record, const char* key, bool& field) {
    auto found = record.find(key);
    if (found == record.end() || found->is_null()) return;
    if (!found->is_boolean()) throw DecodingError::invalidValue(std::string(key) + " is not a Boolean");
    field = found->get<bool>();
}

// An enumeration field: anything but one of its raw texts keeps the default.
template <class Enum, std::size_t N>
void readEnumeration(const Json& record, const char* key, const std::array<std::pair<Enum, std::string_view>, N>& names,
                     Enum& field) {
    auto found = record.find(key);
    if (found == record.end() || !found->is_string()) return;
    if (auto member = memberNamed(names, found->get_ref<const std::string&>())) field = *member;
}

// The device list: anything but an array of UUID texts gives the empty list.
std::vector<Uuid> readDevices(const Json& record, const char* key) {
    auto found = record.find(key);
    if (found == record.end() || !found->is_array()) return {};
    std::vector<Uuid> devices;
    for (const auto& element : *found) {
        if (!element.is_string()) return {};
        auto id = Uuid::parse(element.get_ref<const std::string&>());
        if (!id) return {};
        devices.push_back(*id);
    }
    return devices;
}

} // namespace

std::string_view rawValue(HelperPreferences::OverlayColor color) {
    return nameOf(overlayColorNames, color);
}
std::string_view rawValue(HelperPreferences::OverlaySize size) {
    return nameOf(overlaySizeNames, size);
}

Bytes HelperPreferences::encode() const {
    nlohmann::ordered_json record;
    record["autoAllowOnScan"] = autoAllowOnScan;
    record["showConnectionNotifications"] = showConnectionNotifications;
    record["scrollMode"] = nameOf(scrollModeNames, scrollMode);
    record["allowRestart"] = allowRestart;
    record["allowShutDown"] = allowShutDown;
    record["allowLogOut"] = allowLogOut;
    record["pauseHotKeyEnabled"] = pauseHotKeyEnabled;
    record["overlayColor"] = rawValue(overlayColor);
    record["overlaySize"] = rawValue(overlaySize);
    record["screenViewingEnabled"] = screenViewingEnabled;
    auto devices = nlohmann::ordered_json::array();
    for (const auto& device : screenViewingDevices) devices.push_back(device.text());
    record["screenViewingDevices"] = std::move(devices);
    auto text = record.dump();
    return Bytes(text.begin(), text.end());
}

HelperPreferences HelperPreferences::decode(ByteView json) {
    auto record = Json::parse(json.begin(), json.end(), nullptr, false);
    if (!record.is_object()) throw DecodingError::malformedPayload("preferences are not a JSON object");
    HelperPreferences preferences;
    readBoolean(record, "autoAllowOnScan", preferences.autoAllowOnScan);
    readBoolean(record, "showConnectionNotifications", preferences.showConnectionNotifications);
    readEnumeration(record, "scrollMode", scrollModeNames, preferences.scrollMode);
    readBoolean(record, "allowRestart", preferences.allowRestart);
    readBoolean(record, "allowShutDown", preferences.allowShutDown);
    readBoolean(record, "allowLogOut", preferences.allowLogOut);
    readBoolean(record, "pauseHotKeyEnabled", preferences.pauseHotKeyEnabled);
    readEnumeration(record, "overlayColor", overlayColorNames, preferences.overlayColor);
    readEnumeration(record, "overlaySize", overlaySizeNames, preferences.overlaySize);
    readBoolean(record, "screenViewingEnabled", preferences.screenViewingEnabled);
    preferences.screenViewingDevices = readDevices(record, "screenViewingDevices");
    return preferences;
}

} // namespace orvik::helper
