#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace orvik::test {

// The GTK theme published the way a settings daemon does: a window owning _XSETTINGS_S0 with the property on it,
// which changes when the theme does.
class PublishedGtkTheme {
public:
    explicit PublishedGtkTheme(const std::string& theme)
        : display_(XOpenDisplay(nullptr)),
          window_(XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0)) {
        publish(theme);
        XSetSelectionOwner(display_, XInternAtom(display_, "_XSETTINGS_S0", False), window_, CurrentTime);
        XSync(display_, False);
    }
    ~PublishedGtkTheme() { XCloseDisplay(display_); }
    PublishedGtkTheme(const PublishedGtkTheme&) = delete;
    PublishedGtkTheme& operator=(const PublishedGtkTheme&) = delete;

    void publish(const std::string& theme) {
        const std::string name = "Net/ThemeName";
        std::vector<unsigned char> blob = {0, 0, 0, 0};
        auto word = [&blob](std::uint32_t value) {
            for (int byte = 0; byte < 4; ++byte) blob.push_back(static_cast<unsigned char>(value >> (8 * byte)));
        };
        auto padded = [&blob](const std::string& text) {
            blob.insert(blob.end(), text.begin(), text.end());
            while (blob.size() % 4 != 0) blob.push_back(0);
        };
        word(++serial_);
        word(1); // one setting: a text
        blob.insert(blob.end(), {1, 0, static_cast<unsigned char>(name.size()), 0});
        padded(name);
        word(serial_);
        word(static_cast<std::uint32_t>(theme.size()));
        padded(theme);
        const Atom settings = XInternAtom(display_, "_XSETTINGS_SETTINGS", False);
        XChangeProperty(display_, window_, settings, settings, 8, PropModeReplace, blob.data(),
                        static_cast<int>(blob.size()));
        XSync(display_, False);
    }

private:
    Display* display_;
    Window window_;
    std::uint32_t serial_ = 0;
};

} // namespace orvik::test
