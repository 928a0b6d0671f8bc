#include "WaitUntil.hpp"
#include "WidgetTestEnvironment.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/Log.hpp"
#include "updates/UpdaterController.hpp"

#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

namespace orvik::helper {
namespace {

// Answers every request with one fixed response, over TLS on 127.0.0.1 with a certificate of the test authority.
class FeedServer {
public:
    explicit FeedServer(const QString& folder) {
        auto tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(folder + "/server.pem").value(0));
        QFile key(folder + "/server.key");
        EXPECT_TRUE(key.open(QIODevice::ReadOnly));
        tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
        server_.setSslConfiguration(tls);
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] {
            while (auto* socket = server_.nextPendingConnection()) serve(socket);
        });
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(server_.serverPort()) + "/appcast.xml"; }

    QByteArray status = "200 OK";
    QByteArray body;
    int requests = 0;

private:
    void serve(QTcpSocket* socket) {
        const auto respond = [this, socket] {
            if (!socket->peek(4096).contains("\r\n\r\n")) return;
            socket->readAll();
            ++requests;
            socket->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        };
        QObject::connect(socket, &QIODevice::readyRead, socket, respond);
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        respond();
    }
    QSslServer server_;
};

// Takes the addresses the desktop would open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { opened.push_back(url.toString().toStdString()); }
    std::vector<std::string> opened;
};

QByteArray feed(const char* version) {
    return QByteArray(R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><item>)"
                      R"(<sparkle:version>)") +
           version + R"(</sparkle:version><link>https://example.org/orvik</link></item></channel></rss>)";
}

class UpdaterControllerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(QProcess::execute(ORVIK_TEST_CERTIFICATE_SCRIPT, {certificates.path()}), 0);
    }
    void SetUp() override {
        Log::setSink([this](Log::Level, std::string_view category, std::string_view message) {
            const std::lock_guard lock(logMutex);
            if (category == "Updates") logged.emplace_back(message);
        });
    }
    void TearDown() override { Log::setSink({}); }

    std::unique_ptr<UpdaterController> controller(std::string feedUrl, const char* authority = "ca.pem") {
        const auto authorities = QSslCertificate::fromPath(certificates.filePath(authority));
        return std::make_unique<UpdaterController>(UpdateConfiguration{feedUrl, "key", "1.2.0", authorities}, defaults);
    }
    static QMessageBox* shownBox() {
        for (auto* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return box;
        }
        return nullptr;
    }
    static QMessageBox* awaitBox() {
        test::waitUntil([] { return shownBox() != nullptr; }, std::chrono::seconds(20),
                        [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
        return shownBox();
    }
    bool awaitLog(const std::string& line) {
        return test::waitUntil(
            [&] {
                const std::lock_guard lock(logMutex);
                return std::find(logged.begin(), logged.end(), line) != logged.end();
            },
            std::chrono::seconds(20), [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
    }

    static inline QTemporaryDir certificates;
    InMemoryUserDefaults defaults;
    FeedServer server{certificates.path()};
    std::mutex logMutex;
    std::vector<std::string> logged;
};

struct CheckCase {
    QByteArray status;
    QByteArray body;
    const char* authority;
    std::string text;
};

class UserCheckTest : public UpdaterControllerTest, public testing::WithParamInterface<CheckCase> {};

TEST_P(UserCheckTest, AlwaysShowsHowTheCheckEnded) {
    server.status = GetParam().status;
    server.body = GetParam().body;
    auto updater = controller(server.url(), GetParam().authority);
    updater->checkForUpdates();
    auto* box = awaitBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), GetParam().text);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->escapeButton()->click();
}

const std::string failed = "Update check failed.\n\n";
const std::string upToDate = "You’re up to date.\n\nOrvik Helper 1.2.0 is the newest version available.";

INSTANTIATE_TEST_SUITE_P(
    Table, UserCheckTest,
    testing::Values(
        CheckCase{"200 OK", feed("1.2.0"), "ca.pem", upToDate}, CheckCase{"200 OK", feed("1.1.9"), "ca.pem", upToDate},
        CheckCase{"200 OK", feed("1.3").left(80), "ca.pem", failed + "The update feed could not be read."},
        CheckCase{"404 Not Found", {}, "ca.pem", failed + "The update server answered with HTTP status 404."},
        CheckCase{"200 OK", feed("1.3"), "other-ca.pem", failed + "The update server’s certificate is not trusted."}));

TEST_F(UpdaterControllerTest, OffersTheDownloadOfANewerVersion) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("https", &recorder, "open");
    server.body = feed("1.10");
    auto updater = controller(server.url());
    updater->checkForUpdatesInBackground();
    auto* box = awaitBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(),
              "Orvik Helper 1.10 is available. You have 1.2.0.\n\nDownload it from "
              "https://example.org/orvik, or install it with your system’s package manager.");
    box->defaultButton()->click();
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(recorder.opened, std::vector<std::string>{"https://example.org/orvik"});
}

TEST_F(UpdaterControllerTest, BackgroundChecksStayQuietUnlessANewerVersionExists) {
    server.body = feed("1.2");
    auto updater = controller(server.url());
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(awaitLog("Update check found no newer version."));
    server.status = "500 Internal Server Error";
    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(awaitLog("Update check failed: The update server answered with HTTP status 500."));
    EXPECT_EQ(shownBox(), nullptr);
}

TEST_F(UpdaterControllerTest, ChecksAtStartWhenAutomaticChecksAreOn) {
    defaults.setBoolean(UpdaterController::automaticChecksKey, true);
    server.body = feed("1.3");
    auto updater = controller(server.url());
    ASSERT_TRUE(awaitLog("Update check found version 1.3."));
    auto* box = awaitBox();
    ASSERT_NE(box, nullptr);
    box->close();
    updater->setAutomaticallyChecksForUpdates(false);
    EXPECT_EQ(defaults.boolean(UpdaterController::automaticChecksKey), false);
}

TEST_F(UpdaterControllerTest, AnUnconfiguredBuildChecksNothing) {
    server.body = feed("1.3");
    for (const char* feedUrl : {"", "http://127.0.0.1/appcast.xml", "{{FEED}}"}) {
        logged.clear();
        auto updater = controller(feedUrl);
        updater->setAutomaticallyChecksForUpdates(true);
        updater->checkForUpdates();
        updater->checkForUpdatesInBackground();
        QCoreApplication::processEvents();
        EXPECT_FALSE(updater->isConfigured());
        EXPECT_FALSE(updater->automaticallyChecksForUpdates());
        EXPECT_EQ(logged,
                  std::vector<std::string>{"Sparkle feed URL or public key unset; update checks are disabled."});
    }
    EXPECT_EQ(server.requests, 0);
    EXPECT_EQ(shownBox(), nullptr);
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    pinWidgetTestLook();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "UpdaterControllerTests.moc"
