// Google Test first: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <gtest/gtest.h>

#include "PrivateXServer.hpp"
#include "WaitUntil.hpp"
#include "X11EventRecorder.hpp"
#include "X11RootSize.hpp"
#include "core/ServerClock.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "platform/SessionLock.hpp"
#include "platform/X11Display.hpp"
#include "platform/XSettings.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <future>
#include <thread>

namespace orvik::helper::x11test {
namespace {

TEST(X11Platform, aFailedRequestIsCountedInsteadOfEndingTheProcess) {
    auto display = X11Display::open();
    ASSERT_TRUE(display);
    auto before = display->errorCount();
    XMapWindow(display->get(), 0x7FFFFFF); // no such window
    EXPECT_FALSE(display->syncSucceeded(before));
    EXPECT_EQ(display->errorCount(), before + 1);
    EXPECT_TRUE(display->syncSucceeded(display->errorCount()));
}

// libxcb polls before it writes, so a server gone before the poll is seen as the end of the connection; one gone
// between the poll and the write makes the write raise SIGPIPE, which would end the process. That write is made
// here directly on the connection of a thread that did nothing about SIGPIPE but open it.
TEST(X11Platform, aThreadWhoseXServerWentAwayBeforeAWriteSeesALostConnectionAndLivesOn) {
    PrivateXServer server;
    ASSERT_FALSE(server.name().empty());
    std::promise<bool> opened;
    std::promise<void> serverGone;
    int writeError = 0;
    bool syncSucceeded = true;
    std::thread connection([&] {
        auto display = X11Display::open(server.name());
        opened.set_value(display != nullptr);
        if (!display) return;
        serverGone.get_future().wait();
        constexpr std::array<unsigned char, 4> noOperation{127, 0, 1, 0};
        if (::write(ConnectionNumber(display->get()), noOperation.data(), noOperation.size()) < 0) writeError = errno;
        syncSucceeded = display->syncSucceeded(display->errorCount());
    });
    const bool connected = opened.get_future().get();
    server.stop();
    serverGone.set_value();
    connection.join();
    ASSERT_TRUE(connected);
    EXPECT_EQ(writeError, EPIPE);
    EXPECT_FALSE(syncSucceeded);
}

// The sink never waits for the X server: not while it does not answer (asking where the pointer is waits once, not
// once per question), not while it is gone. A new server on the same display is used as soon as it is there.
TEST(X11Platform, theSinkNeverWaitsForTheXServerAndReconnectsToANewOne) {
    PrivateXServer server;
    ASSERT_FALSE(server.name().empty());
    auto sink = std::make_shared<CGEventSink>(0.4, CGEventSinkOptions{server.name(), systemUptimeClock()});
    ASSERT_FALSE(sink->displayBounds().empty());

    server.pause();
    auto calls = std::async(std::launch::async, [&sink] {
        sink->postMouse(MouseEventKind::moved, std::nullopt, {10, 20}, 0, {});
        sink->postUnicode(u"日本", true);
        sink->postKey(0, true, ModifierFlags::command);
        sink->postKey(0, false, ModifierFlags::command);
        for (int question = 0; question < 200; ++question) (void)sink->cursorLocation();
        (void)sink->displayBounds();
        (void)sink->isSecureInputEnabled();
    });
    EXPECT_EQ(calls.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "a call waited for X";
    server.resume();
    calls.wait();

    server.stop();
    EXPECT_TRUE(orvik::test::waitUntil([&] { return sink->displayBounds().empty(); }));
    sink->postUnicode(u"日本", true);
    ASSERT_TRUE(server.restart());
    X11EventRecorder recorder(server.name());
    EXPECT_TRUE(orvik::test::waitUntil([&] {
        sink->postMouse(MouseEventKind::moved, std::nullopt, {30, 40}, 0, {});
        return recorder.pointer().x == 30 && recorder.pointer().y == 40;
    })) << "the sink posts to the new server";
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

TEST(X11Platform, doubleClickIntervalComesFromXSettingsOrTheToolkitDefault) {
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

// The displays come from the server's RandR events: reading them (the status every connected phone gets every two
// seconds does) does not make the sink ask the server again for a long while.
TEST(X11Platform, theSinksDisplaysFollowTheServersRandrEvents) {
    CGEventSink sink(0.4);
    ASSERT_EQ(sink.displayBounds().size(), 1U);
    ASSERT_TRUE(orvik::test::setRootSize(1280, 720));
    EXPECT_TRUE(orvik::test::waitUntil([&] {
        return sink.displayBounds() == std::vector<DisplayRect>{DisplayRect{0, 0, 1280, 720}};
    }));
}

TEST(X11Platform, secureInputIsOnWhileTheScreenSaverIs) {
    // No logind here: the system bus is one that does not exist.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvik-test-bus", 1);
    CGEventSink sink(0.4);
    auto display = X11Display::open();
    ASSERT_TRUE(display);
    EXPECT_FALSE(sink.isSecureInputEnabled());
    XForceScreenSaver(display->get(), ScreenSaverActive);
    XSync(display->get(), False);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return sink.isSecureInputEnabled(); }));
    XForceScreenSaver(display->get(), ScreenSaverReset);
    XSync(display->get(), False);
    EXPECT_TRUE(orvik::test::waitUntil([&] { return !sink.isSecureInputEnabled(); }));
}

} // namespace
} // namespace orvik::helper::x11test
