#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// The "About" tab: name, version, what the helper promises about security with a link to the product's security
// page when the build names its download site, and the libraries the program links with their licences.
class AboutSettings final : public QWidget {
public:
    // `version` and `build` as this build carries them; `downloadURL` empty when it names no download site.
    AboutSettings(const std::string& version, const std::string& build, const std::string& downloadURL);
    // With this build's values.
    AboutSettings();

    // "Version 1.2 (34)".
    static std::string versionLine(const std::string& version, const std::string& build);
    // The security page under the download site; absent when the site is unset (empty or a "{{" placeholder) or
    // not a URL.
    static std::optional<std::string> securityPageURL(std::string_view downloadURL);
    // "Acknowledgements: " and each linked library with its licence, as read from the packages' copyright files
    // when this program was built.
    static std::string acknowledgements();
};

} // namespace orvik::helper
