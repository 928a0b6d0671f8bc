#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <iterator>
#include <regex>
#include <sstream>

// Last (and out of the unity build): Xlib defines macros such as None and Bool.
#include "../menubar/PublishedGtkTheme.hpp"

#include <X11/Xlib.h>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// Wanted: a change followed within a second; ten times that catches a change not followed at all.
constexpr auto followedWithin = 10s;
constexpr double readable = 3.0;

const std::string portalName = "org.freedesktop.portal.Desktop";
const std::string portalPath = "/org/freedesktop/portal/desktop";

std::vector<std::string> portalCall(const std::string& method, std::vector<std::string> arguments) {
    std::vector<std::string> argv{"gdbus",         "call",     "--session", "--dest", portalName,
                                  "--object-path", portalPath, "--method",  method};
    argv.insert(argv.end(), std::make_move_iterator(arguments.begin()), std::make_move_iterator(arguments.end()));
    return argv;
}

// The settings portal mocked on the run's bus, saying `scheme` at first; there once it answers a Read (the mock
// takes its name before it can).
class SettingsPortal {
public:
    explicit SettingsPortal(int scheme)
        : process_({"/usr/bin/python3", "-m", "dbusmock", "--template", ORVIK_PORTAL_TEMPLATE, "--parameters",
                    "{\"color-scheme\": " + std::to_string(scheme) + "}"}) {
        answers_ = waitUntil(
            [] {
                return !output(portalCall("org.freedesktop.portal.Settings.Read",
                                          {"org.freedesktop.appearance", "color-scheme"}))
                            .empty();
            },
            generous);
    }

    bool answers() const { return answers_; }

    // Says `scheme` from now on, as the portal's SettingChanged does.
    bool change(int scheme) {
        return !output(portalCall("org.freedesktop.DBus.Mock.EmitSignal",
                                  {"org.freedesktop.portal.Settings", "SettingChanged", "ssv",
                                   "[<'org.freedesktop.appearance'>, <'color-scheme'>, <<uint32 " +
                                       std::to_string(scheme) + ">>]"}))
                    .empty();
    }

private:
    ChildProcess process_;
    bool answers_ = false;
};

double linear(int channel) {
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const std::array<int, 3>& colour) {
    return 0.2126 * linear(colour[0]) + 0.7152 * linear(colour[1]) + 0.0722 * linear(colour[2]);
}

// A panel as light as desktops commonly draw them.
constexpr std::array<int, 3> lightPanel{0xe8, 0xe8, 0xe8};

// The contrast of the glyph's ink in the item's 22-pixel icon with a light panel, as a host that draws the item's
// pixmap shows it; 0 where the item has no such icon.
double contrastOnLightPanel(const std::string& item) {
    const std::string pixmaps =
        output({"gdbus", "call", "--session", "--dest", item, "--object-path", "/StatusNotifierItem", "--method",
                "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "IconPixmap"});
    // gdbus writes each pixmap as "(22, 22, [byte 0xff, 0x33, …])", the bytes of each pixel ARGB.
    static const std::regex pixmap(R"(\(22, 22, \[(?:byte )?([^\]]*)\]\))");
    std::smatch found;
    if (!std::regex_search(pixmaps, found, pixmap)) return 0;
    std::vector<int> bytes;
    std::istringstream list(found[1].str());
    for (std::string byte; std::getline(list, byte, ',');) bytes.push_back(std::stoi(byte, nullptr, 16));
    for (std::size_t at = 0; at + 3 < bytes.size(); at += 4) {
        if (bytes[at] != 0xff) continue;
        const double ink = luminance({bytes[at + 1], bytes[at + 2], bytes[at + 3]}) + 0.05;
        const double panel = luminance(lightPanel) + 0.05;
        return std::max(ink, panel) / std::min(ink, panel);
    }
    return 0;
}

// Milliseconds until the glyph can be read on a light panel (3:1); absent where it could not within ten times the
// wanted second.
std::optional<long long> millisecondsUntilReadable(const std::string& item) {
    const auto start = std::chrono::steady_clock::now();
    if (!waitUntil([&] { return contrastOnLightPanel(item) >= readable; }, followedWithin)) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// The real program whose StatusNotifierItem host draws its pixmap on a light panel, on a desktop whose settings
// portal and settings daemon both say dark at the start. The user switches to light: the portal says so
// (SettingChanged), or says it has no preference while the settings daemon's GTK theme turns light, as GNOME's
// "default" does. Either way the glyph becomes readable on the panel, and again after switching back and forth.
TEST(TrayColours, TheGlyphFollowsThePortalAndTheSettingsDaemonOnALightPanel) {
    PublishedGtkTheme daemon("Adwaita-dark");
    SettingsPortal portal(1);
    ASSERT_TRUE(portal.answers());
    TrayHost host(TrayKind::statusNotifier);
    ASSERT_TRUE(host.ready());
    HelperUnderTest helper;
    const auto menu = host.registeredMenu();
    ASSERT_TRUE(menu);
    const std::string item = menu->service();
    // The ink for a dark panel: hardly seen on a light one.
    ASSERT_TRUE(waitUntil([&] { return contrastOnLightPanel(item) > 0; }, generous));
    EXPECT_LT(contrastOnLightPanel(item), readable);

    ASSERT_TRUE(portal.change(2));
    auto took = millisecondsUntilReadable(item);
    EXPECT_TRUE(took) << "the portal said light; contrast " << contrastOnLightPanel(item);
    std::cout << "the portal's light followed in " << took.value_or(-1) << " ms" << std::endl;

    ASSERT_TRUE(portal.change(1));
    EXPECT_TRUE(waitUntil([&] { return contrastOnLightPanel(item) < readable; }, followedWithin))
        << "the portal said dark";
    ASSERT_TRUE(portal.change(0));
    daemon.publish("Adwaita");
    took = millisecondsUntilReadable(item);
    EXPECT_TRUE(took) << "no preference and a light GTK theme; contrast " << contrastOnLightPanel(item);
    std::cout << "the settings daemon's light theme followed in " << took.value_or(-1) << " ms" << std::endl;
}

} // namespace
} // namespace orvik::test
