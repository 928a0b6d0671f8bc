#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "injection/MediaKeyEncoding.hpp"
#include "orvik/protocol/keys/MacKey.hpp"
#include "server/SystemControlling.hpp"

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
    // Sends each request and expects its reply next (status pushes aside).
    void expectReplies(const std::vector<std::pair<OrvikMessage, OrvikMessage>>& exchanges) {
        for (const auto& [request, reply] : exchanges) {
            phone->send(request);
            EXPECT_EQ(phone->nextIgnoringStatus(), reply) << name(request.type());
        }
    }

    std::unique_ptr<TestPhone> phone;
};

const ErrorMessage unsupported{ErrorCode::unsupported};

TEST_F(ServerCommands, LiveInputAndTextReachTheSinkInOrder) {
    phone->send(PointerMove{10, 5, 1});
    phone->send(ButtonEvent{MouseButton::left, ButtonAction::click});
    phone->send(ScrollEvent{0, 12, ScrollPhase::none, MomentumPhase::none});
    phone->send(KeyEvent{static_cast<std::uint16_t>(MacKey::a), ModifierFlags{}, KeyAction::press});
    phone->send(TextInput{"hi", TextMode::type});
    expectReplies({{Ping{9}, Pong{9}}}); // no reply to any of the input
    auto recorded = harness.sink->events();
    std::vector<std::size_t> kinds;
    kinds.reserve(recorded.size());
    for (const auto& input : recorded) kinds.push_back(input.value.index());
    const std::size_t mouse = 0, scroll = 1, key = 2, unicode = 4;
    EXPECT_EQ(kinds, (std::vector<std::size_t>{mouse, mouse, mouse, scroll, key, key, unicode, unicode}));
    ASSERT_EQ(recorded.size(), 8u);
    EXPECT_EQ(std::get<RecordedInput::Mouse>(recorded[0].value).location.x,
              helper::RecordingSink::defaultCursor.x + 10);
    EXPECT_EQ(std::get<RecordedInput::Unicode>(recorded[6].value).text, "hi");
}

TEST_F(ServerCommands, MeteredCommandsAreRefusedByTheErrorReplyRuleOnceFortyAreSpent) {
    for (int index = 0; index < 40; ++index) expectReplies({{MediaCommand{MediaKey::playPause}, unsupported}});
    // Live input and status requests spend nothing.
    for (int index = 0; index < 50; ++index) phone->send(PointerMove{1, 0, 0});
    phone->send(StatusRequest{});
    EXPECT_NO_THROW(phone->expect<HelperStatus>());
    EXPECT_EQ(harness.sink->events().size(), 50u);
    expectReplies({{MediaCommand{MediaKey::next}, ErrorMessage{ErrorCode::rateLimited}},
                   {AppsListRequest{{77}}, CommandResult{77, ErrorCode::rateLimited, std::nullopt}}});
    harness.clock.advance(0.06);
    expectReplies({{MediaCommand{MediaKey::next}, unsupported}});
}

TEST_F(ServerCommands, PauseReleasesHeldInputRefusesCommandsButNotListingsOrScreenMessagesAndDropsInput) {
    phone->send(KeyEvent{static_cast<std::uint16_t>(MacKey::shift), ModifierFlags{}, KeyAction::down});
    harness.waitForInput(1);
    setPaused(true);
    setPaused(true);
    EXPECT_TRUE(phone->expect<HelperStatus>().isPaused); // the forced push, once
    ASSERT_EQ(harness.sink->events().size(), 2u);
    EXPECT_TRUE(std::get_if<RecordedInput::Modifier>(&harness.sink->events()[1].value)) << "released";
    phone->send(PointerMove{5, 5, 0});
    phone->send(TextInput{"ignored", TextMode::type});
    expectReplies({
        {MediaCommand{MediaKey::mute}, ErrorMessage{ErrorCode::paused}},
        {PowerCommand{5, PowerAction::sleep, std::nullopt}, CommandResult{5, ErrorCode::paused, std::nullopt}},
        {OverlayCommand{OverlayMode::laser}, ErrorMessage{ErrorCode::paused}},
        {Pong{1}, ErrorMessage{ErrorCode::paused}}, // of the input family, yet no live input
        // Allowed while paused; without a command handler or screen services they reach "unsupported".
        {OverlayCommand{OverlayMode::off}, unsupported},
        {CancelSleepTimer{}, unsupported},
        {AppsListRequest{{3}}, CommandResult{3, ErrorCode::unsupported, std::nullopt}},
        {ScreenDisplaysRequest{{4}}, ErrorMessage{ErrorCode::unsupported, std::nullopt, 4}},
    });
    EXPECT_EQ(harness.sink->events().size(), 2u);
    std::size_t pausedEvents = 0;
    for (const auto& event : harness.events()) pausedEvents += event.get<ServerEvent::Paused>() ? 1u : 0u;
    EXPECT_EQ(pausedEvents, 1u);

    setPaused(false);
    EXPECT_FALSE(phone->expect<HelperStatus>().isPaused);
    phone->send(PointerMove{5, 5, 0});
    EXPECT_EQ(harness.waitForInput(3).size(), 3u);
}

TEST_F(ServerCommands, TextIsTypedOrPastedUpToTwentyThousandCharacters) {
    harness.pasteboard->userCopied("the user's own text");
    harness.primarySelection->userCopied("the user's selected text");
    // Each "é" written as e + combining accent is one character of two code points.
    std::string longest;
    for (int index = 0; index < 20000; ++index) longest += "e\xCC\x81";
    expectReplies(
        {{TextInput{longest + "e\xCC\x81", TextMode::type}, ErrorMessage{ErrorCode::invalidRequest, "text too long"}}});

    // A paste: the text on the clipboard and the primary selection, Shift+Insert (terminals paste on it too, and
    // take Ctrl+V literally), and the user's contents back on both before the next message.
    phone->send(TextInput{longest, TextMode::paste});
    expectReplies({{Ping{1}, Pong{1}}});
    EXPECT_EQ(harness.pasteboard->writes(), std::vector<std::string>{longest});
    EXPECT_EQ(harness.primarySelection->writes(), std::vector<std::string>{longest});
    EXPECT_EQ(harness.pasteboard->contents().text(), "the user's own text");
    EXPECT_EQ(harness.primarySelection->contents().text(), "the user's selected text");
    auto recorded = harness.sink->events();
    ASSERT_EQ(recorded.size(), 4u);
    constexpr std::uint16_t insertKey = 0x72;
    EXPECT_EQ(recorded[1], RecordedInput::key(insertKey, true, ModifierFlags::shift));

    // While input cannot be injected, nothing is answered at all.
    harness.onServer([](HelperServer& s) { s.setServices(helper::HelperServices([] { return false; }, {}, {})); });
    phone->send(TextInput{longest + "x", TextMode::type});
    EXPECT_TRUE(phone->staysQuiet());
}

TEST_F(ServerCommands, HousekeepingMessagesAfterAuthentication) {
    expectReplies({{Hello{1, 1, "1.0", Capabilities{}}, ErrorMessage{ErrorCode::invalidRequest}}});
    // A status request answers this session and leaves the last push alone: the next pass still pushes.
    phone->send(StatusRequest{});
    EXPECT_NO_THROW(phone->expect<HelperStatus>());
    harness.maintenancePass();
    EXPECT_NO_THROW(phone->expect<HelperStatus>());
    expectReplies({{Unpair{}, ErrorMessage{ErrorCode::deviceRemoved}}});
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_TRUE(harness.store->devices().empty());
}

// A command handler that hands the first message and its session to the test, which finishes it.
struct HoldingHandler final : helper::SystemControlling {
    using Held = std::tuple<OrvikMessage, std::shared_ptr<helper::CommandSession>, std::function<void()>>;

    Capabilities capabilities() const override { return Capabilities::media; }
    void handle(const OrvikMessage& message, std::shared_ptr<helper::CommandSession> session,
                std::function<void()> done) override {
        held.set_value({message, std::move(session), std::move(done)});
    }
    void fill(HelperStatus&) const override {}

    std::promise<Held> held;
};

// The answer a command session's call hands to its completion.
template <class T, class Call> T answerOf(Call call) {
    auto answered = std::make_shared<std::promise<T>>();
    call([answered](T value) { answered->set_value(std::move(value)); });
    return answered->get_future().get();
}
template <class Call> void finished(Call call) {
    answerOf<bool>([&](std::function<void(bool)> done) { call([done] { done(true); }); });
}

TEST_F(ServerCommands, AHandlerActsThroughItsSessionOnTheServersThreadAndHoldsUpOnlyThatSession) {
    auto handler = std::make_shared<HoldingHandler>();
    harness.onServer([&](HelperServer& s) { s.setServices(helper::HelperServices({}, {}, {}, handler)); });
    phone->send(MediaCommand{MediaKey::mute});
    phone->send(Ping{1});
    auto held = handler->held.get_future().get();
    const auto& message = std::get<0>(held);
    const auto& session = std::get<1>(held);
    const auto& finishHandling = std::get<2>(held);
    EXPECT_TRUE(message.get<MediaCommand>());
    EXPECT_TRUE(phone->staysQuiet()) << "the session reads on only once the handler is done";
    EXPECT_EQ(session->pasteboard(), harness.pasteboard) << "the paste flow's own";

    const KeyCombo lock{MacKey::q, ModifierFlags::control | ModifierFlags::command};
    EXPECT_TRUE(answerOf<bool>([&](auto finish) { session->press(lock, finish); }));
    finished([&](auto finish) { session->postMediaKey(MediaKey::mute, finish); });
    auto recorded = harness.sink->events();
    ASSERT_GE(recorded.size(), 2u);
    EXPECT_EQ(std::vector(recorded.end() - 2, recorded.end()),
              (std::vector{RecordedInput::media(helper::MediaKeyEncoding::mute, true),
                           RecordedInput::media(helper::MediaKeyEncoding::mute, false)}));
    setPaused(true);
    EXPECT_FALSE(answerOf<bool>([&](auto finish) { session->press(lock, finish); }))
        << "the pause is read at the press";
    finished([&](auto finish) { session->postMediaKey(MediaKey::mute, finish); });
    EXPECT_EQ(harness.sink->events().size(), recorded.size());

    finished([&](auto finish) { session->reply(message, ErrorCode::notFound, "gone", finish); });
    finished([&](auto finish) { session->reply(12, helper::CommandOutcome::failure(ErrorCode::notFound), finish); });
    EXPECT_EQ(phone->nextIgnoringStatus(), OrvikMessage(ErrorMessage{ErrorCode::notFound, "gone"}));
    EXPECT_EQ(phone->nextIgnoringStatus(), OrvikMessage(CommandResult{12, ErrorCode::notFound, std::nullopt}));
    finishHandling();
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
}

} // namespace
} // namespace orvik::test
