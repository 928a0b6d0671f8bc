#include "RecordingCommandSession.hpp"
#include "ServerHarness.hpp"
#include "WaitUntil.hpp"
#include "core/IoThread.hpp"
#include "server/ServerCommandSession.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::test {
namespace {

// What a command handler may rely on from every CommandSession, the recording fake included: each completion
// is called exactly once whatever state the session is in, and the answers are those stated for that state.
struct ContractCase {
    std::string name;
    enum class Kind { recording, liveSession, endedSession, goneServer } kind;
    bool pressed;
    bool paused;
    bool restartAllowed;
};

class CommandSessionContract : public ServerWithDevice, public ::testing::WithParamInterface<ContractCase> {
protected:
    std::shared_ptr<helper::CommandSession> make() {
        using Kind = ContractCase::Kind;
        const auto kind = GetParam().kind;
        if (kind == Kind::recording) return std::make_shared<RecordingCommandSession>(harness.pasteboard);
        std::weak_ptr<HelperServer> server;
        if (kind != Kind::goneServer) server = harness.server;
        phone = harness.authenticatedPhone(device);
        auto id = harness.onServer([](HelperServer& s) { return s.connectedDevices().at(0).sessionID; });
        if (kind == Kind::endedSession) {
            phone->close();
            EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
        }
        return std::make_shared<helper::ServerCommandSession>(server, harness.thread->executor(), id,
                                                              harness.pasteboard);
    }

    std::unique_ptr<TestPhone> phone;
};

TEST_P(CommandSessionContract, EveryCallCompletesOnceWithTheAnswersOfItsState) {
    auto session = make();
    std::atomic<int> completed = 0;
    std::promise<bool> pressed, paused;
    std::promise<helper::HelperPreferences> preferences;
    std::thread handler([&] {
        auto count = [&] { ++completed; };
        session->reply(MediaCommand{MediaKey::mute}, ErrorCode::unsupported, std::nullopt, count);
        session->reply(1, helper::CommandOutcome::success(), count);
        session->send(Pong{1}, count);
        session->postMediaKey(MediaKey::mute, count);
        session->pushStatusIfChanged(true, count);
        session->press(KeyCombo{MacKey::a, ModifierFlags{}}, [&](bool answer) { pressed.set_value(answer); });
        session->isPaused([&](bool answer) { paused.set_value(answer); });
        session->currentPreferences([&](helper::HelperPreferences answer) { preferences.set_value(answer); });
    });
    handler.join();
    EXPECT_EQ(pressed.get_future().get(), GetParam().pressed);
    EXPECT_EQ(paused.get_future().get(), GetParam().paused);
    EXPECT_EQ(preferences.get_future().get().allowRestart, GetParam().restartAllowed);
    ASSERT_TRUE(waitUntil([&] { return completed == 5; }));
    harness.onServer([](HelperServer&) {}); // whatever the server's thread still had queued has run
    EXPECT_EQ(completed, 5);
    EXPECT_EQ(session->pasteboard(), harness.pasteboard);
}

// Mend: a sound server's late confirmation, answered on its own thread while the program quit, was posted to the
// server's loop as that loop was destroyed. Such a call now waits unrun, and nothing answers it.
TEST(ServerCommandSession, ACallAfterTheServersLoopIsGoneTouchesNothing) {
    auto thread = std::make_unique<helper::IoThread>("Gone");
    auto session = std::make_shared<helper::ServerCommandSession>(std::weak_ptr<HelperServer>(), thread->executor(),
                                                                  Uuid::random(), nullptr);
    thread.reset();
    std::atomic<int> answered = 0;
    std::thread([&] {
        session->pushStatusIfChanged(false, [&] { ++answered; });
        session->isPaused([&](bool) { ++answered; });
    }).join();
    EXPECT_EQ(answered, 0);
}

using Kind = ContractCase::Kind;
INSTANTIATE_TEST_SUITE_P(Sessions, CommandSessionContract,
                         ::testing::Values(ContractCase{"RecordingFake", Kind::recording, true, false, true},
                                           ContractCase{"LiveSession", Kind::liveSession, true, false, true},
                                           ContractCase{"EndedSession", Kind::endedSession, false, false, true},
                                           ContractCase{"GoneServer", Kind::goneServer, false, true, false}),
                         [](const auto& testCase) { return testCase.param.name; });

} // namespace
} // namespace orvik::test
