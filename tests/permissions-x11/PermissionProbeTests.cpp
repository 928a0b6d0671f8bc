#include "PrivateXServer.hpp"
#include "ProcessUsage.hpp"
#include "WaitUntil.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/ServerClock.hpp"
#include "permissions/x11/SessionPermissions.hpp"
#include "permissions/x11/X11SessionProbe.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace orvik::helper {
namespace {

using test::openDescriptorCount;
using test::threadCount;
using test::waitUntil;

struct PermissionProbeOnItsOwnServer : testing::Test {
    x11test::PrivateXServer server;
    ManualClock clock{100};
    X11SessionProbe probe{[this] { return X11SessionProbe::Environment{server.name(), "", "x11"}; }, clock.function()};
};

// The probe answers for the server on its display now: a server that went away grants nothing from then on,
// though nobody asked, and a new one that replaced it is found by the first question after the interval.
TEST_F(PermissionProbeOnItsOwnServer, anX11SessionWithXTestGrantsBothAlsoAfterTheServerWasRestarted) {
    EXPECT_TRUE(probe.canPostEvents());
    EXPECT_TRUE(probe.canReadScreen());
    server.stop();
    EXPECT_TRUE(waitUntil([&] { return !probe.canPostEvents() && !probe.canReadScreen(); }));
    ASSERT_TRUE(server.restart());
    clock.advance(X11SessionProbe::reprobeInterval);
    EXPECT_TRUE(waitUntil([&] { return probe.canPostEvents() && probe.canReadScreen(); }));
}

// A stopped server keeps its clients' connections open but answers nothing: the probe never waits for it, and
// keeps what the server granted. (A question that went to the stopped server waited 250 ms.)
TEST_F(PermissionProbeOnItsOwnServer, aServerThatStoppedAnsweringLeavesTheLastAnswerAtOnce) {
    constexpr auto atOnce = std::chrono::milliseconds(125);
    ASSERT_TRUE(probe.canPostEvents());
    ASSERT_TRUE(probe.canReadScreen());
    server.pause();
    for (int question = 0; question < 3; ++question) {
        clock.advance(X11SessionProbe::reprobeInterval);
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_TRUE(probe.canPostEvents());
        EXPECT_TRUE(probe.canReadScreen());
        EXPECT_LT(std::chrono::steady_clock::now() - asked, atOnce) << "question " << question;
    }
    server.resume();
}

// No X call may run on a thread nobody waits for (it crashed inside Xlib while the process exited): the probe
// ends its thread and closes its connection itself, before its destructor returns.
TEST_F(PermissionProbeOnItsOwnServer, aProbeEndsItsThreadAndClosesItsConnectionBeforeItIsGone) {
    // A first probe, so that threads a sanitizer starts at the first thread of the process are counted before.
    X11SessionProbe([this] { return X11SessionProbe::Environment{server.name(), "", "x11"}; }).canPostEvents();
    const auto descriptorsBefore = openDescriptorCount();
    const auto threadsBefore = threadCount();
    for (int round = 0; round < 20; ++round) {
        {
            X11SessionProbe another([this] { return X11SessionProbe::Environment{server.name(), "", "x11"}; });
            ASSERT_TRUE(another.canPostEvents());
            ASSERT_TRUE(another.canReadScreen());
        }
        ASSERT_EQ(threadCount(), threadsBefore) << "round " << round;
        ASSERT_EQ(openDescriptorCount(), descriptorsBefore) << "round " << round;
    }
}

// A probe gone while its thread waits on a stopped server leaves the thread behind; when the server answers at
// last, the thread ends without touching Xlib again and its connection is closed.
TEST_F(PermissionProbeOnItsOwnServer, aThreadLeftBehindOnAStoppedServerDropsItsConnection) {
    const auto before = openDescriptorCount();
    {
        X11SessionProbe another([this] { return X11SessionProbe::Environment{server.name(), "", "x11"}; });
        ASSERT_TRUE(another.canPostEvents());
        server.pause();
        another.canReadScreen();
    }
    server.resume();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (openDescriptorCount() != before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(PermissionProbe, theSameServerUnderWaylandGrantsNothing) {
    auto environment = X11SessionProbe::Environment::current();
    environment.waylandDisplay = "wayland-0";
    X11SessionProbe probe([environment] { return environment; });
    EXPECT_FALSE(probe.canPostEvents());
    EXPECT_FALSE(probe.canReadScreen());
}

TEST(PermissionProbe, permissionsOnTheSharedProbe) {
    auto defaults = std::make_shared<InMemoryUserDefaults>();
    PostEventPermission postEvents = sessionPostEventPermission(defaults);
    EXPECT_TRUE(postEvents.isGranted());
    EXPECT_EQ(defaults->boolean(PostEventPermission::grantedBeforeKey), true);
    EXPECT_FALSE(postEvents.wasLost());
    EXPECT_TRUE(sessionScreenRecordingPermission().isGranted());
}

} // namespace
} // namespace orvik::helper
