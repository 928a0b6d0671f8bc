#pragma once

#include "core/ServerClock.hpp"
#include "pro/AppCataloging.hpp"
#include "pro/KnownIdentifiers.hpp"
#include "pro/ShortcutsProviding.hpp"
#include "pro/URLOpening.hpp"
#include "server/ProCommandHandling.hpp"

#include <asio.hpp>

#include <cstdint>
#include <memory>

namespace orvik::helper {

// The app, user-command, link and clipboard messages of an authenticated phone. Apps and commands are served only
// by identifiers this computer has listed itself (KnownIdentifiers); a size outside the icon sizes is refused before
// anything is looked up. While control is paused the five actions (app commands, runs, links and both clipboard
// calls) are refused, as the message list says; the lists and icons are still served.
//
// Messages are served on a small pool of its own, several at a time; each reply, send and question to the server
// goes through the session, awaited before the next. Services are called from that pool and may answer from any
// thread.
class ProCommands final : public ProCommandHandling {
public:
    static constexpr std::int64_t minIconSize = 16;
    static constexpr std::int64_t maxIconSize = 256;
    static constexpr int handlingThreads = 2;

    ProCommands(std::shared_ptr<AppCataloging> apps, std::shared_ptr<ShortcutsProviding> shortcuts,
                std::shared_ptr<URLOpening> urlOpener, ServerClock clock = systemUptimeClock());
    // Waits until every message in hand has been answered; never call it from a `done` callback, which runs on the
    // pool it joins.
    ~ProCommands() override;

    ProCommands(const ProCommands&) = delete;
    ProCommands& operator=(const ProCommands&) = delete;

    Capabilities capabilities() const override;
    void handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                std::function<void()> done) override;

private:
    using Session = std::shared_ptr<CommandSession>;

    asio::awaitable<void> serve(OrvikMessage message, Session session);
    asio::awaitable<void> dispatch(const OrvikMessage& message, Session session);
    asio::awaitable<void> appCommand(const OrvikMessage& message, const AppCommand& command, Session session);
    asio::awaitable<void> shortcutRun(const OrvikMessage& message, const ShortcutRun& command, Session session);
    asio::awaitable<void> sendURL(const OrvikMessage& message, const SendURL& command, Session session);
    asio::awaitable<void> clipboardSet(const OrvikMessage& message, const ClipboardSet& command, Session session);
    asio::awaitable<void> clipboardGet(const OrvikMessage& message, const ClipboardGet& request, Session session);
    asio::awaitable<void> appsList(const AppsListRequest& request, Session session);
    asio::awaitable<void> runningApps(const RunningAppsRequest& request, Session session);
    asio::awaitable<void> shortcutsList(const OrvikMessage& message, const ShortcutsListRequest& request,
                                        Session session);
    asio::awaitable<void> icon(const OrvikMessage& message, const AppIconRequest& request, Session session);

    asio::awaitable<bool> isKnownApp(const std::string& canonicalID);
    // The command's name as listed, absent when it is not known.
    asio::awaitable<std::optional<std::string>> knownShortcut(const std::string& canonicalName);

    asio::awaitable<std::vector<AppInfo>> installedApps();
    asio::awaitable<std::vector<RunningApp>> listRunningApps();
    asio::awaitable<ShortcutsListing> listShortcuts();

    std::shared_ptr<AppCataloging> apps_;
    std::shared_ptr<ShortcutsProviding> shortcuts_;
    std::shared_ptr<URLOpening> urlOpener_;
    KnownIdentifiers known_;
    asio::thread_pool pool_{handlingThreads};
};

} // namespace orvik::helper
