#pragma once

#include <QWidget>

#include <optional>
#include <string>

namespace orvik::helper {

// Tells a user without the phone app where to get it: a small QR code of its App Store page when the build names
// the app's identifier, else what to search for.
class AppStoreHint : public QWidget {
public:
    static constexpr int qrSide = 64;
    static constexpr int qrPixelSize = 160;

    explicit AppStoreHint(const std::optional<std::string>& appStoreID, QWidget* parent = nullptr);

    // The identifier this build was given; a value beginning with "{{" or empty counts as unset.
    static std::optional<std::string> configuredID();
    // The App Store link for an identifier that counts as set (blanks count).
    static std::optional<std::string> link(const std::optional<std::string>& appStoreID);
};

} // namespace orvik::helper
