#include "updates/UpdateCheckOutcome.hpp"

#include "updates/VersionNumber.hpp"

namespace orvik::helper {

UpdateCheckOutcome UpdateCheckOutcome::fromFeed(std::string_view document, std::string_view runningVersion) {
    const auto items = Appcast::parse(document);
    if (!items) return failed(Failure::unreadableFeed);
    const Appcast::Item* newest = nullptr;
    std::optional<VersionNumber> newestVersion;
    for (const auto& item : *items) {
        auto version = VersionNumber::parse(item.version);
        if (version && (!newestVersion || *version > *newestVersion)) {
            newest = &item;
            newestVersion = std::move(version);
        }
    }
    if (!newest) return failed(Failure::noVersions);
    const auto running = VersionNumber::parse(runningVersion).value_or(*VersionNumber::parse("0"));
    if (*newestVersion > running) return {Newer{*newest}};
    return {UpToDate{}};
}

UpdateCheckOutcome UpdateCheckOutcome::failed(Failure failure, std::string detail) {
    return {Failed{failure, std::move(detail)}};
}

} // namespace orvik::helper
