#include "ChildProcess.hpp"
#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/TrayPresence.hpp"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include <iostream>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    return orvik::test::waitUntil(condition, limit, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// Lets the item do whatever it would still do.
void settle(std::chrono::milliseconds time) {
    eventually([] { return false; }, time);
}

bool watcherRuns() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.kde.StatusNotifierWatcher"));
}

// The items the running watcher took; -1 where it does not answer.
int registrations() {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("RegisteredStatusNotifierItems");
    // Asked without blocking: this thread is the one that answers the watcher's questions to the item.
    QDBusPendingCall answer = QDBusConnection::sessionBus().asyncCall(get);
    if (!eventually([&] { return answer.isFinished(); }) || answer.isError()) return -1;
    return static_cast<int>(answer.reply().arguments().value(0).value<QDBusVariant>().variant().toStringList().size());
}

// A panel that restarts again and again while the application runs: each watcher that comes gets the item
// registered exactly once, also where it took its name a moment before it answered there and refused the first two
// registrations (every other one here, a watcher that never says more than it is asked). The window stands in
// while none runs, and the icon is back in the tray each time.
TEST(WatcherRestarts, EachWatcherThatComesGetsTheItemOnce) {
    test::application();
    TrayPresence::Options options;
    options.trayGrace = 300ms;
    TrayPresence tray(options);
    tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::idle);
    tray.show();
    constexpr int restarts = 8;
    std::vector<int> counts;
    for (int restart = 0; restart < restarts; ++restart) {
        const int refusals = restart % 2 == 0 ? 0 : 2;
        orvik::test::ChildProcess watcher({"/usr/bin/python3", "-m", "dbusmock", "--template", ORVIK_WATCHER_TEMPLATE,
                                           "--parameters", "{\"refusals\": " + std::to_string(refusals) + "}"});
        const auto came = std::chrono::steady_clock::now();
        EXPECT_TRUE(eventually([&] { return tray.menuPlace() == MenuPlace::tray; })) << "watcher " << restart;
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - came);
        settle(500ms);
        counts.push_back(registrations());
        std::cout << "watcher " << restart << " (" << refusals << " refused): the icon back within " << took.count()
                  << " ms of its start" << std::endl;
        watcher.signal(SIGTERM);
        watcher.waitForExit(10s);
        ASSERT_TRUE(eventually([] { return !watcherRuns(); }));
        ASSERT_TRUE(eventually([&] { return tray.menuPlace() == MenuPlace::window; }));
    }
    EXPECT_EQ(counts, std::vector<int>(restarts, 1));
}

} // namespace
} // namespace orvik::helper
