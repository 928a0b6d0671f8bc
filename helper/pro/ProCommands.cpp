#include "pro/ProCommands.hpp"

#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"
#include "core/UnicodeText.hpp"
#include "pro/URLPolicy.hpp"

namespace orvik::helper {

namespace {

constexpr std::string_view logCategory = "Pro";

using Session = std::shared_ptr<CommandSession>;

// The error-reply rule: a commandResult for a message with a request identifier, else an error.
asio::awaitable<void> replyError(const Session& session, const OrvikMessage& message, ErrorCode code,
                                 std::optional<std::string> detail = std::nullopt) {
    auto start = [&](std::function<void()> done) { session->reply(message, code, std::move(detail), std::move(done)); };
    co_await awaitCompletion(std::move(start));
}

asio::awaitable<void> replyOutcome(const Session& session, std::uint32_t requestID, CommandOutcome outcome) {
    auto start = [&](std::function<void()> done) { session->reply(requestID, std::move(outcome), std::move(done)); };
    co_await awaitCompletion(std::move(start));
}

asio::awaitable<void> send(const Session& session, OrvikMessage message) {
    auto start = [&](std::function<void()> done) { session->send(std::move(message), std::move(done)); };
    co_await awaitCompletion(std::move(start));
}

asio::awaitable<bool> isPaused(const Session& session) {
    auto start = [&](std::function<void(bool)> done) { session->isPaused(std::move(done)); };
    co_return co_await awaitResult<bool>(std::move(start));
}

template <class App> std::vector<std::string> bundleIDs(const std::vector<App>& apps) {
    std::vector<std::string> ids;
    ids.reserve(apps.size());
    for (const auto& app : apps) ids.push_back(app.bundleID);
    return ids;
}

std::vector<std::string> names(const std::vector<ShortcutInfo>& shortcuts) {
    std::vector<std::string> listed;
    listed.reserve(shortcuts.size());
    for (const auto& shortcut : shortcuts) listed.push_back(shortcut.name);
    return listed;
}

} // namespace

ProCommands::ProCommands(std::shared_ptr<AppCataloging> apps, std::shared_ptr<ShortcutsProviding> shortcuts,
                         std::shared_ptr<URLOpening> urlOpener, ServerClock clock)
    : apps_(std::move(apps)), shortcuts_(std::move(shortcuts)), urlOpener_(std::move(urlOpener)),
      known_(std::move(clock)) {}

ProCommands::~ProCommands() {
    pool_.join();
}

Capabilities ProCommands::capabilities() const {
    return Capabilities::apps | Capabilities::appQuit | Capabilities::shortcuts | Capabilities::clipboard |
           Capabilities::sendURL;
}

void ProCommands::handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                         std::function<void()> done) {
    auto finished = [done = std::move(done)](const std::exception_ptr& failure) {
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& error) {
                Log::error(logCategory, std::string("Serving a message failed: ") + error.what());
            } catch (...) {
                Log::error(logCategory, "Serving a message failed");
            }
        }
        done();
    };
    asio::co_spawn(pool_, serve(message, std::move(session)), std::move(finished));
}

asio::awaitable<void> ProCommands::serve(OrvikMessage message, Session session) {
    // The message list says which messages the pause leaves alone: the lists and icons. The rest act on this
    // computer.
    if (!message.isAllowedWhilePaused()) {
        const bool paused = co_await isPaused(session);
        if (paused) {
            co_await replyError(session, message, ErrorCode::paused);
            co_return;
        }
    }
    co_await dispatch(message, session);
}

asio::awaitable<void> ProCommands::dispatch(const OrvikMessage& message, Session session) {
    if (const auto* command = message.get<AppCommand>()) {
        co_await appCommand(message, *command, session);
    } else if (const auto* run = message.get<ShortcutRun>()) {
        co_await shortcutRun(message, *run, session);
    } else if (const auto* link = message.get<SendURL>()) {
        co_await sendURL(message, *link, session);
    } else if (const auto* set = message.get<ClipboardSet>()) {
        co_await clipboardSet(message, *set, session);
    } else if (const auto* get = message.get<ClipboardGet>()) {
        co_await clipboardGet(message, *get, session);
    } else if (const auto* apps = message.get<AppsListRequest>()) {
        co_await appsList(*apps, session);
    } else if (const auto* running = message.get<RunningAppsRequest>()) {
        co_await runningApps(*running, session);
    } else if (const auto* shortcuts = message.get<ShortcutsListRequest>()) {
        co_await shortcutsList(message, *shortcuts, session);
    } else if (const auto* icon = message.get<AppIconRequest>()) {
        co_await this->icon(message, *icon, session);
    } else {
        co_await replyError(session, message, ErrorCode::unsupported);
    }
}

asio::awaitable<void> ProCommands::appCommand(const OrvikMessage& message, const AppCommand& command, Session session) {
    const std::string id = UnicodeText::nfc(command.bundleID);
    const bool known = co_await isKnownApp(id);
    if (!known) {
        co_await replyError(session, message, ErrorCode::notAllowed);
        co_return;
    }
    auto act = [&](std::function<void(CommandOutcome)> done) {
        switch (command.action) {
        case AppAction::launch: apps_->launch(id, std::move(done)); break;
        case AppAction::activate: apps_->activate(id, std::move(done)); break;
        case AppAction::quit: apps_->quit(id, std::move(done)); break;
        }
    };
    auto outcome = co_await awaitResult<CommandOutcome>(std::move(act));
    co_await replyOutcome(session, command.requestID, std::move(outcome));
}

asio::awaitable<void> ProCommands::shortcutRun(const OrvikMessage& message, const ShortcutRun& command,
                                               Session session) {
    const std::string canonicalName = UnicodeText::nfc(command.name);
    const auto listedName = co_await knownShortcut(canonicalName);
    if (!listedName) {
        co_await replyError(session, message, ErrorCode::notAllowed);
        co_return;
    }
    Log::info(logCategory, "Running a shortcut");
    auto run = [&](std::function<void(CommandOutcome)> done) { shortcuts_->run(*listedName, std::move(done)); };
    auto outcome = co_await awaitResult<CommandOutcome>(std::move(run));
    co_await replyOutcome(session, command.requestID, std::move(outcome));
}

asio::awaitable<void> ProCommands::sendURL(const OrvikMessage& message, const SendURL& command, Session session) {
    if (!URLPolicy::isAllowed(command.url)) {
        co_await replyError(session, message, ErrorCode::notAllowed);
        co_return;
    }
    auto open = [&](std::function<void(bool)> done) { urlOpener_->open(command.url, std::move(done)); };
    const bool opened = co_await awaitResult<bool>(std::move(open));
    auto outcome = opened ? CommandOutcome::success() : CommandOutcome::failure(ErrorCode::internalError);
    co_await replyOutcome(session, command.requestID, std::move(outcome));
}

asio::awaitable<void> ProCommands::clipboardSet(const OrvikMessage& message, const ClipboardSet& command,
                                                Session session) {
    const auto pasteboard = session->pasteboard();
    if (!pasteboard) {
        co_await replyError(session, message, ErrorCode::unsupported);
        co_return;
    }
    pasteboard->setString(command.text);
    co_await replyOutcome(session, command.requestID, CommandOutcome::success());
}

asio::awaitable<void> ProCommands::clipboardGet(const OrvikMessage& message, const ClipboardGet& request,
                                                Session session) {
    const auto pasteboard = session->pasteboard();
    if (!pasteboard) {
        co_await replyError(session, message, ErrorCode::unsupported);
        co_return;
    }
    ClipboardContent content{request.requestID, pasteboard->string()};
    OrvikMessage reply(std::move(content));
    co_await send(session, std::move(reply));
}

asio::awaitable<void> ProCommands::appsList(const AppsListRequest& request, Session session) {
    auto apps = co_await installedApps();
    known_.addApps(bundleIDs(apps));
    AppsList list{request.requestID, std::move(apps)};
    OrvikMessage reply(std::move(list));
    co_await send(session, std::move(reply));
}

asio::awaitable<void> ProCommands::runningApps(const RunningAppsRequest& request, Session session) {
    auto apps = co_await listRunningApps();
    known_.addApps(bundleIDs(apps));
    RunningApps list{request.requestID, std::move(apps)};
    OrvikMessage reply(std::move(list));
    co_await send(session, std::move(reply));
}

asio::awaitable<void> ProCommands::shortcutsList(const OrvikMessage& message, const ShortcutsListRequest& request,
                                                 Session session) {
    auto listing = co_await listShortcuts();
    auto* shortcuts = std::get_if<std::vector<ShortcutInfo>>(&listing);
    if (!shortcuts) {
        co_await replyError(session, message, ErrorCode::internalError, "shortcuts list failed");
        co_return;
    }
    known_.replaceShortcuts(names(*shortcuts));
    ShortcutsList list{request.requestID, std::move(*shortcuts)};
    OrvikMessage reply(std::move(list));
    co_await send(session, std::move(reply));
}

asio::awaitable<void> ProCommands::icon(const OrvikMessage& message, const AppIconRequest& request, Session session) {
    // The size comes first, so that a bad size never starts a rescan.
    if (request.size < minIconSize || request.size > maxIconSize) {
        co_await replyError(session, message, ErrorCode::notFound);
        co_return;
    }
    const std::string id = UnicodeText::nfc(request.bundleID);
    const bool known = co_await isKnownApp(id);
    if (!known) {
        co_await replyError(session, message, ErrorCode::notFound);
        co_return;
    }
    auto look = [&](std::function<void(std::optional<helper::AppIcon>)> done) {
        apps_->icon(id, static_cast<int>(request.size), std::move(done));
    };
    auto found = co_await awaitResult<std::optional<helper::AppIcon>>(std::move(look));
    if (!found) {
        co_await replyError(session, message, ErrorCode::notFound);
        co_return;
    }
    orvik::AppIcon answer{request.requestID, request.bundleID, std::move(found->version), std::move(found->png)};
    OrvikMessage reply(std::move(answer));
    co_await send(session, std::move(reply));
}

asio::awaitable<bool> ProCommands::isKnownApp(const std::string& canonicalID) {
    if (known_.hasApp(canonicalID)) co_return true;
    if (!known_.startAppRescan()) co_return false;
    const auto installed = co_await installedApps();
    const auto running = co_await listRunningApps();
    known_.addApps(bundleIDs(installed));
    known_.addApps(bundleIDs(running));
    co_return known_.hasApp(canonicalID);
}

asio::awaitable<std::optional<std::string>> ProCommands::knownShortcut(const std::string& canonicalName) {
    if (auto listed = known_.shortcut(canonicalName)) co_return listed;
    if (!known_.startShortcutsRelist()) co_return std::nullopt;
    const auto listing = co_await listShortcuts();
    // A failed listing refuses the name; the relist limit holds all the same.
    const auto* shortcuts = std::get_if<std::vector<ShortcutInfo>>(&listing);
    if (!shortcuts) co_return std::nullopt;
    known_.replaceShortcuts(names(*shortcuts));
    co_return known_.shortcut(canonicalName);
}

asio::awaitable<std::vector<AppInfo>> ProCommands::installedApps() {
    auto start = [this](std::function<void(std::vector<AppInfo>)> done) { apps_->installedApps(std::move(done)); };
    co_return co_await awaitResult<std::vector<AppInfo>>(std::move(start));
}

asio::awaitable<std::vector<RunningApp>> ProCommands::listRunningApps() {
    auto start = [this](std::function<void(std::vector<RunningApp>)> done) { apps_->runningApps(std::move(done)); };
    co_return co_await awaitResult<std::vector<RunningApp>>(std::move(start));
}

asio::awaitable<ShortcutsListing> ProCommands::listShortcuts() {
    auto start = [this](std::function<void(ShortcutsListing)> done) { shortcuts_->list(std::move(done)); };
    co_return co_await awaitResult<ShortcutsListing>(std::move(start));
}

} // namespace orvik::helper
