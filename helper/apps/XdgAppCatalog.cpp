#include "apps/XdgAppCatalog.hpp"

#include "apps/AppWindowMatcher.hpp"
#include "apps/EwmhDesktop.hpp"
#include "apps/IconRenderer.hpp"
#include "apps/IconTheme.hpp"
#include "core/Log.hpp"
#include "platform/DesktopLaunch.hpp"

#include <unistd.h>

#include <algorithm>

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "Apps";

} // namespace

XdgAppCatalog::XdgAppCatalog(AppEnvironment environment) : environment_(std::move(environment)) {}

XdgAppCatalog::~XdgAppCatalog() = default;

void XdgAppCatalog::installedApps(std::function<void(std::vector<AppInfo>)> done) {
    asio::post(worker_.executor(), [this, done = std::move(done)] {
        std::vector<AppInfo> apps;
        for (auto& found : scan())
            apps.push_back({std::move(found.name), std::move(found.id), std::move(found.version)});
        done(std::move(apps));
    });
}

void XdgAppCatalog::icon(std::string bundleID, int size, std::function<void(std::optional<AppIcon>)> done) {
    asio::post(worker_.executor(),
               [this, bundleID = std::move(bundleID), size, done = std::move(done)] { done(iconNow(bundleID, size)); });
}

void XdgAppCatalog::runningApps(std::function<void(std::vector<RunningApp>)> done) {
    asio::post(worker_.executor(), [this, done = std::move(done)] { done(runningNow()); });
}

void XdgAppCatalog::launch(std::string bundleID, std::function<void(CommandOutcome)> done) {
    asio::post(worker_.executor(),
               [this, bundleID = std::move(bundleID), done = std::move(done)] { done(launchNow(bundleID)); });
}

void XdgAppCatalog::activate(std::string bundleID, std::function<void(CommandOutcome)> done) {
    asio::post(worker_.executor(),
               [this, bundleID = std::move(bundleID), done = std::move(done)] { done(activateNow(bundleID)); });
}

void XdgAppCatalog::quit(std::string bundleID, std::function<void(CommandOutcome)> done) {
    asio::post(worker_.executor(),
               [this, bundleID = std::move(bundleID), done = std::move(done)] { done(quitNow(bundleID)); });
}

std::vector<DesktopEntry> XdgAppCatalog::scan() const {
    return DesktopEntryScanner::scan(environment_.folders, environment_.context);
}

std::optional<DesktopEntry> XdgAppCatalog::entry(const std::string& bundleID) const {
    auto entries = scan();
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&bundleID](const DesktopEntry& candidate) { return candidate.id == bundleID; });
    if (found == entries.end()) return std::nullopt;
    return std::move(*found);
}

EwmhDesktop* XdgAppCatalog::desktop() {
    if (!desktop_ || desktop_->isBroken()) desktop_ = EwmhDesktop::open(environment_.displayName);
    return desktop_.get();
}

std::optional<AppIcon> XdgAppCatalog::iconNow(const std::string& bundleID, int size) {
    const auto app = entry(bundleID);
    if (!app) return std::nullopt;
    const auto file = IconTheme::current().lookup(app->icon, size);
    if (!file) return std::nullopt;
    auto png = IconRenderer::render(*file, size);
    if (!png) return std::nullopt;
    return AppIcon{app->version, std::move(*png)};
}

std::vector<RunningApp> XdgAppCatalog::runningNow() {
    std::vector<RunningApp> running;
    auto* x = desktop();
    if (!x) return running;
    const auto entries = scan();
    const auto active = x->activeWindow();
    const pid_t self = ::getpid();
    for (const Window window : x->clientWindows()) {
        const auto identity = x->identity(window);
        if (identity.pid == self) continue;
        const auto index = AppWindowMatcher::match(identity, entries);
        if (!index) continue;
        const auto& app = entries[*index];
        auto listed = std::find_if(running.begin(), running.end(),
                                   [&app](const RunningApp& candidate) { return candidate.bundleID == app.id; });
        if (listed == running.end()) listed = running.insert(running.end(), {app.name, app.id, false});
        listed->isActive = listed->isActive || active == window;
    }
    return running;
}

std::vector<unsigned long> XdgAppCatalog::windowsOf(const std::string& bundleID) {
    std::vector<unsigned long> windows;
    auto* x = desktop();
    if (!x) return windows;
    const auto entries = scan();
    const pid_t self = ::getpid();
    for (const Window window : x->clientWindows()) {
        const auto identity = x->identity(window);
        const auto index = AppWindowMatcher::match(identity, entries);
        if (identity.pid != self && index && entries[*index].id == bundleID) windows.push_back(window);
    }
    return windows;
}

CommandOutcome XdgAppCatalog::launchNow(const std::string& bundleID) {
    const auto app = entry(bundleID);
    if (!app) return CommandOutcome::failure(ErrorCode::notFound);
    // Launching a running application brings it forward; GIO would start a second instance of most.
    if (const auto windows = windowsOf(bundleID); !windows.empty()) {
        desktop()->activate(windows.back());
        return CommandOutcome::success();
    }
    if (const auto failure = DesktopLaunch::entry(app->file)) {
        Log::error(logCategory, "Launching " + bundleID + " failed: " + *failure);
        return CommandOutcome::failure(ErrorCode::internalError, "open failed");
    }
    return CommandOutcome::success();
}

CommandOutcome XdgAppCatalog::activateNow(const std::string& bundleID) {
    const auto windows = windowsOf(bundleID);
    if (windows.empty()) return launchNow(bundleID);
    desktop()->activate(windows.back());
    return CommandOutcome::success();
}

CommandOutcome XdgAppCatalog::quitNow(const std::string& bundleID) {
    const auto windows = windowsOf(bundleID);
    if (windows.empty()) return CommandOutcome::failure(ErrorCode::notFound);
    for (const Window window : windows) desktop()->close(window);
    return CommandOutcome::success();
}

} // namespace orvik::helper
