#include "platform/XSettings.hpp"

#include "platform/X11Display.hpp"

#include <string>
#include <variant>

namespace orvik::helper {
namespace {

// Reads the property's fields in the byte order its first byte names; every read checks the length first.
class SettingsReader {
public:
    SettingsReader(ByteView blob, bool bigEndian) : blob_(blob), bigEndian_(bigEndian) {}

    bool skip(std::size_t count) {
        if (count > blob_.size() - offset_) return false;
        offset_ += count;
        return true;
    }
    std::optional<std::uint8_t> byte() {
        if (offset_ >= blob_.size()) return std::nullopt;
        return blob_[offset_++];
    }
    std::optional<std::uint16_t> card16() {
        if (2 > blob_.size() - offset_) return std::nullopt;
        std::uint16_t a = blob_[offset_];
        std::uint16_t b = blob_[offset_ + 1];
        offset_ += 2;
        return static_cast<std::uint16_t>(bigEndian_ ? (a << 8) | b : (b << 8) | a);
    }
    std::optional<std::uint32_t> card32() {
        if (4 > blob_.size() - offset_) return std::nullopt;
        std::uint32_t value = 0;
        for (unsigned index = 0; index < 4; ++index) {
            std::uint32_t part = blob_[offset_ + index];
            value |= bigEndian_ ? part << (8 * (3 - index)) : part << (8 * index);
        }
        offset_ += 4;
        return value;
    }
    std::optional<std::string_view> text(std::size_t length) {
        if (length > blob_.size() - offset_) return std::nullopt;
        std::string_view value(reinterpret_cast<const char*>(blob_.data() + offset_), length);
        offset_ += length;
        return value;
    }

private:
    ByteView blob_;
    bool bigEndian_;
    std::size_t offset_ = 0;
};

constexpr std::size_t padding(std::size_t length) {
    return (4 - length % 4) % 4;
}

enum SettingType : std::uint8_t { integerType = 0, stringType = 1, colorType = 2 };

// The value of the setting `name`: an integer's or a text's, absent when the blob does not hold it or is malformed.
std::optional<std::variant<std::int32_t, std::string_view>> find(ByteView blob, std::string_view name) {
    if (blob.empty() || blob[0] > 1) return std::nullopt;
    SettingsReader reader(blob, blob[0] == 1);
    if (!reader.skip(4) || !reader.card32()) return std::nullopt;
    auto count = reader.card32();
    if (!count) return std::nullopt;
    for (std::uint32_t index = 0; index < *count; ++index) {
        auto type = reader.byte();
        auto nameLength = (type && reader.skip(1)) ? reader.card16() : std::nullopt;
        auto settingName = nameLength ? reader.text(*nameLength) : std::nullopt;
        if (!settingName || !reader.skip(padding(*nameLength)) || !reader.card32()) return std::nullopt;
        switch (*type) {
        case integerType: {
            auto value = reader.card32();
            if (!value) return std::nullopt;
            if (*settingName == name) return static_cast<std::int32_t>(*value);
            break;
        }
        case stringType: {
            auto length = reader.card32();
            auto value = length ? reader.text(*length) : std::nullopt;
            if (!value || !reader.skip(padding(*length))) return std::nullopt;
            if (*settingName == name) return *value;
            break;
        }
        case colorType:
            if (!reader.skip(8)) return std::nullopt;
            break;
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

// The _XSETTINGS_SETTINGS property of the selection's owner.
std::optional<Bytes> readProperty(Display* display, Atom selection, Atom property) {
    // The property of a settings daemon is a few kilobytes; a larger one is not read beyond this.
    constexpr long maxPropertyWords = 64 * 1024;
    Window owner = XGetSelectionOwner(display, selection);
    if (owner == None) return std::nullopt;
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long itemCount = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, owner, property, 0, maxPropertyWords, False, property, &actualType,
                                    &actualFormat, &itemCount, &bytesAfter, &data);
    std::optional<Bytes> result;
    if (status == Success && actualType == property && actualFormat == 8 && data) {
        result = Bytes(data, data + itemCount);
    }
    if (data) XFree(data);
    return result;
}

} // namespace

std::optional<std::int32_t> XSettings::integer(ByteView blob, std::string_view name) {
    auto value = find(blob, name);
    if (!value || !std::holds_alternative<std::int32_t>(*value)) return std::nullopt;
    return std::get<std::int32_t>(*value);
}

std::optional<std::string> XSettings::text(ByteView blob, std::string_view name) {
    auto value = find(blob, name);
    if (!value || !std::holds_alternative<std::string_view>(*value)) return std::nullopt;
    return std::string(std::get<std::string_view>(*value));
}

std::optional<Bytes> XSettings::read(X11Display& display) {
    if (display.isBroken()) return std::nullopt;
    Atom selection = display.atom(selectionPrefix + std::to_string(display.screen()));
    Atom settings = display.atom(property);
    auto errorsBefore = display.errorCount();
    auto result = readProperty(display.get(), selection, settings);
    if (display.errorCount() != errorsBefore) return std::nullopt;
    return result;
}

std::optional<Bytes> XSettings::read(Display* display) {
    const std::string selection = selectionPrefix + std::to_string(DefaultScreen(display));
    return readProperty(display, XInternAtom(display, selection.c_str(), False), XInternAtom(display, property, False));
}

double XSettings::doubleClickInterval(X11Display& display) {
    auto blob = read(display);
    auto milliseconds = blob ? integer(*blob, "Net/DoubleClickTime") : std::nullopt;
    if (!milliseconds || *milliseconds <= 0 || *milliseconds > maxDoubleClickMilliseconds) {
        return defaultDoubleClickInterval;
    }
    return *milliseconds / 1000.0;
}

} // namespace orvik::helper
