#pragma once

#include "updates/UpdateCheckOutcome.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

enum class UpdateCheckKind { userInitiated, background };

// What the user is told after a check, as plain text. A check the user asked for always says how it ended; a
// background check speaks only of a newer release.
struct UpdateMessage {
    static constexpr std::string_view windowTitle = "Software Update";
    static constexpr std::string_view downloadButton = "Download";
    static constexpr std::string_view laterButton = "Later";
    static constexpr std::string_view okButton = "OK";

    std::string text;
    // Where "Download" leads (an http or https address from the feed); empty: the box has only "OK".
    std::string downloadUrl;
    // A failed check is shown as a warning.
    bool isFailure = false;

    static std::optional<UpdateMessage> about(const UpdateCheckOutcome& outcome, UpdateCheckKind kind,
                                              std::string_view runningVersion);
    // Why a check failed, in one sentence.
    static std::string reason(const UpdateCheckOutcome::Failed& failed);

    friend bool operator==(const UpdateMessage&, const UpdateMessage&) = default;
};

} // namespace orvik::helper
