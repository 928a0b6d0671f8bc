#include "ChildProcess.hpp"
#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/DBusMenuTypes.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/StatusNotifierTypes.hpp"
#include "menubar/TrayInk.hpp"
#include "menubar/TrayPresence.hpp"
#include "model/GlobalHotKeying.hpp"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <iostream>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Last (and out of the unity build): Xlib defines macros such as None and Bool.
#include "PublishedGtkTheme.hpp"

#include <X11/Xlib.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    return orvik::test::waitUntil(condition, limit, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
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

// Whether a watcher runs and says a host is registered; read without introspection, which Qt would cache for the
// whole run.
bool hostRegistered() {
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcherName, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherName << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// The symbolic icons in the hicolor theme of a folder of icon themes.
bool writeSymbolicIcons(const QString& themes) {
    const QString icons = themes + QStringLiteral("/hicolor/scalable/status/");
    QDir().mkpath(icons);
    for (MenuBarGlyphState state : {MenuBarGlyphState::idle, MenuBarGlyphState::connected, MenuBarGlyphState::viewing,
                                    MenuBarGlyphState::slashed}) {
        QFile file(icons + MenuBarGlyph::symbolicIconName(state) + QStringLiteral(".svg"));
        if (!file.open(QIODevice::WriteOnly) || file.write(MenuBarGlyph::symbolicSvg(state)) <= 0) return false;
    }
    return true;
}

// The bus name of the one item the watcher knows ("NAME" or "NAME/PATH" in its list).
QString exportedItem() {
    auto items =
        call(watcherName, QStringLiteral("/StatusNotifierWatcher"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {watcherName, QStringLiteral("RegisteredStatusNotifierItems")});
    if (!items) return {};
    const QStringList names = items->arguments().value(0).value<QDBusVariant>().variant().toStringList();
    return names.size() == 1 ? names.front().section(u'/', 0, 0) : QString();
}

QVariant itemProperty(const QString& item, const QString& name) {
    auto reply = call(item, QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), name});
    return reply ? reply->arguments().value(0).value<QDBusVariant>().variant() : QVariant();
}

std::unique_ptr<orvik::test::ChildProcess> startWatcher(const QString& log) {
    return std::make_unique<orvik::test::ChildProcess>(std::vector<std::string>{
        "/usr/bin/python3", "-m", "dbusmock", "-l", log.toStdString(), "--template", ORVIK_WATCHER_TEMPLATE});
}

// The bus name of the item registered last with the mocked watcher, once one registered.
QString registeredItem(const QString& log) {
    QString item;
    eventually([&] {
        QFile file(log);
        const QString calls = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        const qsizetype at = calls.lastIndexOf(QStringLiteral("RegisterStatusNotifierItem \""));
        if (at >= 0) item = calls.mid(at).section(u'"', 1, 1);
        return !item.isEmpty();
    });
    return item;
}

// The colour of the glyph's opaque pixels in the item's icon at 22 px, as a host that draws its pixmap sees it.
QColor exportedInk(const QString& item) {
    const auto pixmaps = qdbus_cast<QList<StatusNotifierPixmap>>(itemProperty(item, QStringLiteral("IconPixmap")));
    QColor ink;
    for (const StatusNotifierPixmap& pixmap : pixmaps) {
        if (pixmap.width != 22 || pixmap.pixels.size() != 22 * 22 * 4) continue;
        for (qsizetype at = 0; at < pixmap.pixels.size(); at += 4) {
            const auto byte = [&](qsizetype offset) { return static_cast<uchar>(pixmap.pixels[at + offset]); };
            if (byte(0) == 255) ink = QColor(byte(1), byte(2), byte(3));
        }
    }
    return ink;
}

TEST(TrayOnDBus, RegistersWithTheWatcherAndExportsTheMenuTable) {
    test::application();
    const QString log = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/watcher.log");
    // The symbolic icons installed where tray hosts look them up by name.
    const QString installed =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/icons");
    ASSERT_TRUE(writeSymbolicIcons(installed));
    auto watcher = startWatcher(log);
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(eventually(hostRegistered));
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    TrayPresence tray(options);
    MenuSnapshot snapshot;
    snapshot.menuStatus.kind = HelperAppModel::MenuStatus::Kind::paused;
    snapshot.pairedDevices = {test::pairedDevice(test::strangeName)};
    snapshot.isPaused = true;
    tray.update(snapshot, {}, MenuBarGlyphState::slashed);
    tray.show();
    const QString item = registeredItem(log);
    ASSERT_FALSE(item.isEmpty());

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

    // Single properties as a host asks for them: a value, the interface's default where the item names none, an
    // error for an item or a property that is not there, never a question left unanswered.
    const auto before = exportedIds(item);
    ASSERT_TRUE(before.contains("Paused") && before.contains("Pair iPhone…"));
    struct PropertyRow {
        int id;
        const char* name;
        QVariant value;
    };
    const std::vector<PropertyRow> propertyRows{
        {before.at("Pair iPhone…"), "label", QStringLiteral("Pair iPhone…")},
        {before.at("Paused"), "enabled", false},
        {before.at("Pair iPhone…"), "enabled", true},
        {0, "children-display", QStringLiteral("submenu")},
        {987654, "label", {}},
        {before.at("Pair iPhone…"), "no-such-property", {}},
    };
    for (const PropertyRow& row : propertyRows) {
        QDBusMessage getProperty = QDBusMessage::createMethodCall(
            item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetProperty"));
        getProperty << row.id << QString::fromLatin1(row.name);
        // Far shorter than the bus's own time-out: a question left unanswered shows as NoReply.
        QDBusPendingCall answer = bus.asyncCall(getProperty, 5000);
        ASSERT_TRUE(eventually([&] { return answer.isFinished(); })) << row.id << " " << row.name;
        const QDBusError::ErrorType expected = row.value.isValid() ? QDBusError::NoError : QDBusError::InvalidArgs;
        EXPECT_EQ(answer.error().type(), expected) << row.id << " " << row.name;
        if (row.value.isValid()) {
            EXPECT_EQ(answer.reply().arguments().value(0).value<QDBusVariant>().variant(), row.value)
                << row.id << " " << row.name;
        }
    }

    // Resuming changes the status line and the toggle: the exported items stay the same ones, only relabelled.
    snapshot.menuStatus.kind = HelperAppModel::MenuStatus::Kind::ready;
    snapshot.isPaused = false;
    tray.update(snapshot, {}, MenuBarGlyphState::idle);
    const auto after = exportedIds(item);
    ASSERT_TRUE(after.contains("Ready"));
    EXPECT_EQ(after.at("Ready"), before.at("Paused"));
    EXPECT_EQ(after.at("Pair iPhone…"), before.at("Pair iPhone…"));
    EXPECT_EQ(after.at(test::strangeName), before.at(test::strangeName));

    // The watcher goes: the window stands in; it comes back: the window hides.
    watcher.reset();
    EXPECT_TRUE(eventually([&] { return tray.fallbackWindow().isVisible(); }));
    watcher = startWatcher(log);
    EXPECT_TRUE(eventually([&] { return !tray.fallbackWindow().isVisible(); }));
    QDir(installed).removeRecursively();
}

// The settings portal's colour-scheme preference points to the panel: asked at the start, followed by its signal.
TEST(TrayOnDBus, TheGlyphFollowsTheSettingsPortalsColourScheme) {
    test::application();
    qunsetenv("XDG_CURRENT_DESKTOP");
    const QString log = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/portal-watcher.log");
    auto watcher = startWatcher(log);
    ASSERT_TRUE(eventually(hostRegistered));
    const QString portalName = QStringLiteral("org.freedesktop.portal.Desktop");
    orvik::test::ChildProcess portal({"/usr/bin/python3", "-m", "dbusmock", "--template", ORVIK_PORTAL_TEMPLATE,
                                      "--parameters", R"({"color-scheme": 1})"});
    // Ready once it answers: python-dbusmock takes its name before it has loaded its template.
    ASSERT_TRUE(eventually([&] {
        return call(portalName, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
                    QStringLiteral("Ping"), {})
            .has_value();
    }));
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    TrayPresence tray(options);
    tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::idle);
    tray.show();
    const QString item = registeredItem(log);
    ASSERT_FALSE(item.isEmpty());
    // Dark: an ink that stands out from a dark panel far more than the neutral grey would.
    constexpr double themedContrast = 7.0;
    EXPECT_TRUE(eventually([&] { return TrayInk::contrast(exportedInk(item), TrayInk::darkPanel) >= themedContrast; }))
        << exportedInk(item).name().toStdString();

    // Light.
    ASSERT_TRUE(call(portalName, QStringLiteral("/org/freedesktop/portal/desktop"),
                     QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"),
                     {QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"),
                      QStringLiteral("ssv"),
                      QVariantList{QVariant::fromValue(QDBusVariant(QStringLiteral("org.freedesktop.appearance"))),
                                   QVariant::fromValue(QDBusVariant(QStringLiteral("color-scheme"))),
                                   QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(2u))))}}));
    EXPECT_TRUE(eventually([&] { return TrayInk::contrast(exportedInk(item), TrayInk::lightPanel) >= themedContrast; }))
        << exportedInk(item).name().toStdString();
}

// Debian's StatusNotifierItem host with a watcher of its own, drawing a bar of `colour` across the screen's top. It
// starts its watcher only where none runs (so the one before must have left the bus), and on a thread racing its
// own first call to it, which may fail: it is then started again.
std::unique_ptr<orvik::test::ChildProcess> startSniHost(const std::string& colour, int barHeight) {
    constexpr int startsAtMost = 3;
    for (int start = 0; start < startsAtMost; ++start) {
        const bool watcherGone =
            eventually([] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(watcherName); });
        if (!watcherGone) return nullptr;
        auto host = std::make_unique<orvik::test::ChildProcess>(std::vector<std::string>{
            "gtk-sni-tray-standalone", "--watcher", "--top", "--size", std::to_string(barHeight), "--color", colour});
        if (eventually([&] { return hostRegistered() || host->waitForExit(0ms); }) && !host->waitForExit(0ms)) {
            return host;
        }
    }
    return nullptr;
}

struct BarCase {
    const char* colour;
    // XDG_CURRENT_DESKTOP; empty: unset.
    std::string desktop;
    // What else the desktop says: the settings daemon's GTK theme, KDE's window colour.
    std::string gtkTheme;
    std::string kdeWindow;
    // With nothing else said, the neutral grey's 3:1; with a word about the panel, the theme's ink.
    double atLeast = TrayInk::minimumContrast;
};

// A StatusNotifierItem host from Debian, which draws the item's pixmap on a bar of one colour: with nothing but the
// desktop's name to go by (no settings portal, settings daemon or KDE colours here), the glyph stands out from a dark
// and from a light bar; where the desktop says more, far more. The symbolic icons are not installed but lie in a
// folder of icon themes, as in the build folder: the item names them and says where. Pictures of each bar go to the
// working folder.
TEST(TrayOnDBus, TheGlyphStandsOutFromARealHostsDarkAndLightBars) {
    test::application();
    QTemporaryDir themes;
    ASSERT_TRUE(writeSymbolicIcons(themes.path()));
    constexpr int barHeight = 30;
    constexpr double themedContrast = 7.0;
    const QRect bar(0, 0, QGuiApplication::primaryScreen()->geometry().width(), barHeight);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ASSERT_TRUE(QDir().mkpath(config));
    const QString kdeglobals = config + QStringLiteral("/kdeglobals");
    const std::vector<BarCase> bars{
        {"#202020", "", "", ""},
        {"#202020", "KDE", "", ""},
        {"#202020", "XFCE", "", ""},
        {"#E8E8E8", "", "", ""},
        {"#E8E8E8", "KDE", "", ""},
        {"#E8E8E8", "XFCE", "", ""},
        {"#202020", "XFCE", "Adwaita-dark", "", themedContrast},
        {"#E8E8E8", "KDE", "", "239,240,241", themedContrast},
    };
    bool namesChecked = false;
    for (const BarCase& row : bars) {
        if (row.desktop.empty()) {
            qunsetenv("XDG_CURRENT_DESKTOP");
        } else {
            qputenv("XDG_CURRENT_DESKTOP", QByteArray::fromStdString(row.desktop));
        }
        const std::string name = std::string(row.colour + 1) + "-" + (row.desktop.empty() ? "unset" : row.desktop) +
                                 (row.gtkTheme.empty() ? "" : "-" + row.gtkTheme) +
                                 (row.kdeWindow.empty() ? "" : "-kdeglobals");
        std::optional<orvik::test::PublishedGtkTheme> gtkTheme;
        if (!row.gtkTheme.empty()) gtkTheme.emplace(row.gtkTheme);
        QFile::remove(kdeglobals);
        if (!row.kdeWindow.empty()) {
            QFile file(kdeglobals);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromStdString("[Colors:Window]\nBackgroundNormal=" + row.kdeWindow + "\n"));
        }
        // A host of its own for each tray: this host keeps an item that goes while it is still adding it.
        const auto host = startSniHost(row.colour, barHeight);
        ASSERT_TRUE(host) << name;
        TrayPresence::Options options;
        options.trayGrace = 300ms;
        options.iconThemePath = themes.path();
        TrayPresence tray(options);
        tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::connected);
        tray.show();
        double contrast = 1;
        EXPECT_TRUE(eventually(
            [&] {
                contrast = test::contrastWithCorner(bar);
                return contrast >= row.atLeast;
            },
            10s))
            << name << ": contrast " << contrast;
        QGuiApplication::primaryScreen()
            ->grabWindow(0, bar.x(), bar.y(), bar.width(), bar.height())
            .save(QString::fromStdString("sni-bar-" + name + ".png"));
        if (!std::exchange(namesChecked, true)) {
            const QString item = exportedItem();
            ASSERT_FALSE(item.isEmpty());
            EXPECT_EQ(itemProperty(item, QStringLiteral("IconThemePath")).toString(), themes.path());
            EXPECT_EQ(itemProperty(item, QStringLiteral("IconName")).toString(),
                      QStringLiteral("orvik-helper-connected-symbolic"));
            // It has a tooltip, and a click opens the menu.
            EXPECT_TRUE(itemProperty(item, QStringLiteral("ToolTip")).isValid());
            EXPECT_TRUE(call(item, QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.kde.StatusNotifierItem"),
                             QStringLiteral("Activate"), {0, 0}));
            EXPECT_TRUE(eventually([&] { return tray.menu().isVisible(); }));
            tray.menu().hide();
            // A new glyph reaches the host (the item's NewIcon signal).
            const QImage before =
                QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, bar.width(), barHeight).toImage();
            tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::slashed);
            EXPECT_TRUE(eventually([&] {
                return QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, bar.width(), barHeight).toImage() !=
                       before;
            }));
        }
    }
    QFile::remove(kdeglobals);
    qunsetenv("XDG_CURRENT_DESKTOP");
}

// How long `condition` took to hold, in milliseconds; absent where it did not within the usual wait.
std::optional<long long> millisecondsUntil(const std::function<bool()>& condition) {
    const auto start = std::chrono::steady_clock::now();
    if (!eventually(condition)) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A desktop that switches its theme while the helper runs: the settings daemon's GTK theme (as XFCE switches it,
// and a daemon started anew) and KDE's colours (written the way KDE writes them, a new file renamed over the old)
// are followed as they change. The item's glyph stands out from the panel each points to.
TEST(TrayOnDBus, TheGlyphFollowsTheDesktopsThemeAsItChanges) {
    test::application();
    const QString log = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/theme-watcher.log");
    auto watcher = startWatcher(log);
    ASSERT_TRUE(eventually(hostRegistered));
    constexpr double themedContrast = 7.0;
    const auto standsOutFrom = [](const QString& item, const QColor& panel, double atLeast) {
        return [item, panel, atLeast] { return TrayInk::contrast(exportedInk(item), panel) >= atLeast; };
    };
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    {
        qputenv("XDG_CURRENT_DESKTOP", "XFCE");
        orvik::test::PublishedGtkTheme daemon("Adwaita-dark");
        TrayPresence tray(options);
        tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::idle);
        tray.show();
        const QString item = registeredItem(log);
        ASSERT_FALSE(item.isEmpty());
        ASSERT_TRUE(eventually(standsOutFrom(item, TrayInk::darkPanel, themedContrast)));
        daemon.publish("Adwaita");
        auto took = millisecondsUntil(standsOutFrom(item, TrayInk::lightPanel, TrayInk::minimumContrast));
        EXPECT_TRUE(took) << "XSETTINGS theme changed: " << exportedInk(item).name().toStdString();
        std::cout << "XSETTINGS change followed in " << took.value_or(-1) << " ms" << std::endl;
        orvik::test::PublishedGtkTheme restarted("Adwaita-dark");
        took = millisecondsUntil(standsOutFrom(item, TrayInk::darkPanel, themedContrast));
        EXPECT_TRUE(took) << "XSETTINGS owner changed: " << exportedInk(item).name().toStdString();
        std::cout << "XSETTINGS owner change followed in " << took.value_or(-1) << " ms" << std::endl;
        restarted.publish("Adwaita");
        EXPECT_TRUE(eventually(standsOutFrom(item, TrayInk::lightPanel, TrayInk::minimumContrast)))
            << "the new owner's theme changed: " << exportedInk(item).name().toStdString();
    }
    {
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        ASSERT_TRUE(QDir().mkpath(config));
        const auto writeColours = [&config](const char* window) {
            QFile file(config + QStringLiteral("/kdeglobals.new"));
            const bool written = file.open(QIODevice::WriteOnly) &&
                                 file.write(QByteArray("[Colors:Window]\nBackgroundNormal=") + window + "\n") > 0;
            file.close();
            return written && std::rename(qPrintable(file.fileName()), qPrintable(config + "/kdeglobals")) == 0;
        };
        ASSERT_TRUE(writeColours("32,35,38"));
        TrayPresence tray(options);
        tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::idle);
        tray.show();
        const QString item = registeredItem(log);
        ASSERT_TRUE(eventually(standsOutFrom(item, QColor(32, 35, 38), themedContrast)));
        ASSERT_TRUE(writeColours("239,240,241"));
        const auto took = millisecondsUntil(standsOutFrom(item, QColor(239, 240, 241), themedContrast));
        EXPECT_TRUE(took) << "kdeglobals replaced: " << exportedInk(item).name().toStdString();
        std::cout << "kdeglobals change followed in " << took.value_or(-1) << " ms" << std::endl;
        QFile::remove(config + QStringLiteral("/kdeglobals"));
    }
    qunsetenv("XDG_CURRENT_DESKTOP");
}

// A signal on the bus, as a host that follows it receives it.
class BusSignal : public QObject {
    Q_OBJECT
public:
    BusSignal(const QString& service, const QString& path, const QString& interface, const QString& name) {
        QDBusConnection::sessionBus().connect(service, path, interface, name, this, SLOT(receive(QDBusMessage)));
    }

    std::vector<QDBusMessage> received;

public slots:
    void receive(const QDBusMessage& message) { received.push_back(message); }
};

// Whether an ItemsPropertiesUpdated signal relabelled an item to `label`.
bool relabelled(const std::vector<QDBusMessage>& announced, const std::string& label) {
    for (const QDBusMessage& signal : announced) {
        for (const auto& item : qdbus_cast<QList<DBusMenuItemProperties>>(signal.arguments().value(0))) {
            if (shownLabel(item.properties.value(QStringLiteral("label")).toString()) == label) return true;
        }
    }
    return false;
}

// At login the helper may start before the panel. A StatusNotifierItem host that starts once the window stands in
// for the tray gets the item: it draws the glyph, the window goes, and the menu the host shows from the bus holds
// the menu's items, which act when the host says one was clicked, and follows the model.
TEST(TrayOnDBusLate, AHostThatStartsAfterTheHelperGetsTheItemItsMenuActsAndTheWindowGoes) {
    test::application();
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    TrayPresence tray(options);
    std::vector<std::string> calls;
    MenuActions actions;
    actions.setPaused = [&calls](bool paused) { calls.push_back(paused ? "pause" : "resume"); };
    MenuSnapshot snapshot;
    snapshot.pairedDevices = {test::pairedDevice(test::strangeName)};
    tray.update(snapshot, actions, MenuBarGlyphState::connected);
    tray.show();
    ASSERT_TRUE(eventually([&] { return tray.fallbackWindow().isVisible(); }));

    std::chrono::steady_clock::time_point watcherCame;
    QDBusServiceWatcher watcherComing(watcherName, QDBusConnection::sessionBus(),
                                      QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&watcherComing, &QDBusServiceWatcher::serviceRegistered,
                     [&watcherCame] { watcherCame = std::chrono::steady_clock::now(); });
    constexpr int barHeight = 30;
    const auto host = startSniHost("#202020", barHeight);
    ASSERT_TRUE(host);
    QString item;
    ASSERT_TRUE(eventually([&] { return !(item = exportedItem()).isEmpty(); }));
    std::cout
        << "registered within "
        << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - watcherCame).count()
        << " ms of the watcher's coming" << std::endl;
    EXPECT_TRUE(eventually([&] { return !tray.fallbackWindow().isVisible(); }));
    EXPECT_EQ(tray.menuPlace(), MenuPlace::tray);
    const QRect bar(0, 0, QGuiApplication::primaryScreen()->geometry().width(), barHeight);
    EXPECT_TRUE(eventually([&] { return test::contrastWithCorner(bar) >= TrayInk::minimumContrast; }));

    auto layout = call(item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                       QStringLiteral("GetLayout"), {0, -1, QStringList()});
    ASSERT_TRUE(layout);
    std::vector<std::string> lines;
    readLayout(layout->arguments().at(1).value<QDBusArgument>(), lines, "");
    EXPECT_EQ(lines, test::outline(HelperMenu::items(snapshot, actions)));
    const auto ids = exportedIds(item);
    const std::string pause = "Pause Orvik (" + std::string(GlobalHotKeying::displayString) + ")";
    ASSERT_TRUE(ids.contains(pause));
    EXPECT_TRUE(call(item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                     QStringLiteral("Event"),
                     {ids.at(pause), QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u}));
    EXPECT_TRUE(eventually([&] { return calls == std::vector<std::string>{"pause"}; }));

    BusSignal updates(item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                      QStringLiteral("ItemsPropertiesUpdated"));
    // A call answered after the bus took the signal's match.
    ASSERT_TRUE(call(item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
                     QStringLiteral("AboutToShow"), {0}));
    snapshot.menuStatus.kind = HelperAppModel::MenuStatus::Kind::paused;
    snapshot.isPaused = true;
    tray.update(snapshot, actions, MenuBarGlyphState::slashed);
    EXPECT_TRUE(eventually([&] { return relabelled(updates.received, "Paused"); }));
}

} // namespace
} // namespace orvik::helper

#include "TrayOnDBusTests.moc"
