#pragma once

#include "apps/AppEnvironment.hpp"
#include "core/IoThread.hpp"
#include "pro/AppCataloging.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvik::helper {

class EwmhDesktop;

// The desktop's applications: desktop entries for what is installed, EWMH windows for what runs, the icon theme
// for icons. Every operation runs on the catalog's own worker thread, which also owns its X connection (opened
// on first use, opened again after the server was lost); callers are never blocked. Nothing is cached: each call
// reads the application folders again. Pending operations finish before destruction returns.
class XdgAppCatalog final : public AppCataloging {
public:
    explicit XdgAppCatalog(AppEnvironment environment = {});
    ~XdgAppCatalog() override;

    void installedApps(std::function<void(std::vector<AppInfo>)> done) override;
    void icon(std::string bundleID, int size, std::function<void(std::optional<AppIcon>)> done) override;
    void runningApps(std::function<void(std::vector<RunningApp>)> done) override;
    void launch(std::string bundleID, std::function<void(CommandOutcome)> done) override;
    void activate(std::string bundleID, std::function<void(CommandOutcome)> done) override;
    void quit(std::string bundleID, std::function<void(CommandOutcome)> done) override;

private:
    // Worker-thread halves of the operations.
    std::vector<DesktopEntry> scan() const;
    std::optional<DesktopEntry> entry(const std::string& bundleID) const;
    std::optional<AppIcon> iconNow(const std::string& bundleID, int size);
    std::vector<RunningApp> runningNow();
    CommandOutcome launchNow(const std::string& bundleID);
    CommandOutcome activateNow(const std::string& bundleID);
    CommandOutcome quitNow(const std::string& bundleID);
    // The managed windows (X ids) of the application, oldest first.
    std::vector<unsigned long> windowsOf(const std::string& bundleID);
    // The X connection, opened again when it was lost; null without an X server.
    EwmhDesktop* desktop();

    AppEnvironment environment_;
    std::unique_ptr<EwmhDesktop> desktop_;
    // Last: its thread ends (after finishing pending work) before the members above go.
    IoThread worker_{"AppCatalog", IoThread::AtDestruction::finishPendingWork};
};

} // namespace orvik::helper
