#include "system/BatteryReader.hpp"
#include "system/PresentationPresets.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;
using Presets = PresentationPresets;

// A folder of the test's own, removed at the end.
struct TemporaryFolder {
    fs::path path = fs::temp_directory_path() / ("orvik-system-" + std::to_string(::getpid()) + "-" +
                                                 testing::UnitTest::GetInstance()->current_test_info()->name());
    TemporaryFolder() { fs::create_directories(path); }
    ~TemporaryFolder() { fs::remove_all(path); }
    fs::path write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((path / relative).parent_path());
        std::ofstream(path / relative) << text << "\n";
        return path / relative;
    }
};

TEST(PresentationPresets, TheShippedFileNamesEveryActionForEveryProgram) {
    auto shipped = Presets::firstFound({ORVIK_PRESETS_FILE});
    ASSERT_NE(shipped, Presets::builtIn());
    for (const auto& [app, appName] : CaseNames<PresentationApp>::table) {
        for (const auto& [action, actionName] : CaseNames<PresentationAction>::table)
            EXPECT_EQ(shipped.apps.at(std::string(appName)).at(std::string(actionName)).size(), 1U)
                << appName << " " << actionName;
    }
    EXPECT_EQ(shipped.combos(PresentationAction::next, PresentationApp::keynote),
              (std::vector<KeyCombo>{{MacKey::rightArrow, {}}}));
}

TEST(PresentationPresets, AFileReplacesTheTableWholeFallingBackToGenericOnly) {
    auto presets =
        Presets::load(R"({"version": 2, "apps": {"generic": {"next": ["space"]}, "keynote": {"stop": []}}})");
    const std::vector<KeyCombo> space{{MacKey::space, {}}};
    EXPECT_EQ(presets.combos(PresentationAction::next, PresentationApp::googleSlides), space);
    EXPECT_EQ(presets.combos(PresentationAction::next, PresentationApp::keynote), space);
    EXPECT_TRUE(presets.combos(PresentationAction::stop, PresentationApp::keynote).empty()) << "no fall-through";
    EXPECT_TRUE(presets.combos(PresentationAction::previous, PresentationApp::powerPoint).empty());
    EXPECT_TRUE(Presets::builtIn().combos(PresentationAction::start, PresentationApp::generic).empty());
}

TEST(PresentationPresets, AMalformedFileIsRejectedWholeAndAMissingOneSkipped) {
    TemporaryFolder folder;
    for (const char* text : {R"({"version": 1, "apps": {"generic": {"next": ["space", "hyper+x"]}}})",
                             R"({"version": "1", "apps": {}})", R"({"apps": {}})", "not json"}) {
        auto file = folder.write("presets.json", text);
        EXPECT_EQ(Presets::firstFound({folder.path / "missing.json", file}), Presets::builtIn()) << text;
    }
}

TEST(BatteryReader, TakesTheFirstSystemBatteryByNameWithTheBestLevelItHas) {
    TemporaryFolder root;
    EXPECT_EQ(BatteryReader::read(root.path), std::nullopt) << "no power supply";
    root.write("AC/type", "Mains");
    root.write("hidpp_battery_0/type", "Battery");
    root.write("hidpp_battery_0/scope", "Device");
    root.write("hidpp_battery_0/capacity", "90");
    EXPECT_EQ(BatteryReader::read(root.path), std::nullopt) << "a mouse's battery";

    root.write("BAT1/type", "Battery");
    root.write("BAT1/capacity", "40");
    root.write("BAT1/status", "Charging");
    EXPECT_EQ(BatteryReader::read(root.path), (BatteryStatus{0.4F, true}));

    root.write("BAT0/type", "Battery");
    root.write("BAT0/energy_full", "0");
    root.write("BAT0/charge_now", "2500");
    root.write("BAT0/charge_full", "5000");
    root.write("BAT0/status", "Discharging");
    EXPECT_EQ(BatteryReader::read(root.path), (BatteryStatus{0.5F, false})) << "BAT0 first; energy_full 0 skipped";
}

} // namespace
} // namespace orvik::helper
