#include "platform/XSettings.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace orvik::helper {
namespace {

// Builds an _XSETTINGS_SETTINGS property the way a settings daemon writes it.
class SettingsBlob {
public:
    explicit SettingsBlob(bool bigEndian = false) : bigEndian_(bigEndian) {
        bytes_ = {static_cast<std::uint8_t>(bigEndian ? 1 : 0), 0, 0, 0};
        put(7, 4); // serial
        put(0, 4); // count
    }

    SettingsBlob& integer(const std::string& name, std::int32_t value) {
        header(0, name);
        put(static_cast<std::uint32_t>(value), 4);
        return *this;
    }
    SettingsBlob& text(const std::string& name, const std::string& value) {
        header(1, name);
        put(static_cast<std::uint32_t>(value.size()), 4);
        padded(value);
        return *this;
    }
    SettingsBlob& color(const std::string& name) {
        header(2, name);
        for (int channel = 0; channel < 4; ++channel) put(0xFFFF, 2);
        return *this;
    }
    Bytes bytes() const { return bytes_; }

private:
    void header(std::uint8_t type, const std::string& name) {
        bytes_.insert(bytes_.end(), {type, 0});
        put(static_cast<std::uint32_t>(name.size()), 2);
        padded(name);
        put(1, 4); // last change serial
        put(++count_, 4, 8);
    }
    void padded(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    // Appends `value` in `size` bytes of the blob's byte order, or writes it at `at`.
    void put(std::uint32_t value, unsigned size, std::optional<std::size_t> at = std::nullopt) {
        for (unsigned index = 0; index < size; ++index) {
            auto byte = static_cast<std::uint8_t>(value >> (8 * (bigEndian_ ? size - 1 - index : index)));
            if (at) {
                bytes_[*at + index] = byte;
            } else {
                bytes_.push_back(byte);
            }
        }
    }

    bool bigEndian_;
    Bytes bytes_;
    std::uint32_t count_ = 0;
};

TEST(XSettings, findsTheIntegerAfterOtherKindsOfSetting) {
    for (bool bigEndian : {false, true}) {
        auto blob = SettingsBlob(bigEndian)
                        .text("Net/ThemeName", "Adwaita")
                        .color("Gtk/Colour")
                        .integer("Net/DoubleClickTime", 250)
                        .integer("Net/DndDragThreshold", -3)
                        .bytes();
        EXPECT_EQ(XSettings::integer(blob, "Net/DoubleClickTime"), 250) << "big endian " << bigEndian;
        EXPECT_EQ(XSettings::integer(blob, "Net/DndDragThreshold"), -3);
        EXPECT_EQ(XSettings::integer(blob, "Net/ThemeName"), std::nullopt) << "a text is not an integer";
        EXPECT_EQ(XSettings::integer(blob, "Net/Missing"), std::nullopt);
    }
}

TEST(XSettings, findsTheTextAfterOtherKindsOfSetting) {
    for (bool bigEndian : {false, true}) {
        auto blob = SettingsBlob(bigEndian)
                        .integer("Net/DoubleClickTime", 250)
                        .color("Gtk/Colour")
                        .text("Net/IconThemeName", "")
                        .text("Net/ThemeName", "Adwaita-dark")
                        .bytes();
        EXPECT_EQ(XSettings::text(blob, "Net/ThemeName"), "Adwaita-dark") << "big endian " << bigEndian;
        EXPECT_EQ(XSettings::text(blob, "Net/IconThemeName"), "");
        EXPECT_EQ(XSettings::text(blob, "Net/DoubleClickTime"), std::nullopt) << "an integer is not a text";
        EXPECT_EQ(XSettings::text(blob, "Net/Missing"), std::nullopt);
    }
}

TEST(XSettings, everyTruncationIsRejectedWithoutReadingPastTheEnd) {
    auto blob = SettingsBlob().text("Net/ThemeName", "Adwaita").integer("Net/DoubleClickTime", 250).bytes();
    for (std::size_t length = 0; length < blob.size(); ++length) {
        EXPECT_EQ(XSettings::integer(ByteView(blob.data(), length), "Net/DoubleClickTime"), std::nullopt) << length;
    }
    auto textLast = SettingsBlob().integer("Net/DoubleClickTime", 250).text("Net/ThemeName", "Adwaita").bytes();
    for (std::size_t length = 0; length < textLast.size(); ++length) {
        EXPECT_EQ(XSettings::text(ByteView(textLast.data(), length), "Net/ThemeName"), std::nullopt) << length;
    }
}

TEST(XSettings, malformedBlobsAreRejected) {
    auto blob = SettingsBlob().integer("Net/DoubleClickTime", 250).bytes();
    auto badOrder = blob;
    badOrder[0] = 2;
    EXPECT_EQ(XSettings::integer(badOrder, "Net/DoubleClickTime"), std::nullopt);

    auto badType = SettingsBlob().integer("A", 1).integer("Net/DoubleClickTime", 250).bytes();
    badType[12] = 9;
    EXPECT_EQ(XSettings::integer(badType, "Net/DoubleClickTime"), std::nullopt);

    auto hugeName = blob;
    hugeName[14] = 0xFF; // name length 0xFF.. runs past the end
    hugeName[15] = 0xFF;
    EXPECT_EQ(XSettings::integer(hugeName, "Net/DoubleClickTime"), std::nullopt);

    auto hugeCount = SettingsBlob().bytes();
    hugeCount[8] = hugeCount[9] = hugeCount[10] = hugeCount[11] = 0xFF;
    EXPECT_EQ(XSettings::integer(hugeCount, "Net/DoubleClickTime"), std::nullopt);
}

} // namespace
} // namespace orvik::helper
