#include "ChildProcess.hpp"
#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/TrayPresence.hpp"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <map>
#include <memory>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

bool eventually(const std::function<bool()>& condition) {
    return orvik::test::waitUntil(condition, 20s, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// A dbusmenu label as a host shows it: "__" is one underscore, any other "_" marks the next character's mnemonic.
std::string shownLabel(const QString& label) {
    QString shown;
    for (qsizetype at = 0; at < label.size(); ++at) {
        if (label[at] == u'_' && at + 1 < label.size()) ++at;
        shown += label[at];
    }
    return shown.toStdString();
}

// One layout node and its children as outline lines (see MenuTestSupport.hpp).
void readLayout(const QDBusArgument& node, std::vector<std::string>& lines, const std::string& indent) {
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    const std::string label = shownLabel(properties.value(QStringLiteral("label")).toString());
    const bool enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    std::string line = properties.value(QStringLiteral("type")) == QStringLiteral("separator") ? "-"
                       : properties.contains(QStringLiteral("children-display"))               ? "> " + label
                       : properties.contains(QStringLiteral("toggle-type"))
                           ? (properties.value(QStringLiteral("toggle-state")).toInt() == 1 ? "[x] " : "[ ] ") + label
                           : (enabled ? "B " : "T ") + label;
    if (properties.contains(QStringLiteral("shortcut"))) {
        QStringList keys;
        const QDBusArgument shortcut = properties.value(QStringLiteral("shortcut")).value<QDBusArgument>();
        shortcut.beginArray();
        while (!shortcut.atEnd()) shortcut >> keys;
        shortcut.endArray();
        line += " ⌨" + keys.join(u'+').replace(QStringLiteral("Control"), QStringLiteral("Ctrl")).toStdString();
    }
    if (id != 0) lines.push_back(indent + line);
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        readLayout(child.variant().value<QDBusArgument>(), lines, id == 0 ? indent : indent + "  ");
    }
    node.endArray();
    node.endStructure();
}

// The identifiers of the exported menu's items by their labels, as a host sees them.
void readIds(const QDBusArgument& node, std::map<std::string, int>& ids) {
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    ids[shownLabel(properties.value(QStringLiteral("label")).toString())] = id;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        readIds(child.variant().value<QDBusArgument>(), ids);
    }
    node.endArray();
    node.endStructure();
}

// Asked without introspection: that is a blocking call, and this thread is the one that answers.
std::optional<QDBusMessage> call(const QString& service, const QString& path, const QString& interface,
                                 const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message);
    if (!eventually([&] { return pending.isFinished(); }) || pending.isError()) return std::nullopt;
    return pending.reply();
}

std::map<std::string, int> exportedIds(const QString& item) {
    std::map<std::string, int> ids;
    auto layout = call(item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                       QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (layout) readIds(layout->arguments().at(1).value<QDBusArgument>(), ids);
    return ids;
}

std::unique_ptr<orvik::test::ChildProcess> startWatcher(const QString& log) {
    return std::make_unique<orvik::test::ChildProcess>(std::vector<std::string>{
        "/usr/bin/python3", "-m", "dbusmock", "-l", log.toStdString(), "--template", ORVIK_WATCHER_TEMPLATE});
}

TEST(TrayOnDBus, RegistersWithTheWatcherAndExportsTheMenuTable) {
    test::application();
    const QString log = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/watcher.log");
    // The symbolic icons installed where tray hosts look them up by name.
    const QString icons = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/icons/hicolor/scalable/status/");
    QDir().mkpath(icons);
    for (MenuBarGlyphState state : {MenuBarGlyphState::idle, MenuBarGlyphState::slashed}) {
        QFile file(icons + MenuBarGlyph::symbolicIconName(state) + QStringLiteral(".svg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(MenuBarGlyph::symbolicSvg(state));
    }
    auto watcher = startWatcher(log);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Ready once its properties are set; read without introspection, which Qt would cache for the whole run.
    QDBusMessage hostRegistered =
        QDBusMessage::createMethodCall(watcherName, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    hostRegistered << watcherName << QStringLiteral("IsStatusNotifierHostRegistered");
    ASSERT_TRUE(eventually([&] {
        const QDBusMessage reply = bus.call(hostRegistered);
        return reply.type() == QDBusMessage::ReplyMessage &&
               reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
    }));
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    TrayPresence tray(options);
    MenuSnapshot snapshot;
    snapshot.menuStatus.kind = HelperAppModel::MenuStatus::Kind::paused;
    snapshot.pairedDevices = {test::pairedDevice(test::strangeName)};
    snapshot.isPaused = true;
    tray.update(snapshot, {}, MenuBarGlyphState::slashed);
    tray.show();
    QString item;
    ASSERT_TRUE(eventually([&] {
        QFile file(log);
        const QString calls = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        const qsizetype at = calls.indexOf(QStringLiteral("RegisterStatusNotifierItem \""));
        if (at >= 0) item = calls.mid(at).section(u'"', 1, 1);
        return !item.isEmpty();
    }));

    // Asked without introspection: that is a blocking call, and this thread is the one that answers.
    QDBusMessage getLayout = QDBusMessage::createMethodCall(
        item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    QDBusPendingCall layout = bus.asyncCall(getLayout);
    ASSERT_TRUE(eventually([&] { return layout.isFinished(); }));
    ASSERT_FALSE(layout.isError()) << layout.error().message().toStdString();
    std::vector<std::string> lines;
    readLayout(layout.reply().arguments().at(1).value<QDBusArgument>(), lines, "");
    EXPECT_EQ(lines, test::outline(HelperMenu::items(snapshot, {})));
    EXPECT_FALSE(tray.fallbackWindow().isVisible());

    // Hosts that recolour symbolic icons get its name.
    auto iconName =
        call(item, QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("IconName")});
    ASSERT_TRUE(iconName);
    EXPECT_EQ(iconName->arguments().value(0).value<QDBusVariant>().variant().toString(),
              QStringLiteral("orvik-helper-slashed-symbolic"));

    // Resuming changes the status line and the toggle: the exported items stay the same ones, only relabelled.
    const auto before = exportedIds(item);
    snapshot.menuStatus.kind = HelperAppModel::MenuStatus::Kind::ready;
    snapshot.isPaused = false;
    tray.update(snapshot, {}, MenuBarGlyphState::idle);
    const auto after = exportedIds(item);
    ASSERT_TRUE(before.contains("Paused") && after.contains("Ready"));
    EXPECT_EQ(after.at("Ready"), before.at("Paused"));
    EXPECT_EQ(after.at("Pair iPhone…"), before.at("Pair iPhone…"));
    EXPECT_EQ(after.at(test::strangeName), before.at(test::strangeName));

    // The watcher goes: the window stands in; it comes back: the window hides.
    watcher.reset();
    EXPECT_TRUE(eventually([&] { return tray.fallbackWindow().isVisible(); }));
    watcher = startWatcher(log);
    EXPECT_TRUE(eventually([&] { return !tray.fallbackWindow().isVisible(); }));
}

} // namespace
} // namespace orvik::helper
