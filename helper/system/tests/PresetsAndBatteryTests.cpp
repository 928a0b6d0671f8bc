#include "system/BatteryReader.hpp"
#include "system/PresentationPresets.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;
using Presets = PresentationPresets;

// A folder of the test's own, removed at the end.
struct TemporaryFolder {
    fs::path path = fs::temp_directory_path() / ("orvik-system-" + std::to_string(::getpid()));
    ~TemporaryFolder() { fs::remove_all(path); }
    fs::path write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((path / relative).parent_path());
        std::ofstream(path / relative) << text << "\n";
        return path / relative;
    }
};

TEST(PresentationPresets, AFileReplacesTheTableWholeFallingBackToGenericOnlyAndAMalformedOneIsRejectedWhole) {
    auto presets =
        Presets::load(R"({"version": 2, "apps": {"generic": {"next": ["space"]}, "keynote": {"stop": []}}})");
    const std::vector<KeyCombo> space{{MacKey::space, {}}};
    EXPECT_EQ(presets.combos(PresentationAction::next, PresentationApp::googleSlides), space);
    EXPECT_EQ(presets.combos(PresentationAction::next, PresentationApp::keynote), space);
    EXPECT_TRUE(presets.combos(PresentationAction::stop, PresentationApp::keynote).empty()) << "no fall-through";
    EXPECT_TRUE(presets.combos(PresentationAction::previous, PresentationApp::powerPoint).empty());
    EXPECT_TRUE(Presets::builtIn().combos(PresentationAction::start, PresentationApp::generic).empty());
    TemporaryFolder folder;
    EXPECT_EQ(Presets::firstFound({folder.write("good.json", R"({"version": 2, "apps": {}})")}).version, 2);
    for (const char* text : {R"({"version": 1, "apps": {"generic": {"next": ["space", "hyper+x"]}}})",
                             R"({"version": 1, "apps": {"generic": {"next": "space"}}})",
                             R"({"version": "1", "apps": {}})", R"({"apps": {}})", "not json"}) {
        auto file = folder.write("presets.json", text);
        EXPECT_EQ(Presets::firstFound({folder.path / "missing.json", file}), Presets::builtIn()) << text;
    }
}

TEST(BatteryReader, TakesTheFirstSystemBatteryByNameWithTheBestLevelItHas) {
    TemporaryFolder root;
    auto supply = [&](const std::string& name, const std::map<std::string, std::string>& attributes) {
        for (const auto& [attribute, value] : attributes) root.write(fs::path(name) / attribute, value);
    };
    EXPECT_EQ(BatteryReader::read(root.path), std::nullopt) << "no power supply folder";
    supply("AC", {{"type", "Mains"}});
    supply("hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "90"}});
    EXPECT_EQ(BatteryReader::read(root.path), std::nullopt) << "a mouse's battery";
    supply("BAT1", {{"type", "Battery"}, {"capacity", "40"}, {"status", "Charging"}});
    EXPECT_EQ(BatteryReader::read(root.path), (BatteryStatus{0.4F, true}));
    supply("BAT0", {{"type", "Battery"}, {"energy_full", "0"}, {"charge_now", "25"}, {"charge_full", "50"}});
    EXPECT_EQ(BatteryReader::read(root.path), (BatteryStatus{0.5F, false})) << "BAT0 first; energy_full 0 skipped";
}

// The status every connected phone gets every two seconds asks for the battery. The worker reads it seldom (it
// moves a percent in minutes, and each reading wakes the worker), and what it read answers the next question.
TEST(BatteryReader, AMinuteOfStatusesEveryTwoSecondsReadsTheBatteryTwice) {
    TemporaryFolder root;
    root.write("BAT0/type", "Battery");
    root.write("BAT0/capacity", "40");
    asio::io_context worker;
    auto readings = [&worker] {
        worker.restart();
        return worker.poll();
    };
    ManualClock clock(100);
    auto reader = BatteryReader::create(root.path, worker.get_executor(), clock.function());
    EXPECT_EQ(readings(), 1U) << "the first reading starts at once";
    EXPECT_EQ(reader->latest(), (BatteryStatus{0.4F, false}));

    root.write("BAT0/capacity", "50");
    std::size_t reads = 0;
    for (int second = 2; second <= 60; second += 2) {
        clock.set(100 + second);
        reader->latest();
        reads += readings();
    }
    EXPECT_EQ(reads, 2U);
    EXPECT_EQ(reader->latest(), (BatteryStatus{0.5F, false}));
}

} // namespace
} // namespace orvik::helper
