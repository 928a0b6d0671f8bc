#include "ServerHarness.hpp"

#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

#include <mutex>

namespace orvik::test {
namespace {

using helper::HelperPreferences;
using helper::ScreenStream;
using helper::testing::FakeSource;
using helper::testing::FakeStream;

// The server owns the preferences: it publishes every record it stores, its own changes included, and merges a
// user's change into the record it holds.
class ServerPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        auto screen = std::make_shared<helper::ScreenServices>();
        screen->canCapture = [] { return true; };
        screen->makeSource = [] { return std::make_shared<FakeSource>(); };
        screen->approve = [](helper::ScreenViewingRequest, std::function<void(helper::ScreenViewingDecision)> done) {
            done(helper::ScreenViewingDecision::alwaysAllow);
        };
        screen->makeStream = [this](std::shared_ptr<helper::ScreenCaptureSource>, ScreenStream::Send send,
                                    ScreenStream::FailureHandler onFailure) {
            std::lock_guard lock(mutex);
            streams.push_back(std::make_shared<FakeStream>(std::move(send), std::move(onFailure)));
            return streams.back();
        };
        ServerHarness::Options options;
        options.services.screen = screen;
        options.preferences.screenViewingEnabled = true;
        options.preferences.screenViewingDevices = {ben, ben};
        harness = std::make_unique<ServerHarness>(std::move(options));
        harness->start();
        anna = harness->addPairedDevice("Anna");
        phone = harness->authenticatedPhone(anna);
    }

    HelperPreferences nextPublished() {
        auto event = harness->waitForEvent<ServerEvent::Preferences>();
        if (!event) throw std::runtime_error("no preferences were published");
        return event->preferences;
    }
    template <class Value> void change(Value HelperPreferences::*field, Value value) {
        harness->awaitOnServer([&](HelperServer& s) { return s.updatePreferences({field, value}); });
    }

    const Uuid ben = Uuid::random();
    TestDevice anna;
    std::unique_ptr<ServerHarness> harness;
    // Destroyed before the harness: a stream holds its viewer's connection.
    std::mutex mutex;
    std::vector<std::shared_ptr<FakeStream>> streams;
    std::unique_ptr<TestPhone> phone;
};

TEST_F(ServerPreferences, EveryStoredRecordIsPublishedAndAUserChangeKeepsTheServersOwn) {
    phone->send(ScreenStart{std::nullopt, ScreenSettings{1280, 800, 30, std::nullopt}, {ScreenCodec::h264}});
    EXPECT_EQ(nextPublished().screenViewingDevices, (std::vector<Uuid>{ben, ben, anna.id})) << "Always Allow";
    harness->onServer([this](HelperServer& s) { s.removeDevice(ben); });
    EXPECT_EQ(nextPublished().screenViewingDevices, std::vector<Uuid>{anna.id}) << "both entries, one record";

    change(&HelperPreferences::overlayColor, HelperPreferences::OverlayColor::red);
    auto merged = nextPublished();
    EXPECT_EQ(merged.overlayColor, HelperPreferences::OverlayColor::red);
    EXPECT_EQ(merged.screenViewingDevices, std::vector<Uuid>{anna.id});
    EXPECT_EQ(harness->preferencesStore->load(), merged);

    // An equal value stores and publishes nothing: the next record published is the next real change.
    change(&HelperPreferences::overlayColor, HelperPreferences::OverlayColor::red);
    change(&HelperPreferences::allowLogOut, false);
    auto next = nextPublished();
    EXPECT_FALSE(next.allowLogOut);
    EXPECT_EQ(next.overlayColor, HelperPreferences::OverlayColor::red);
}

} // namespace
} // namespace orvik::test
