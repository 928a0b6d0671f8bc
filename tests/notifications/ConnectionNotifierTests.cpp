#include "notifications/ConnectionNotifier.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <memory>

namespace orvik::helper {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

class ConnectionNotifierTest : public testing::Test {
protected:
    // python3-dbusmock serving the notification service, once it owns the name.
    void startDaemon(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ORVIK_TEST_RUN_DBUSMOCK);
        daemon_ = std::make_unique<test::ChildProcess>(std::move(arguments));
        ASSERT_TRUE(test::waitUntil(
            [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(service).value(); }));
    }

    QDBusMessage callMock(const QString& method, const QVariantList& arguments) {
        auto call = QDBusMessage::createMethodCall(service, path, mockInterface, method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call);
    }

    // The arguments of every Notify call the daemon received.
    std::vector<QVariantList> notifyCalls() {
        const QDBusMessage reply = callMock(QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        std::vector<QVariantList> calls;
        if (reply.arguments().isEmpty()) return calls;
        const auto list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong time = 0;
            QVariantList arguments;
            list.beginStructure();
            list >> time >> arguments;
            list.endStructure();
            calls.push_back(arguments);
        }
        list.endArray();
        return calls;
    }

    // Waits until every post has its answer.
    void settle() {
        ASSERT_TRUE(test::waitUntil([this] { return notifier.pendingPosts() == 0; }, std::chrono::seconds(30),
                                    [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    }

    const std::vector<std::string> notificationDaemon{"--template", "notification_daemon"};
    std::unique_ptr<test::ChildProcess> daemon_;
    ConnectionNotifier notifier;
};

TEST_F(ConnectionNotifierTest, PostsBothNotificationsWithTheirTextsToAPresentService) {
    startDaemon(notificationDaemon);
    notifier.notifyConnected("Tom & <b>Jerry</b>");
    notifier.notifySleepTimer("Sleep");
    settle();

    EXPECT_EQ(notifier.authorization(), true);
    const auto calls = notifyCalls();
    ASSERT_EQ(calls.size(), 2U);
    const QVariantList connected{
        QStringLiteral("Orvik Helper"), 0U, QStringLiteral("orvik-helper"),
        QStringLiteral("Tom & <b>Jerry</b> connected"),
        QStringLiteral("It can control this computer now. Choose Pause Orvik in the system tray to stop it.")};
    EXPECT_EQ(calls[0].mid(0, 5), connected);
    EXPECT_EQ(calls[1].mid(3, 2), (QVariantList{QStringLiteral("Sleep in 1 minute"),
                                                QStringLiteral("Open the Orvik Helper menu to cancel.")}));
}

TEST_F(ConnectionNotifierTest, AMissingServiceDecidesNothingSoAServiceStartedLaterGetsTheNextPost) {
    notifier.notifyConnected("Lost");
    settle();
    EXPECT_EQ(notifier.authorization(), std::nullopt);

    startDaemon(notificationDaemon);
    notifier.notifyConnected("Kitchen iPad");
    settle();
    EXPECT_EQ(notifier.authorization(), true);
    const auto calls = notifyCalls();
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].value(3), QStringLiteral("Kitchen iPad connected"));
}

TEST_F(ConnectionNotifierTest, AServiceThatRefusesTheFirstPostSilencesTheLaterOnes) {
    // A service without Notify refuses it; once the method exists, nothing more is sent to it.
    startDaemon({service.toStdString(), path.toStdString(), service.toStdString()});
    notifier.notifyConnected("Refused");
    settle();
    EXPECT_EQ(notifier.authorization(), false);

    callMock(QStringLiteral("AddMethod"), {QString(), QStringLiteral("Notify"), QStringLiteral("susssasa{sv}i"),
                                           QStringLiteral("u"), QStringLiteral("ret = 1")});
    notifier.notifySleepTimer("Sleep");
    settle();
    EXPECT_TRUE(notifyCalls().empty());
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
