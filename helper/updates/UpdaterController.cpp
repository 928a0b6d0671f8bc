#include "updates/UpdaterController.hpp"

#include "core/Log.hpp"
#include "platform/DesktopLaunch.hpp"
#include "updates/UpdateGate.hpp"

#include <QMessageBox>
#include <QPushButton>

#include <chrono>

namespace orvik::helper {

namespace {

constexpr std::string_view logCategory = "Updates";
constexpr std::chrono::milliseconds automaticCheckInterval = std::chrono::hours(24);

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void logResult(const UpdateCheckOutcome& outcome) {
    if (const auto* newer = std::get_if<UpdateCheckOutcome::Newer>(&outcome.result)) {
        Log::info(logCategory, "Update check found version " + newer->release.displayVersion() + ".");
    } else if (const auto* failed = std::get_if<UpdateCheckOutcome::Failed>(&outcome.result)) {
        Log::notice(logCategory, "Update check failed: " + UpdateMessage::reason(*failed));
    } else {
        Log::info(logCategory, "Update check found no newer version.");
    }
}

} // namespace

UpdaterController::UpdaterController(UpdateConfiguration configuration, UserDefaults& defaults)
    : configuration_(std::move(configuration)), defaults_(defaults) {
    if (!UpdateGate::holds(configuration_.feedUrl, configuration_.publicKey)) {
        Log::error(logCategory, "Update feed URL or public key unset; update checks are disabled.");
        return;
    }
    fetcher_ = std::make_unique<AppcastFetcher>(configuration_.certificateAuthorities);
    automaticCheck_.setInterval(automaticCheckInterval);
    QObject::connect(&automaticCheck_, &QTimer::timeout, [this] { checkForUpdatesInBackground(); });
    scheduleAutomaticChecks(automaticallyChecksForUpdates());
}

UpdaterController::~UpdaterController() {
    delete box_.data();
}

bool UpdaterController::automaticallyChecksForUpdates() const {
    return isConfigured() && defaults_.boolean(automaticChecksKey).value_or(false);
}

void UpdaterController::setAutomaticallyChecksForUpdates(bool enabled) {
    if (!isConfigured() || enabled == automaticallyChecksForUpdates()) return;
    defaults_.setBoolean(automaticChecksKey, enabled);
    scheduleAutomaticChecks(enabled);
}

void UpdaterController::checkForUpdates() {
    check(UpdateCheckKind::userInitiated);
}

void UpdaterController::checkForUpdatesInBackground() {
    check(UpdateCheckKind::background);
}

// Switching on checks at once (on the next turn of the event loop, so start-up is not held up), then daily.
void UpdaterController::scheduleAutomaticChecks(bool enabled) {
    if (!enabled) {
        automaticCheck_.stop();
        return;
    }
    automaticCheck_.start();
    QTimer::singleShot(0, &automaticCheck_, [this] { checkForUpdatesInBackground(); });
}

void UpdaterController::check(UpdateCheckKind kind) {
    if (!isConfigured()) return;
    if (pending_) {
        if (kind == UpdateCheckKind::userInitiated) pending_ = kind;
        return;
    }
    pending_ = kind;
    const QUrl feed(qText(configuration_.feedUrl));
    fetcher_->fetch(feed, [this](AppcastFetcher::Result result) { finish(std::move(result)); });
}

void UpdaterController::finish(AppcastFetcher::Result result) {
    const auto kind = pending_.value_or(UpdateCheckKind::background);
    pending_.reset();
    const auto outcome =
        std::holds_alternative<std::string>(result)
            ? UpdateCheckOutcome::fromFeed(std::get<std::string>(result), configuration_.runningVersion)
            : UpdateCheckOutcome{std::get<UpdateCheckOutcome::Failed>(result)};
    const auto message = UpdateMessage::about(outcome, kind, configuration_.runningVersion);
    logResult(outcome);
    if (message) show(*message);
}

// One box at a time: a newer result replaces an unanswered older one. Opened with open(), never run modally.
void UpdaterController::show(const UpdateMessage& message) {
    delete box_.data();
    const auto icon = message.isFailure ? QMessageBox::Warning : QMessageBox::Information;
    auto* box = new QMessageBox(icon, qText(UpdateMessage::windowTitle), {});
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setText(qText(message.text));
    if (message.downloadUrl.empty()) {
        auto* ok = box->addButton(qText(UpdateMessage::okButton), QMessageBox::AcceptRole);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    } else {
        auto* download = box->addButton(qText(UpdateMessage::downloadButton), QMessageBox::AcceptRole);
        box->setEscapeButton(box->addButton(qText(UpdateMessage::laterButton), QMessageBox::RejectRole));
        box->setDefaultButton(download);
        const QUrl url(qText(message.downloadUrl), QUrl::StrictMode);
        QObject::connect(download, &QPushButton::clicked, [url] {
            // Started as every child of ours is, not through Qt, which would hand the browser our descriptors.
            const auto failure = DesktopLaunch::link(url.toString(QUrl::FullyEncoded).toStdString());
            if (failure) Log::error(logCategory, "Opening the download page failed: " + *failure);
        });
    }
    box->open();
    box->raise();
    box->activateWindow();
    box_ = box;
}

} // namespace orvik::helper
