#include "updates/UpdateMessage.hpp"

namespace orvik::helper {

namespace {

using Failure = UpdateCheckOutcome::Failure;

// The browser opens only web addresses: a feed must not make the desktop run some other handler.
std::string webAddress(std::string_view text) {
    if (text.starts_with("https://") || text.starts_with("http://")) return std::string(text);
    return {};
}

UpdateMessage aboutNewer(const Appcast::Item& release, std::string_view runningVersion) {
    auto url = webAddress(release.enclosureUrl);
    if (url.empty()) url = webAddress(release.link);
    std::string text =
        "Orvik Helper " + release.displayVersion() + " is available. You have " + std::string(runningVersion) + ".\n\n";
    if (url.empty()) return {text + "Install it with your system’s package manager.", {}};
    return {text + "Download it from " + url + ", or install it with your system’s package manager.", url};
}

} // namespace

std::optional<UpdateMessage> UpdateMessage::about(const UpdateCheckOutcome& outcome, UpdateCheckKind kind,
                                                  std::string_view runningVersion) {
    if (const auto* newer = std::get_if<UpdateCheckOutcome::Newer>(&outcome.result)) {
        return aboutNewer(newer->release, runningVersion);
    }
    if (kind == UpdateCheckKind::background) return std::nullopt;
    if (const auto* failed = std::get_if<UpdateCheckOutcome::Failed>(&outcome.result)) {
        return UpdateMessage{"Update check failed.\n\n" + reason(*failed), {}, true};
    }
    return UpdateMessage{
        "You’re up to date.\n\nOrvik Helper " + std::string(runningVersion) + " is the newest version available.", {}};
}

std::string UpdateMessage::reason(const UpdateCheckOutcome::Failed& failed) {
    switch (failed.failure) {
    case Failure::unreachable: return "The update server could not be reached: " + failed.detail;
    case Failure::untrusted: return "The update server’s certificate is not trusted.";
    case Failure::timedOut: return "The update server did not answer in time.";
    case Failure::httpStatus: return "The update server answered with HTTP status " + failed.detail + ".";
    case Failure::tooLarge: return "The update feed is too large.";
    case Failure::unreadableFeed: return "The update feed could not be read.";
    case Failure::noVersions: return "The update feed lists no version.";
    }
    return {};
}

} // namespace orvik::helper
