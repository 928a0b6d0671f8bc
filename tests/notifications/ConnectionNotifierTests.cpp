#include "notifications/ConnectionNotifier.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <gmock/gmock.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

// Posts to python3-dbusmock, which prints each call it receives: a time stamp, the method and its arguments.
class ConnectionNotifierFixture : public testing::Test {
protected:
    void startDaemon(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ORVIK_TEST_RUN_DBUSMOCK);
        daemon.emplace(arguments);
        ASSERT_TRUE(test::waitUntil([] {
            const auto bus = QDBusConnection::sessionBus().interface();
            return bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")).value();
        }));
    }

    // Waits until every post has its answer.
    void settle() {
        ASSERT_TRUE(test::waitUntil([this] { return notifier.pendingPosts() == 0; }, 30s,
                                    [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    }

    std::optional<test::ChildProcess> daemon;
    ConnectionNotifier notifier;
};

TEST_F(ConnectionNotifierFixture, AMissingServiceDecidesNothingAndAServiceStartedLaterGetsTheTexts) {
    notifier.notifyConnected("Lost", MenuPlace::tray);
    settle();
    EXPECT_EQ(notifier.authorization(), std::nullopt);

    startDaemon({"--template", "notification_daemon"});
    notifier.notifyConnected("Tom & <b>Jerry</b>", MenuPlace::tray);
    notifier.notifySleepTimer("Sleep");
    notifier.notifyConnected("Ann", MenuPlace::window);
    settle();
    EXPECT_EQ(notifier.authorization(), true);
    EXPECT_THAT(daemon->readLine(10s).value_or(""),
                HasSubstr(R"( Notify "Orvik Helper" 0 "orvik-helper" "Tom & <b>Jerry</b> connected" "It can control )"
                          R"(this computer now. Choose Pause Orvik in the system tray to stop it." [] )"));
    EXPECT_THAT(daemon->readLine(10s).value_or(""),
                HasSubstr(R"(" "Sleep in 1 minute" "Open the Orvik Helper menu to cancel." [] )"));
    EXPECT_THAT(daemon->readLine(10s).value_or(""),
                HasSubstr(R"(" "Ann connected" "It can control this computer now. Choose Pause Orvik in the Orvik )"
                          R"(Helper window to stop it." [] )"));
}

TEST_F(ConnectionNotifierFixture, AServiceThatRefusesTheFirstPostSilencesTheLaterOnes) {
    const std::string service = "org.freedesktop.Notifications";
    startDaemon({service, "/org/freedesktop/Notifications", service}); // without a Notify method
    notifier.notifyConnected("Refused", MenuPlace::tray);
    settle();
    EXPECT_EQ(notifier.authorization(), false);
    notifier.notifySleepTimer("Sleep");
    EXPECT_EQ(notifier.pendingPosts(), 0);
}

TEST(ConnectionNotifierMarkup, EscapesWhatABodyMarkupServiceWouldRender) {
    EXPECT_EQ(ConnectionNotifier::escapeMarkup(QStringLiteral("Tom & <b>Jerry</b>&amp;")),
              QStringLiteral("Tom &amp; &lt;b&gt;Jerry&lt;/b&gt;&amp;amp;"));
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
