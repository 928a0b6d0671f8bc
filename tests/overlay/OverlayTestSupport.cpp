#include "OverlayTestSupport.hpp"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace orvik::helper::testing {

namespace {

// A short-lived connection of the test's own, as another client would have.
struct TestDisplay {
    Display* display = XOpenDisplay(nullptr);
    TestDisplay() {
        if (!display) throw std::runtime_error("cannot open the display");
    }
    ~TestDisplay() { XCloseDisplay(display); }
};

} // namespace

QImage grabScreen() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

QColor pixelAt(int x, int y) {
    return grabScreen().pixelColor(x, y);
}

bool near(QColor actual, QColor expected, int tolerance) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        processEventsFor(std::chrono::milliseconds(20));
    }
    return true;
}

void processEventsFor(std::chrono::milliseconds duration) {
    auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void movePointer(int x, int y) {
    TestDisplay test;
    XTestFakeMotionEvent(test.display, DefaultScreen(test.display), x, y, CurrentTime);
    XSync(test.display, False);
}

void clickLeftButton() {
    TestDisplay test;
    XTestFakeButtonEvent(test.display, 1, True, CurrentTime);
    XTestFakeButtonEvent(test.display, 1, False, CurrentTime);
    XSync(test.display, False);
}

unsigned long focusedWindow() {
    TestDisplay test;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(test.display, &focus, &revert);
    return focus;
}

ReportingProgram::ReportingProgram(const std::vector<std::string>& argv) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const auto& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    int spawned = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start " + argv.front());
    }
    output_ = pipeEnds[0];
    fcntl(output_, F_SETFL, O_NONBLOCK);
}

ReportingProgram::~ReportingProgram() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    close(output_);
}

const std::vector<std::string>& ReportingProgram::lines() {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(output_, buffer, sizeof buffer)) > 0) {
        partial_.append(buffer, static_cast<std::size_t>(got));
        for (auto end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
    }
    return lines_;
}

bool ReportingProgram::hasPrintedPrefix(const std::string& prefix, bool whole) {
    for (const auto& line : lines()) {
        if (whole ? line == prefix : line.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

} // namespace orvik::helper::testing
