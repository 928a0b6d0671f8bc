#include "platform/XSettings.hpp"

#include <gtest/gtest.h>

#include <string>

namespace orvik::helper {
namespace {

// Builds an _XSETTINGS_SETTINGS property the way a settings daemon writes it.
class SettingsBlob {
public:
    explicit SettingsBlob(bool bigEndian = false) : bigEndian_(bigEndian) {
        bytes_ = {static_cast<std::uint8_t>(bigEndian ? 1 : 0), 0, 0, 0};
        card32(7); // serial
        card32(0); // count, patched by setting()
    }

    SettingsBlob& integer(const std::string& name, std::int32_t value) {
        header(0, name);
        card32(static_cast<std::uint32_t>(value));
        return *this;
    }
    SettingsBlob& text(const std::string& name, const std::string& value) {
        header(1, name);
        card32(static_cast<std::uint32_t>(value.size()));
        padded(value);
        return *this;
    }
    SettingsBlob& color(const std::string& name) {
        header(2, name);
        for (int channel = 0; channel < 4; ++channel) card16(0xFFFF);
        return *this;
    }
    Bytes bytes() const { return bytes_; }

private:
    void header(std::uint8_t type, const std::string& name) {
        bytes_.push_back(type);
        bytes_.push_back(0);
        card16(static_cast<std::uint16_t>(name.size()));
        padded(name);
        card32(1); // last change serial
        ++count_;
        std::uint32_t count = count_;
        for (unsigned index = 0; index < 4; ++index) {
            bytes_[8 + index] =
                static_cast<std::uint8_t>(bigEndian_ ? count >> (8 * (3 - index)) : count >> (8 * index));
        }
    }
    void padded(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    void card16(std::uint16_t value) {
        if (bigEndian_) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
            bytes_.push_back(static_cast<std::uint8_t>(value));
        } else {
            bytes_.push_back(static_cast<std::uint8_t>(value));
            bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
        }
    }
    void card32(std::uint32_t value) {
        for (int index = 0; index < 4; ++index) {
            bytes_.push_back(static_cast<std::uint8_t>(bigEndian_ ? value >> (8 * (3 - index)) : value >> (8 * index)));
        }
    }

    bool bigEndian_;
    Bytes bytes_;
    std::uint32_t count_ = 0;
};

TEST(XSettingsTest, findsTheIntegerAfterOtherKindsOfSetting) {
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

TEST(XSettingsTest, everyTruncationIsRejectedWithoutReadingPastTheEnd) {
    auto blob = SettingsBlob().text("Net/ThemeName", "Adwaita").integer("Net/DoubleClickTime", 250).bytes();
    for (std::size_t length = 0; length < blob.size(); ++length) {
        EXPECT_EQ(XSettings::integer(ByteView(blob.data(), length), "Net/DoubleClickTime"), std::nullopt) << length;
    }
}

TEST(XSettingsTest, malformedBlobsAreRejected) {
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
