// orvik-helper: the desktop helper that paired phones control. Lives in the system tray.
#include "app/HelperApplication.hpp"

#include "core/AppInfo.hpp"
#include "core/CoreDumps.hpp"
#include "core/FileUserDefaults.hpp"
#include "core/Log.hpp"

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>

namespace {

// SIGINT and SIGTERM end the application through the same path as Quit: the signal handler only writes a byte
// that the GUI thread reads.
std::array<int, 2> signalPipe{-1, -1};

extern "C" void forwardSignal(int) {
    char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    using namespace orvik::helper;
    // Device and session keys must not end up in a core file.
    if (!CoreDumps::disable()) Log::error("App", "Keeping the helper out of core dumps failed");
    // A write to a peer that went away (a phone, an X server) must fail with EPIPE, not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvik Helper"));
    QApplication::setApplicationVersion(QString::fromStdString(AppInfo::shortVersion()));
    QApplication::setDesktopFileName(QStringLiteral("orvik-helper"));
    QApplication::setQuitOnLastWindowClosed(false);

    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        Log::error("App",
                   "Orvik Helper needs an X11 session; this one is " + QGuiApplication::platformName().toStdString());
    }

    HelperApplication helper(FileUserDefaults::standard());

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe.data()) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &application);
        QObject::connect(notifier, &QSocketNotifier::activated, &application, [&helper] {
            char byte = 0;
            [[maybe_unused]] auto bytesRead = ::read(signalPipe[1], &byte, 1);
            helper.quit();
        });
        std::signal(SIGINT, forwardSignal);
        std::signal(SIGTERM, forwardSignal);
    }

    helper.launch();
    return QApplication::exec();
}
