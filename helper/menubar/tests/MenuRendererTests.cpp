#include "MenuTestSupport.hpp"
#include "menubar/MenuRenderer.hpp"

#include <gtest/gtest.h>

#include <QMenu>
#include <QPointer>

#include <map>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Kind = HelperAppModel::MenuStatus::Kind;

PairedDevice phone(const std::string& name, int number) {
    return test::pairedDevice(name, std::nullopt,
                              Uuid::parse("11111111-2222-3333-4444-00000000000" + std::to_string(number)).value());
}

// Every action of the menu and its submenus, by the path of titles that leads to it.
void collect(QMenu& menu, const QString& path, std::map<QString, QAction*>& actions) {
    for (QAction* action : menu.actions()) {
        const QString here = path + QLatin1Char('/') + action->text();
        actions[here] = action;
        if (action->menu()) collect(*action->menu(), here, actions);
    }
}

std::map<QString, QAction*> actionsOf(QMenu& menu) {
    std::map<QString, QAction*> actions;
    collect(menu, {}, actions);
    return actions;
}

class MenuRendererUpdate : public testing::Test {
protected:
    void SetUp() override {
        snapshot.now = test::evening;
        snapshot.pairedDevices = {phone("Ann", 1), phone("Bob", 2), phone("Cy", 3)};
        renderer.update(HelperMenu::items(snapshot, {}));
    }

    // Made before the widgets.
    QApplication& application = test::application();
    QMenu menu;
    MenuRenderer renderer{menu};
    MenuSnapshot snapshot;
};

// A phone connecting changes the status line and its own last-seen line: only those two actions are told of a
// change (each such change is one announcement on D-Bus), and every action stays the same object.
TEST_F(MenuRendererUpdate, ChangesOnlyTheRowsThatChangedInPlace) {
    const auto before = actionsOf(menu);
    int changes = 0;
    for (const auto& [path, action] : before) QObject::connect(action, &QAction::changed, [&changes] { ++changes; });

    snapshot.menuStatus = {Kind::connected, {"Bob"}};
    snapshot.pairedDevices[1].lastSeen = test::evening;
    renderer.update(HelperMenu::items(snapshot, {}));

    EXPECT_EQ(changes, 2);
    const auto after = actionsOf(menu);
    EXPECT_EQ(after.at(QStringLiteral("/Connected: Bob")), before.at(QStringLiteral("/Ready")));
    EXPECT_EQ(after.at(QStringLiteral("/Paired Devices/Bob/Last seen now")),
              before.at(QStringLiteral("/Paired Devices/Bob/Never connected")));
    EXPECT_EQ(after.at(QStringLiteral("/Paired Devices/Cy/Remove")),
              before.at(QStringLiteral("/Paired Devices/Cy/Remove")));
    EXPECT_EQ(after.size(), before.size());
}

// An exported menu hears of an item that goes as its action leaves its menu: a submenu that goes is emptied first,
// and only then deleted. Rows that come are put in their place.
TEST_F(MenuRendererUpdate, ARowThatGoesIsEmptiedBeforeItIsDeletedAndNewRowsTakeTheirPlace) {
    QMenu* devices = menu.actions()[3]->menu();
    ASSERT_NE(devices, nullptr);
    QPointer<QMenu> bob = devices->actions()[1]->menu();
    QMenu* cy = devices->actions()[2]->menu();

    snapshot.pairedDevices = {phone("Ann", 1), phone("Dee", 4), phone("Cy", 3)};
    renderer.update(HelperMenu::items(snapshot, {}));

    ASSERT_TRUE(bob);
    EXPECT_TRUE(bob->actions().isEmpty());
    EXPECT_FALSE(devices->actions().contains(bob->menuAction()));
    QStringList names;
    for (QAction* action : devices->actions()) names << action->text();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Ann"), QStringLiteral("Dee"), QStringLiteral("Cy")}));
    EXPECT_EQ(devices->actions()[2]->menu(), cy);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(bob);
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 4); // "Paired Devices" and its three phones
}

} // namespace
} // namespace orvik::helper
