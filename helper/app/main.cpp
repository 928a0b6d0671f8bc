// orvik-helper: the desktop helper that paired phones control. Lives in the system tray.
#include "app/HelperApplication.hpp"
#include "app/QuitSignals.hpp"
#include "app/SessionBusLoss.hpp"
#include "app/SingleInstance.hpp"

#include "core/AppInfo.hpp"
#include "core/CoreDumps.hpp"
#include "core/FileUserDefaults.hpp"
#include "core/Log.hpp"
#include "core/OpenFileLimit.hpp"

#include <QApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    using namespace orvik::helper;
    // Device and session keys must not end up in a core file.
    if (!CoreDumps::disable()) Log::error("App", "Keeping the helper out of core dumps failed");
    // A write to a peer that went away (a phone, an X server) must fail with EPIPE, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!OpenFileLimit::raise()) Log::error("App", "Raising the limit of open files failed");

    // Before anything reads or writes the settings: a helper on the same settings may run already.
    std::unique_ptr<SingleInstance> instance;
    switch (SingleInstance::claim(SingleInstance::Paths::standard(), instance)) {
    case SingleInstance::Start::first: break;
    case SingleInstance::Start::handedOver: std::puts("Orvik Helper is already running."); return 0;
    case SingleInstance::Start::noAnswer: std::puts("Orvik Helper is already running but does not answer."); return 1;
    case SingleInstance::Start::noLock:
        std::puts("Orvik Helper cannot start: it can lock neither its settings folder nor a file in the runtime "
                  "folder, so it cannot make sure that it runs only once.");
        return 1;
    }
    // From here on a signal waits for the event loop, which then ends the application cleanly.
    QuitSignals quitSignals;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvik Helper"));
    QApplication::setApplicationVersion(QString::fromStdString(AppInfo::shortVersion()));
    QApplication::setDesktopFileName(QStringLiteral("orvik-helper"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Before anything else talks to the session bus (the device store's thread does at once).
    SessionBusLoss sessionBusLoss;

    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        Log::error("App",
                   "Orvik Helper needs an X11 session; this one is " + QGuiApplication::platformName().toStdString());
    }

    HelperApplication helper(FileUserDefaults::standard());
    quitSignals.onSignal([&helper] { helper.quit(); });
    sessionBusLoss.onLoss([&helper] { helper.quit(); });
    instance->onLaterStart([&helper] { helper.bringForward(); });
    helper.launch();
    return QApplication::exec();
}
