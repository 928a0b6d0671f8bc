#include "pro/ProCommands.hpp"

#include "RecordingCommandSession.hpp"
#include "clipboard/FakePasteboard.hpp"

#include <gtest/gtest.h>

#include <future>

namespace orvik::helper {
namespace {

using test::RecordingCommandSession;

struct FakeCatalog final : AppCataloging {
    std::vector<AppInfo> installed;
    std::vector<RunningApp> running;
    std::vector<std::string> calls;
    std::mutex mutex;

    void note(std::string call) {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
    void installedApps(std::function<void(std::vector<AppInfo>)> done) override {
        note("installed");
        done(installed);
    }
    void icon(std::string id, int size, std::function<void(std::optional<AppIcon>)> done) override {
        note("icon " + id + " " + std::to_string(size));
        done(AppIcon{"1.0", Bytes{1, 2}});
    }
    void runningApps(std::function<void(std::vector<RunningApp>)> done) override {
        note("running");
        done(running);
    }
    void launch(std::string id, std::function<void(CommandOutcome)> done) override {
        note("launch " + id);
        done(CommandOutcome::success());
    }
    void activate(std::string id, std::function<void(CommandOutcome)> done) override {
        note("activate " + id);
        done(CommandOutcome::failure(ErrorCode::notFound, "gone"));
    }
    void quit(std::string id, std::function<void(CommandOutcome)> done) override {
        note("quit " + id);
        done(CommandOutcome::success());
    }
};

struct FakeShortcuts final : ShortcutsProviding {
    ShortcutsListing listing = std::vector<ShortcutInfo>{};
    std::vector<std::string> runs;
    int lists = 0;

    void list(std::function<void(ShortcutsListing)> done) override {
        ++lists;
        done(listing);
    }
    void run(std::string name, std::function<void(CommandOutcome)> done) override {
        runs.push_back(std::move(name));
        done(CommandOutcome::success());
    }
};

struct FakeOpener final : URLOpening {
    bool answer = true;
    std::vector<std::string> opened;
    void open(std::string url, std::function<void(bool)> done) override {
        opened.push_back(std::move(url));
        done(answer);
    }
};

class ProCommandsFixture : public ::testing::Test {
protected:
    // Serves one message on a session of its own and waits until it has been answered.
    void serve(OrvikMessage message) {
        session = std::make_shared<RecordingCommandSession>(pasteboard);
        session->paused = paused;
        std::promise<void> served;
        commands.handle(message, session, [&] { served.set_value(); });
        served.get_future().wait();
    }
    std::optional<CommandOutcome::Failure> lastResult() {
        const auto replies = session->calls<RecordingCommandSession::Outcome>();
        const auto errors = session->calls<RecordingCommandSession::Replied>();
        if (!errors.empty()) return CommandOutcome::Failure{errors.back().error, errors.back().detail};
        if (replies.empty()) return CommandOutcome::Failure{ErrorCode::appTooOld, "no answer"};
        return replies.back().outcome.reason;
    }
    template <class T> std::optional<T> lastSent() {
        const auto sent = session->calls<RecordingCommandSession::Sent>();
        if (sent.empty() || !sent.back().message.get<T>()) return std::nullopt;
        return *sent.back().message.get<T>();
    }

    ManualClock clock{1000};
    std::shared_ptr<FakeCatalog> catalog = std::make_shared<FakeCatalog>();
    std::shared_ptr<FakeShortcuts> shortcuts = std::make_shared<FakeShortcuts>();
    std::shared_ptr<FakeOpener> opener = std::make_shared<FakeOpener>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<RecordingCommandSession> session;
    bool paused = false;
    ProCommands commands{catalog, shortcuts, opener, clock.function()};
};

TEST_F(ProCommandsFixture, AnUnlistedAppStartsOneRescanAndFurtherMissesWaitThirtySecondsOnTheMonotonicClock) {
    catalog->running = {{"Editor", "org.example.Editor", true}};
    serve(AppCommand{1, "org.example.Editor", AppAction::launch});
    EXPECT_EQ(lastResult(), std::nullopt);
    serve(AppCommand{2, "org.example.Other", AppAction::quit});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notAllowed, std::nullopt}));
    clock.advance(29.9);
    serve(AppCommand{3, "org.example.Other", AppAction::quit});
    EXPECT_EQ(catalog->calls, (std::vector<std::string>{"installed", "running", "launch org.example.Editor"}));
    clock.advance(0.2);
    catalog->installed = {{"Other", "org.example.Other", ""}};
    serve(AppCommand{4, "org.example.Other", AppAction::quit});
    EXPECT_EQ(catalog->calls.back(), "quit org.example.Other");
}

TEST_F(ProCommandsFixture, CanonicallyEquivalentSpellingsOfAnIdentifierAreOneApp) {
    catalog->installed = {{"Café", "org.example.Cafe\xCC\x81", ""}};
    serve(AppsListRequest{{7}});
    ASSERT_EQ(lastSent<AppsList>()->apps, catalog->installed);
    serve(AppCommand{8, "org.example.Caf\xC3\xA9", AppAction::activate});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notFound, "gone"}));
    EXPECT_EQ(catalog->calls, (std::vector<std::string>{"installed", "activate org.example.Caf\xC3\xA9"}));
}

class IconSize : public ProCommandsFixture, public ::testing::WithParamInterface<std::pair<std::int64_t, bool>> {};

TEST_P(IconSize, OnlySizesFrom16To256AreServedAndOthersNeverScan) {
    const auto [size, served] = GetParam();
    catalog->installed = {{"Editor", "org.example.Editor", ""}};
    serve(AppIconRequest{5, "org.example.Editor", size});
    if (served) {
        EXPECT_EQ(lastSent<orvik::AppIcon>(), (orvik::AppIcon{5, "org.example.Editor", "1.0", Bytes{1, 2}}));
    } else {
        EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notFound, std::nullopt}));
        EXPECT_TRUE(catalog->calls.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconSize,
                         ::testing::Values(std::pair{15, false}, std::pair{16, true}, std::pair{256, true},
                                           std::pair{257, false}, std::pair{-1, false}));

TEST_F(ProCommandsFixture, WhilePausedTheActionsAreRefusedAndTheListsStillServed) {
    paused = true;
    pasteboard->userCopied("secret");
    for (const auto& action :
         std::vector<OrvikMessage>{ClipboardGet{{1}}, ClipboardSet{2, "x"}, SendURL{3, "https://a"},
                                   ShortcutRun{4, "A"}, AppCommand{5, "a", AppAction::quit}}) {
        serve(action);
        EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::paused, std::nullopt}));
    }
    serve(RunningAppsRequest{{6}});
    EXPECT_EQ(lastSent<RunningApps>(), (RunningApps{6, {}}));
    EXPECT_TRUE(pasteboard->writes().empty() && opener->opened.empty() && shortcuts->runs.empty());
    EXPECT_TRUE(catalog->calls == std::vector<std::string>{"running"});
    for (const auto& query :
         std::vector<OrvikMessage>{AppsListRequest{{7}}, ShortcutsListRequest{{8}}, AppIconRequest{9, "a", 32}}) {
        serve(query);
        EXPECT_NE(lastResult(), (CommandOutcome::Failure{ErrorCode::paused, std::nullopt})) << name(query.type());
    }
}

TEST_F(ProCommandsFixture, ARenamedShortcutIsRefusedAfterTheNextListAndRunsUnderItsListedSpelling) {
    shortcuts->listing = std::vector<ShortcutInfo>{{"-Backup", "Work"}, {"Re\xCC\x81sume\xCC\x81", std::nullopt}};
    serve(ShortcutRun{1, "R\xC3\xA9sum\xC3\xA9"});
    EXPECT_EQ(lastResult(), std::nullopt);
    serve(ShortcutRun{2, "-Backup"});
    EXPECT_EQ(shortcuts->runs, (std::vector<std::string>{"Re\xCC\x81sume\xCC\x81", "-Backup"}));
    shortcuts->listing = std::vector<ShortcutInfo>{{"Backup", "Work"}};
    serve(ShortcutsListRequest{{3}});
    EXPECT_EQ(lastSent<ShortcutsList>(), (ShortcutsList{3, {{"Backup", "Work"}}}));
    serve(ShortcutRun{4, "-Backup"});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notAllowed, std::nullopt}));
    EXPECT_EQ(shortcuts->lists, 2);
}

TEST_F(ProCommandsFixture, AFailedListingIsAnInternalErrorWhenAskedForAndARefusalWhenChecking) {
    shortcuts->listing = ShortcutsError{"shortcuts exited 1"};
    serve(ShortcutsListRequest{{1}});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::internalError, "shortcuts list failed"}));
    serve(ShortcutRun{2, "A"});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notAllowed, std::nullopt}));
}

TEST_F(ProCommandsFixture, LinksPassThePolicyBeforeTheOpenerWhoseRefusalIsAnInternalError) {
    serve(SendURL{1, "file:///etc/passwd"});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::notAllowed, std::nullopt}));
    EXPECT_TRUE(opener->opened.empty());
    opener->answer = false;
    serve(SendURL{2, "https://example.org/"});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::internalError, std::nullopt}));
}

TEST_F(ProCommandsFixture, TheClipboardRoundTripsAndAnEmptyOneAnswersWithoutText) {
    serve(ClipboardGet{{1}});
    EXPECT_EQ(lastSent<ClipboardContent>(), (ClipboardContent{1, std::nullopt}));
    serve(ClipboardSet{2, "hello"});
    EXPECT_EQ(lastResult(), std::nullopt);
    serve(ClipboardGet{{3}});
    EXPECT_EQ(lastSent<ClipboardContent>(), (ClipboardContent{3, "hello"}));
}

TEST_F(ProCommandsFixture, OtherMessagesAreUnsupported) {
    serve(MediaCommand{MediaKey::mute});
    EXPECT_EQ(lastResult(), (CommandOutcome::Failure{ErrorCode::unsupported, std::nullopt}));
}

} // namespace
} // namespace orvik::helper
