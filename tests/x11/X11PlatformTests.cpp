#include "X11SinkFixture.hpp"
#include "platform/SessionLock.hpp"
#include "platform/X11Display.hpp"
#include "platform/X11Monitors.hpp"
#include "platform/XSettings.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvik::helper::x11test {
namespace {

TEST(X11PlatformTest, theMonitorOfXvfbIsTheWholeScreen) {
    auto display = X11Display::open();
    ASSERT_TRUE(display);
    auto monitors = X11Monitors::list(*display);
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_EQ(monitors[0].name, "screen");
    EXPECT_EQ(monitors[0].id, DisplayIdentifiers::idForName("screen"));
    EXPECT_EQ(monitors[0].bounds, (PixelRect{0, 0, 1920, 1080}));
}

TEST(X11PlatformTest, aFailedRequestIsCountedInsteadOfEndingTheProcess) {
    auto display = X11Display::open();
    ASSERT_TRUE(display);
    auto before = display->errorCount();
    XMapWindow(display->get(), 0x7FFFFFF); // no such window
    EXPECT_FALSE(display->syncSucceeded(before));
    EXPECT_EQ(display->errorCount(), before + 1);
    EXPECT_TRUE(display->syncSucceeded(display->errorCount()));
}

// An X server of the test's own, which it can take away.
class PrivateXServer {
public:
    PrivateXServer() {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        std::string fd = std::to_string(pipeEnds[1]);
        const char* arguments[] = {"Xvfb",     "-displayfd", fd.c_str(), "-nolisten",  "tcp",
                                   "-noreset", "-screen",    "0",        "640x480x24", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(arguments), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        char number[16] = {};
        if (pid_ && read(pipeEnds[0], number, sizeof number - 1) > 0) name_ = ":" + std::to_string(std::atoi(number));
        close(pipeEnds[0]);
    }
    ~PrivateXServer() { stop(); }

    const std::string& name() const { return name_; }
    void stop() {
        if (pid_ == 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
    std::string name_;
};

TEST(X11PlatformTest, aLostServerLeavesABrokenConnectionInsteadOfEndingTheProcess) {
    PrivateXServer server;
    ASSERT_FALSE(server.name().empty());
    auto display = X11Display::open(server.name());
    ASSERT_TRUE(display);
    CGEventSink sink(0.4, CGEventSinkOptions{server.name(), systemUptimeClock(), false});
    sink.postMouse(MouseEventKind::moved, std::nullopt, {10, 20}, 0, {});
    EXPECT_EQ(sink.cursorLocation(), (DisplayPoint{10, 20}));

    server.stop();
    EXPECT_FALSE(display->syncSucceeded(display->errorCount()));
    EXPECT_TRUE(display->isBroken());
    sink.postMouse(MouseEventKind::moved, std::nullopt, {30, 40}, 0, {});
    sink.postUnicode(u"日本", true);
    EXPECT_EQ(sink.cursorLocation(), (DisplayPoint{}));
    EXPECT_TRUE(sink.displayBounds().empty());
}

// Publishes XSETTINGS the way a settings daemon does: a window owning _XSETTINGS_S0 with the property on it.
class SettingsDaemon {
public:
    explicit SettingsDaemon(std::int32_t doubleClickMilliseconds) {
        display_ = XOpenDisplay(nullptr);
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        Atom settings = XInternAtom(display_, "_XSETTINGS_SETTINGS", False);
        const std::string name = "Net/DoubleClickTime";
        std::vector<unsigned char> blob = {
            0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, static_cast<unsigned char>(name.size()), 0};
        blob.insert(blob.end(), name.begin(), name.end());
        while (blob.size() % 4) blob.push_back(0);
        for (std::uint32_t word : {1u, static_cast<std::uint32_t>(doubleClickMilliseconds)}) {
            for (int byte = 0; byte < 4; ++byte) blob.push_back(static_cast<unsigned char>(word >> (8 * byte)));
        }
        XChangeProperty(display_, window_, settings, settings, 8, PropModeReplace, blob.data(),
                        static_cast<int>(blob.size()));
        XSetSelectionOwner(display_, XInternAtom(display_, "_XSETTINGS_S0", False), window_, CurrentTime);
        XSync(display_, False);
    }
    ~SettingsDaemon() { XCloseDisplay(display_); }

private:
    Display* display_;
    Window window_;
};

TEST(X11PlatformTest, doubleClickIntervalComesFromXSettingsOrTheToolkitDefault) {
    EXPECT_EQ(CGEventSink::systemDoubleClickInterval(), XSettings::defaultDoubleClickInterval);
    {
        SettingsDaemon daemon(250);
        EXPECT_DOUBLE_EQ(CGEventSink::systemDoubleClickInterval(), 0.25);
    }
    {
        SettingsDaemon daemon(-5);
        EXPECT_EQ(CGEventSink::systemDoubleClickInterval(), XSettings::defaultDoubleClickInterval);
    }
}

TEST(X11PlatformTest, secureInputIsOnWhileTheScreenSaverIs) {
    // No logind here: the system bus is one that does not exist.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvik-test-bus", 1);
    CGEventSink sink(0.4, CGEventSinkOptions{"", systemUptimeClock(), false});
    auto display = X11Display::open();
    ASSERT_TRUE(display);
    EXPECT_FALSE(sink.isSecureInputEnabled());
    XForceScreenSaver(display->get(), ScreenSaverActive);
    XSync(display->get(), False);
    EXPECT_TRUE(sink.isSecureInputEnabled());
    XForceScreenSaver(display->get(), ScreenSaverReset);
    XSync(display->get(), False);
    EXPECT_FALSE(sink.isSecureInputEnabled());
}

} // namespace
} // namespace orvik::helper::x11test
