// Every tab with many devices, and the help window, drawn on a real X server: each picture is written to the
// build folder to be looked at, and nothing in it may be cut short.
#include "SettingsFixture.hpp"
#include "settings/HelpWindow.hpp"

#include <QScrollArea>
#include <QScrollBar>

namespace orvik::helper {
namespace {

void save(QWidget* window, const QString& name) {
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(QStringLiteral(ORVIK_SCREENSHOT_DIR "/%1.png").arg(name)));
}

TEST_F(SettingsFixture, EveryTabWithManyDevicesShowsEverythingWhole) {
    std::vector<ConnectedDevice> connections;
    HelperPreferences preferences;
    for (int i = 0; i < 9; ++i) {
        const auto device = pair("iPhone of a colleague with a rather long name " + std::to_string(i + 1),
                                 std::chrono::system_clock::now() - std::chrono::hours(24 * i));
        if (i % 3 == 0) connections.push_back({Uuid::random(), device.id, device.name, "10.0.0.9"});
        if (i < 4) preferences.screenViewingDevices.push_back(device.id);
    }
    preferencesStore->save(preferences);
    create();
    publish(ServerEvent::devices(store->devices()));
    publish(ServerEvent::connections(connections));
    publish(ServerEvent::screenViewers(connections));
    QTabWidget* tabs = window->tabs();
    for (int i = 0; i < tabs->count(); ++i) {
        showTab(tabs->tabText(i));
        test::expectNothingClipped(window.get());
        save(window.get(), QStringLiteral("settings-%1").arg(tabs->tabText(i).toLower()));
    }
}

TEST(HelpWindowScreenshot, TheLongestTopicWrapsWhole) {
    HelpWindow window;
    window.show();
    test::expectNothingClipped(&window);
    save(&window, QStringLiteral("help-top"));
    auto* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    save(&window, QStringLiteral("help-bottom"));
}

} // namespace
} // namespace orvik::helper
