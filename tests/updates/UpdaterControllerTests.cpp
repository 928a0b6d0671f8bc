#include "ChildReport.hpp"
#include "WaitUntil.hpp"
#include "WidgetTestEnvironment.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/Log.hpp"
#include "updates/UpdaterController.hpp"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

QByteArray feed(const char* version) {
    return QByteArray(R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><item>)"
                      R"(<sparkle:version>)") +
           version + R"(</sparkle:version><link>https://example.org/orvik</link></item></channel></rss>)";
}

class UpdaterControllerFixture : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(QProcess::execute(ORVIK_TEST_CERTIFICATE_SCRIPT, {certificates.path()}), 0);
        prepareDesktop();
    }
    // The desktop's browser is a reporting child registered for https in a desktop of the test's own.
    static void prepareDesktop() {
        const std::string root = desktop.path().toStdString();
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
            setenv(variable, root.c_str(), 1);
        }
        // No session bus: GIO's launch notice goes nowhere instead of starting a bus.
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/no-bus").c_str(), 1);
        QDir(desktop.path()).mkpath(QStringLiteral("applications"));
        QFile entry(desktop.filePath(QStringLiteral("applications/orvik-test-browser.desktop")));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(("[Desktop Entry]\nType=Application\nName=Browser\nExec=" ORVIK_TEST_CHILD_REPORT " " +
                     browserReport() + " %u\nMimeType=x-scheme-handler/https;\n")
                        .c_str());
        QFile associations(desktop.filePath(QStringLiteral("mimeapps.list")));
        ASSERT_TRUE(associations.open(QIODevice::WriteOnly));
        associations.write("[Default Applications]\nx-scheme-handler/https=orvik-test-browser.desktop\n");
    }
    static std::string browserReport() { return desktop.filePath(QStringLiteral("opened")).toStdString(); }
    void SetUp() override {
        auto tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(certificates.filePath("server.pem")).value(0));
        QFile key(certificates.filePath("server.key"));
        ASSERT_TRUE(key.open(QIODevice::ReadOnly));
        tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        server.setSslConfiguration(tls);
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [this] {
            while (auto* socket = server.nextPendingConnection()) serve(socket);
        });
        Log::setSink([this](Log::Level, std::string_view category, std::string_view message) {
            if (category == "Updates") logged.emplace_back(message);
        });
    }
    void TearDown() override { Log::setSink({}); }

    std::unique_ptr<UpdaterController> controller(std::string feedUrl, const char* authority = "ca.pem") {
        const auto authorities = QSslCertificate::fromPath(certificates.filePath(authority));
        return std::make_unique<UpdaterController>(UpdateConfiguration{feedUrl, "key", "1.2.0", authorities}, defaults);
    }
    static QMessageBox* shownBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }
    // Answers every request with one fixed response, with a certificate of the test authority.
    void serve(QTcpSocket* socket) {
        const auto respond = [this, socket] {
            if (socket->readAll().isEmpty()) return; // the request may have come with the handshake
            socket->write("HTTP/1.0 " + status + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        };
        QObject::connect(socket, &QIODevice::readyRead, socket, respond);
        respond();
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(server.serverPort()) + "/appcast.xml"; }
    static bool await(const std::function<bool()>& condition) {
        return test::waitUntil(condition, std::chrono::seconds(20),
                               [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
    }

    static inline QTemporaryDir certificates;
    InMemoryUserDefaults defaults;
    QSslServer server;
    QByteArray status = "200 OK";
    QByteArray body;
    static inline QTemporaryDir desktop;
    std::vector<std::string> logged;
};

// The answer to give, the authority the checker trusts, the text shown.
using CheckCase = std::tuple<QByteArray, QByteArray, const char*, std::string>;
class UserCheck : public UpdaterControllerFixture, public testing::WithParamInterface<CheckCase> {};

TEST_P(UserCheck, AlwaysShowsHowTheCheckEnded) {
    const auto& [answerStatus, answerBody, authority, text] = GetParam();
    status = answerStatus;
    body = answerBody;
    auto updater = controller(url(), authority);
    updater->checkForUpdates();
    ASSERT_TRUE(await([] { return shownBox() != nullptr; }));
    EXPECT_EQ(shownBox()->text().toStdString(), text);
    EXPECT_EQ(shownBox()->textFormat(), Qt::PlainText);
    EXPECT_EQ(shownBox()->icon() == QMessageBox::Warning, text.starts_with("Update check failed."));
}

const std::string failed = "Update check failed.\n\n";
const std::string upToDate = "You’re up to date.\n\nOrvik Helper 1.2.0 is the newest version available.";

INSTANTIATE_TEST_SUITE_P(
    Table, UserCheck,
    testing::Values(
        CheckCase{"200 OK", feed("1.10"), "ca.pem",
                  "Orvik Helper 1.10 is available. You have 1.2.0.\n\nDownload it from "
                  "https://example.org/orvik, or install it with your system’s package manager."},
        CheckCase{"200 OK", feed("1.2.0"), "ca.pem", upToDate}, CheckCase{"200 OK", feed("1.1.9"), "ca.pem", upToDate},
        CheckCase{"200 OK", feed("1.3").left(80), "ca.pem", failed + "The update feed could not be read."},
        CheckCase{"200 OK", QByteArray(2 * 1024 * 1024, ' '), "ca.pem", failed + "The update feed is too large."},
        CheckCase{"404 Not Found", {}, "ca.pem", failed + "The update server answered with HTTP status 404."},
        CheckCase{"200 OK", feed("1.3"), "other-ca.pem", failed + "The update server’s certificate is not trusted."}));

// Automatic checks run at start; a background check speaks only of a newer version, and "Download" opens it.
TEST_F(UpdaterControllerFixture, AutomaticChecksShowOnlyANewerVersion) {
    defaults.setBoolean(UpdaterController::automaticChecksKey, true);
    body = feed("1.2");
    auto updater = controller(url());
    ASSERT_TRUE(await([this] { return logged == std::vector<std::string>{"Update check found no newer version."}; }));
    EXPECT_EQ(shownBox(), nullptr);
    body = feed("1.3");
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(await([] { return shownBox() != nullptr; }));
    EXPECT_TRUE(shownBox()->text().startsWith("Orvik Helper 1.3 is available."));
    shownBox()->defaultButton()->click();
    const auto browser = test::ChildReport::awaited(browserReport());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->arguments, std::vector<std::string>{"https://example.org/orvik"});
    EXPECT_EQ(browser->descriptors, test::ChildReport::onlyNullDevices()) << "started as every child of ours";
    updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_EQ(defaults.boolean(UpdaterController::automaticChecksKey), false);
}

TEST_F(UpdaterControllerFixture, AnUnconfiguredBuildChecksNothing) {
    auto updater = controller("http" + url().substr(5));
    updater->setAutomaticallyChecksForUpdates(true);
    updater->checkForUpdates();
    updater->checkForUpdatesInBackground();
    EXPECT_FALSE(updater->isConfigured());
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    EXPECT_EQ(logged, std::vector<std::string>{"Update feed URL or public key unset; update checks are disabled."});
}

int threadsBesideMainAndGLib() {
    const auto tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    int others = 0;
    for (const auto& task : tasks) {
        QFile name(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != "gmain") ++others;
    }
    return others - 1;
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    pinWidgetTestLook();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // The network threads are finished but may still be freeing their TLS state; leave after them. GLib's worker
    // thread, started when the browser was, stays with the process.
    orvik::test::waitUntil([] { return orvik::helper::threadsBesideMainAndGLib() == 0; });
    return result;
}
