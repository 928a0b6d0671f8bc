#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::test {
namespace {

using helper::ScreenCaptureFailure;

using helper::testing::FakeStream;

bool stopped(const FakeStream& stream) {
    auto calls = stream.calls();
    return !calls.empty() && calls.back() == "stop";
}

// The viewers behind the server's dispatch, over real TLS: the flow itself is tested alone.
class ServerScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ServerHarness::Options options;
        options.services.screen = screen.services;
        options.preferences.screenViewingEnabled = true;
        harness = std::make_unique<ServerHarness>(std::move(options));
        harness->start();
        phone = harness->authenticatedPhone(harness->addPairedDevice("Anna"));
    }

    std::shared_ptr<FakeStream> startViewing() {
        phone->send(ScreenStart{std::nullopt, ScreenSettings{1280, 800, 30, std::nullopt}, {ScreenCodec::h264}});
        EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::awaitingApproval);
        EXPECT_EQ(phone->expect<ScreenStarted>().display.id, 2u);
        EXPECT_EQ(phone->expect<ScreenState>().state, ScreenStreamState::streaming);
        return screen.lastStream();
    }
    ScreenStreamState nextState() { return phone->expect<ScreenState>().state; }

    std::unique_ptr<ServerHarness> harness;
    // Destroyed before the harness: a stream holds its viewer's connection.
    helper::testing::FakeScreenServices screen{helper::ScreenViewingDecision::allowOnce};
    std::unique_ptr<TestPhone> phone;
};

TEST_F(ServerScreen, AViewerStreamsStraightToItsConnectionAndFollowsThePause) {
    auto stream = startViewing();
    EXPECT_TRUE(harness->onServer([](HelperServer& s) { return s.connectedDevices(); }).empty());
    ASSERT_TRUE(harness->waitForEvent<ServerEvent::ScreenViewers>());
    stream->send(ScreenFormat{});
    EXPECT_NO_THROW(phone->expect<ScreenFormat>());

    harness->awaitOnServer([](HelperServer& s) { return s.setPaused(true); });
    EXPECT_EQ(nextState(), ScreenStreamState::paused);
    harness->awaitOnServer([](HelperServer& s) { return s.setPaused(false); });
    EXPECT_EQ(nextState(), ScreenStreamState::streaming);

    // A capture failure reported from another thread stops the viewer; the session goes on.
    std::thread([stream] { stream->onFailure(ScreenCaptureFailure::failed); }).join();
    EXPECT_EQ(nextState(), ScreenStreamState::locked);
    EXPECT_TRUE(harness->waitUntil([](HelperServer& s) { return s.screenViewers().empty(); }));
    EXPECT_TRUE(stopped(*stream));
}

TEST_F(ServerScreen, SwitchingViewingOffOrEndingTheSessionStopsTheStream) {
    auto first = startViewing();
    const auto viewing = [this](bool enabled) {
        harness->awaitOnServer([enabled](HelperServer& s) {
            return s.updatePreferences({&helper::HelperPreferences::screenViewingEnabled, enabled});
        });
    };
    viewing(false);
    EXPECT_EQ(nextState(), ScreenStreamState::notAllowed);
    EXPECT_TRUE(stopped(*first));

    viewing(true);
    auto second = startViewing();
    phone->close();
    EXPECT_TRUE(harness->waitUntil([](HelperServer& s) { return s.screenViewers().empty(); }));
    EXPECT_TRUE(test::waitUntil([&] { return stopped(*second); }));
}

} // namespace
} // namespace orvik::test
