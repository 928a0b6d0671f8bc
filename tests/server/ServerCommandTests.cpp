#include "ServerHarness.hpp"

#include "orvik/protocol/keys/MacKey.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

using helper::RecordedInput;

class ServerCommands : public ServerWithDevice {
protected:
    void SetUp() override {
        ServerWithDevice::SetUp();
        phone = harness.authenticatedPhone(device);
    }

    void setPaused(bool paused) {
        harness.awaitOnServer([paused](HelperServer& s) { return s.setPaused(paused); });
    }

    std::unique_ptr<TestPhone> phone;
};

TEST_F(ServerCommands, LiveInputAndTextReachTheSinkInOrder) {
    phone->send(PointerMove{10, 5, 1});
    phone->send(ButtonEvent{MouseButton::left, ButtonAction::click});
    phone->send(ScrollEvent{0, 12, ScrollPhase::none, MomentumPhase::none});
    phone->send(KeyEvent{static_cast<std::uint16_t>(MacKey::a), ModifierFlags{}, KeyAction::press});
    phone->send(TextInput{"hi", TextMode::type});
    phone->send(Ping{9});
    EXPECT_EQ(phone->expect<Pong>().value, 9u); // no reply to any of the input

    auto recorded = harness.sink->events();
    std::vector<std::size_t> kinds;
    for (const auto& input : recorded) kinds.push_back(input.value.index());
    const std::size_t mouse = 0, scroll = 1, key = 2, unicode = 4;
    const std::vector<std::size_t> expected{mouse, mouse, mouse, scroll, key, key, unicode, unicode};
    EXPECT_EQ(kinds, expected);
    ASSERT_EQ(recorded.size(), expected.size());
    auto* moved = std::get_if<RecordedInput::Mouse>(&recorded[0].value);
    EXPECT_EQ(moved->location.x, helper::RecordingSink::defaultCursor.x + 10);
    auto* typed = std::get_if<RecordedInput::Unicode>(&recorded[6].value);
    EXPECT_EQ(typed->text, "hi");
}

TEST_F(ServerCommands, TheCommandBucketHoldsFortyAndRefillsTwentyPerSecond) {
    // Without a command handler each accepted command is answered "unsupported".
    for (int index = 0; index < 40; ++index) phone->send(MediaCommand{MediaKey::playPause});
    for (int index = 0; index < 40; ++index)
        EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::unsupported);
    phone->send(MediaCommand{MediaKey::next});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::rateLimited);
    phone->send(AppsListRequest{{77}});
    auto limited = resultOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->requestID, 77u);
    EXPECT_EQ(limited->error, ErrorCode::rateLimited);

    // Live input and status requests never spend tokens.
    for (int index = 0; index < 50; ++index) phone->send(PointerMove{1, 0, 0});
    phone->send(StatusRequest{});
    EXPECT_NO_THROW(phone->expect<HelperStatus>());
    EXPECT_EQ(harness.sink->events().size(), 50u);

    harness.clock.advance(0.06);
    phone->send(MediaCommand{MediaKey::next});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::unsupported);
    phone->send(MediaCommand{MediaKey::next});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::rateLimited);
}

TEST(ServerCommandBucket, AClockReadingZeroStillRefills) {
    ServerHarness harness;
    harness.clock.set(0);
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    auto phone = harness.authenticatedPhone(device);
    for (int index = 0; index < 41; ++index) phone->send(MediaCommand{MediaKey::mute});
    for (int index = 0; index < 40; ++index) phone->nextIgnoringStatus();
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::rateLimited);
    harness.clock.advance(1);
    phone->send(MediaCommand{MediaKey::mute});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::unsupported);
}

TEST_F(ServerCommands, PauseRefusesCommandsButNotListingsAndDropsInput) {
    setPaused(true);
    EXPECT_TRUE(phone->expect<HelperStatus>().isPaused); // the forced push

    phone->send(PointerMove{5, 5, 0});
    phone->send(TextInput{"ignored", TextMode::type});
    phone->send(MediaCommand{MediaKey::mute});
    auto media = errorOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(media);
    EXPECT_EQ(media->code, ErrorCode::paused);
    EXPECT_EQ(media->requestID, std::nullopt);
    phone->send(PowerCommand{5, PowerAction::sleep, std::nullopt});
    auto power = resultOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(power);
    EXPECT_EQ(power->requestID, 5u);
    EXPECT_EQ(power->error, ErrorCode::paused);
    phone->send(OverlayCommand{OverlayMode::laser});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::paused);
    // Allowed while paused; without a command handler they reach "unsupported".
    phone->send(OverlayCommand{OverlayMode::off});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::unsupported);
    phone->send(CancelSleepTimer{});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::unsupported);
    phone->send(AppsListRequest{{3}});
    EXPECT_EQ(resultOf(phone->nextIgnoringStatus())->error, ErrorCode::unsupported);
    phone->send(StatusRequest{});
    EXPECT_TRUE(phone->expect<HelperStatus>().isPaused);
    EXPECT_TRUE(harness.sink->events().empty());

    setPaused(false);
    EXPECT_FALSE(phone->expect<HelperStatus>().isPaused);
    phone->send(PointerMove{5, 5, 0});
    EXPECT_EQ(harness.waitForInput(1).size(), 1u);
}

TEST_F(ServerCommands, PausingReleasesHeldInputAndIsPublishedOnce) {
    phone->send(KeyEvent{static_cast<std::uint16_t>(MacKey::shift), ModifierFlags{}, KeyAction::down});
    harness.waitForInput(1);
    setPaused(true);
    setPaused(true);
    auto recorded = harness.sink->events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_TRUE(std::get_if<RecordedInput::Modifier>(&recorded[1].value));
    std::size_t pausedEvents = 0;
    for (const auto& event : harness.events()) pausedEvents += event.get<ServerEvent::Paused>() ? 1u : 0u;
    EXPECT_EQ(pausedEvents, 1u);
    EXPECT_TRUE(harness.onServer([](HelperServer& s) { return s.isPaused(); }));
}

TEST_F(ServerCommands, TextLongerThanTwentyThousandCharactersIsRefused) {
    // Each "é" written as e + combining accent is one character of two code points.
    std::string longest;
    for (int index = 0; index < 20000; ++index) longest += "e\xCC\x81";
    phone->send(TextInput{longest + "e\xCC\x81", TextMode::type});
    auto refused = errorOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, ErrorCode::invalidRequest);
    EXPECT_EQ(refused->detail, "text too long");

    phone->send(TextInput{longest, TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 1; }));
    EXPECT_EQ(harness.pasteboard->writes(), std::vector<std::string>{longest});
    harness.onServer([](HelperServer& s) { HelperServerProbe::endPasteWaits(s); });

    // While input cannot be injected, nothing is answered at all.
    harness.onServer([](HelperServer& s) {
        helper::HelperServices services;
        services.canPostEvents = [] { return false; };
        s.setServices(services);
    });
    phone->send(TextInput{longest + "x", TextMode::type});
    EXPECT_TRUE(phone->staysQuiet());
}

TEST_F(ServerCommands, HousekeepingMessagesAfterAuthentication) {
    phone->send(Hello{1, 1, "1.0", Capabilities{}});
    auto invalid = errorOf(phone->nextIgnoringStatus());
    ASSERT_TRUE(invalid);
    EXPECT_EQ(invalid->code, ErrorCode::invalidRequest);
    EXPECT_EQ(invalid->detail, std::nullopt);

    // A status request answers this session and leaves the last push alone.
    phone->send(StatusRequest{});
    EXPECT_NO_THROW(phone->expect<HelperStatus>());
    EXPECT_FALSE(harness.onServer([](HelperServer& s) { return HelperServerProbe::lastPushedStatus(s).has_value(); }));

    phone->send(Unpair{});
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus())->code, ErrorCode::deviceRemoved);
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_TRUE(harness.store->devices().empty());
}

TEST(ServerCommandReplies, OutcomesBecomeCommandResults) {
    ServerHarness harness;
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    auto phone = harness.authenticatedPhone(device);
    auto session = harness.onServer([](HelperServer& s) { return s.connectedDevices().at(0).sessionID; });
    harness.onServer([&](HelperServer& s) {
        s.reply(11, session, helper::CommandOutcome::success());
        s.reply(12, session, helper::CommandOutcome::failure(ErrorCode::notFound));
        s.reply(13, session, helper::CommandOutcome::failure(ErrorCode::notFound, "no such app"));
        s.reply(14, Uuid::random(), helper::CommandOutcome::success()); // a session that is gone: dropped
    });
    EXPECT_EQ(phone->expect<CommandResult>(), (CommandResult{11, std::nullopt, std::nullopt}));
    EXPECT_EQ(phone->expect<CommandResult>(), (CommandResult{12, ErrorCode::notFound, std::nullopt}));
    EXPECT_EQ(phone->expect<CommandResult>(), (CommandResult{13, ErrorCode::notFound, "no such app"}));
    EXPECT_TRUE(phone->staysQuiet());
}

} // namespace
} // namespace orvik::test
