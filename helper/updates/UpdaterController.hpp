#pragma once

#include "core/UserDefaults.hpp"
#include "model/UpdaterControlling.hpp"
#include "updates/AppcastFetcher.hpp"
#include "updates/UpdateMessage.hpp"

#include <QList>
#include <QPointer>
#include <QSslCertificate>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

class QMessageBox;

namespace orvik::helper {

// What the update checker is built with.
struct UpdateConfiguration {
    std::string feedUrl;
    // Kept by the build for the releases' signatures; the checker only requires it to be set, as it installs
    // nothing itself.
    std::string publicKey;
    std::string runningVersion;
    // Trusted instead of the system's authorities when not empty.
    QList<QSslCertificate> certificateAuthorities;
};

// Checks the update feed and tells the user of a newer release; installing it is the package manager's job.
// Whether checks are possible is decided once, at creation; without a usable feed every operation does nothing.
// Automatic checks, when the user turned them on, run at start and once a day. GUI thread only.
class UpdaterController final : public UpdaterControlling {
public:
    static constexpr std::string_view automaticChecksKey = "automaticallyChecksForUpdates";

    UpdaterController(UpdateConfiguration configuration, UserDefaults& defaults);
    ~UpdaterController() override;
    UpdaterController(const UpdaterController&) = delete;
    UpdaterController& operator=(const UpdaterController&) = delete;

    bool isConfigured() const override { return fetcher_ != nullptr; }
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    void checkForUpdates() override;
    void checkForUpdatesInBackground() override;

private:
    void check(UpdateCheckKind kind);
    void finish(AppcastFetcher::Result result);
    void show(const UpdateMessage& message);
    void scheduleAutomaticChecks(bool enabled);

    UpdateConfiguration configuration_;
    UserDefaults& defaults_;
    std::unique_ptr<AppcastFetcher> fetcher_;
    QTimer automaticCheck_;
    // The check in flight; a user's check asked for meanwhile joins it and makes its result shown.
    std::optional<UpdateCheckKind> pending_;
    QPointer<QMessageBox> box_;
};

} // namespace orvik::helper
