#include "ServerHarness.hpp"

#include "server/tests/FakeScreen.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

using helper::HelperPreferences;

// The server owns the preferences: it publishes every record it stores, its own changes included, and merges a
// user's change into the record it holds.
class ServerPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        ServerHarness::Options options;
        options.services.screen = screen.services;
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
    helper::testing::FakeScreenServices screen{helper::ScreenViewingDecision::alwaysAllow};
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
