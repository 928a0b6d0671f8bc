#include "app/QuitSignals.hpp"

#include "core/Log.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>

namespace orvik::helper {
namespace {

constexpr std::array quitSignals{SIGINT, SIGTERM, SIGHUP};

// Written by the handler (index 0), read on the GUI thread (index 1).
std::array<int, 2> signalPipe{-1, -1};

extern "C" void forwardSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

QuitSignals::QuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe.data()) != 0) {
        Log::error("App", "Signals cannot end the application cleanly: no socket pair");
        return;
    }
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : quitSignals) ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int number : quitSignals) ::sigaction(number, &action, nullptr);
}

void QuitSignals::onSignal(std::function<void()> quit) {
    quit_ = std::move(quit);
    if (signalPipe[1] < 0 || notifier_) return;
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
        std::array<char, 16> bytes{};
        while (::read(signalPipe[1], bytes.data(), bytes.size()) > 0) {
        }
        if (quit_) quit_();
    });
}

} // namespace orvik::helper
