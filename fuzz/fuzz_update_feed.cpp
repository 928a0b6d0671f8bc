// Update feed: reading any document never crashes or throws; a newer release found in it carries a version that
// reads as a number above the running one; versions compare consistently (equal to themselves with a trailing
// ".0", and in reverse order when swapped).
#include "updates/UpdateCheckOutcome.hpp"
#include "updates/VersionNumber.hpp"

#include <compare>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view runningVersion = "1.2.3";

// The text with one more part, zero: spaces around a version are allowed, so it goes after the last digit.
std::string withZeroPart(std::string_view text) {
    const auto end = text.find_last_of("0123456789") + 1;
    return std::string(text.substr(0, end)) + ".0" + std::string(text.substr(end));
}

void checkVersionOrdering(std::string_view text) {
    auto version = orvik::helper::VersionNumber::parse(text);
    if (!version) return;
    auto padded = orvik::helper::VersionNumber::parse(withZeroPart(text));
    if (!padded || *padded != *version) std::abort();
    auto running = *orvik::helper::VersionNumber::parse(runningVersion);
    if ((*version <=> running) != (0 <=> (running <=> *version))) std::abort();
}

void checkOutcome(std::string_view document) {
    auto outcome = orvik::helper::UpdateCheckOutcome::fromFeed(document, runningVersion);
    auto* newer = std::get_if<orvik::helper::UpdateCheckOutcome::Newer>(&outcome.result);
    if (!newer) return;
    auto version = orvik::helper::VersionNumber::parse(newer->release.version);
    if (!version || *version <= *orvik::helper::VersionNumber::parse(runningVersion)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view document(reinterpret_cast<const char*>(data), size);
    checkOutcome(document);
    if (auto items = orvik::helper::Appcast::parse(document)) {
        for (const auto& item : *items) checkVersionOrdering(item.version);
    }
    checkVersionOrdering(document);
    return 0;
}
