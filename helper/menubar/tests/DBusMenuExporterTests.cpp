#include "MenuTestSupport.hpp"
#include "menubar/DBusMenuExporter.hpp"
#include "menubar/MenuRenderer.hpp"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <utility>
#include <vector>

namespace orvik::helper {
namespace {

using Kind = HelperAppModel::MenuStatus::Kind;

// What a host shows: the widget menu's text turned into a dbusmenu label, which reads "_" as a mnemonic mark.
TEST(DBusMenuLabel, ShowsTheMenusTextAsItStandsAndKeepsItsMnemonics) {
    const std::vector<std::pair<QString, QString>> rows{
        {QStringLiteral("Pause Orvik"), QStringLiteral("Pause Orvik")},
        {MenuRenderer::menuTitle(test::strangeName), QStringLiteral("Tom & Jerry__<b>x</b><img src=/etc/hostname>")},
        {QStringLiteral("&Quit"), QStringLiteral("_Quit")},
        {QStringLiteral("snake_case_"), QStringLiteral("snake__case__")},
        {QStringLiteral("ends &"), QStringLiteral("ends &")},
    };
    for (const auto& [text, label] : rows) EXPECT_EQ(DBusMenuExporter::label(text), label) << text.toStdString();
}

class DBusMenuAnnouncements : public testing::Test {
protected:
    void SetUp() override {
        renderer.update(HelperMenu::items(snapshot, {}));
        // What the menu's making announced.
        QCoreApplication::processEvents();
        QObject::connect(
            &exporter, &DBusMenuExporter::ItemsPropertiesUpdated,
            [this](const QList<DBusMenuItemProperties>& updated, const QList<DBusMenuItemPropertyNames>& removed) {
                updates.emplace_back(updated, removed);
            });
        QObject::connect(&exporter, &DBusMenuExporter::LayoutUpdated, [this] { ++layouts; });
        // A host reads the menu, which gives its items their identifiers.
        exporter.GetLayout(0, -1, {}, layout);
    }

    // The identifier of the top-level item whose label is `label`.
    int idOf(const QString& label) const {
        for (const DBusMenuLayoutItem& item : layout.children) {
            if (item.properties.value(QStringLiteral("label")) == label) return item.id;
        }
        return -1;
    }

    QApplication& application = test::application();
    QMenu menu;
    MenuRenderer renderer{menu};
    DBusMenuExporter exporter{menu};
    MenuSnapshot snapshot;
    DBusMenuLayoutItem layout;
    std::vector<std::pair<QList<DBusMenuItemProperties>, QList<DBusMenuItemPropertyNames>>> updates;
    int layouts = 0;
};

// The status line and the toggle change together: one announcement names both, also when a host read the menu in
// between (another host has not), and a property back at its default is named as gone.
TEST_F(DBusMenuAnnouncements, EveryChangeIsAnnouncedOnceWhateverHostsReadMeanwhile) {
    const int status = layout.children.value(0).id;
    const int pause = idOf(QStringLiteral("Pause Orvik (Ctrl+Alt+Super+P)"));
    snapshot.menuStatus.kind = Kind::paused;
    snapshot.isPaused = true;
    renderer.update(HelperMenu::items(snapshot, {}));
    DBusMenuLayoutItem readMeanwhile;
    exporter.GetLayout(0, -1, {}, readMeanwhile);
    QCoreApplication::processEvents();

    ASSERT_EQ(updates.size(), 1U);
    std::map<int, QVariantMap> updated;
    for (const DBusMenuItemProperties& item : updates[0].first) updated[item.id] = item.properties;
    EXPECT_EQ(updated.size(), 2U);
    EXPECT_EQ(updated[status], (QVariantMap{{QStringLiteral("label"), QStringLiteral("Paused")}}));
    EXPECT_EQ(updated[pause], (QVariantMap{{QStringLiteral("toggle-state"), 1}}));
    EXPECT_EQ(layouts, 0);

    QAction* checkForUpdates = menu.actions()[7];
    ASSERT_EQ(checkForUpdates->text(), QStringLiteral("Check for Updates…"));
    checkForUpdates->setEnabled(true);
    QCoreApplication::processEvents();
    ASSERT_EQ(updates.size(), 2U);
    ASSERT_EQ(updates[1].second.size(), 1);
    EXPECT_EQ(updates[1].second[0].names, QStringList{QStringLiteral("enabled")});
}

// Rows that come and go are a new layout of their menu, announced once for the whole update.
TEST_F(DBusMenuAnnouncements, RowsThatComeAndGoAreOneNewLayout) {
    snapshot.addresses = {{"192.168.1.20", 52000}, {"fe80::1c2b", 52000}};
    renderer.update(HelperMenu::items(snapshot, {}));
    QCoreApplication::processEvents();
    EXPECT_EQ(layouts, 1);
    DBusMenuLayoutItem after;
    const uint revision = exporter.GetLayout(0, -1, {}, after);
    EXPECT_GT(revision, 1U);
    EXPECT_EQ(after.children.size(), layout.children.size() + 2);
}

} // namespace
} // namespace orvik::helper
