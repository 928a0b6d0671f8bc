#pragma once

#include "screen/ScreenServices.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace orvik::testserver {

// The test server's screen viewing, chosen on the command line: `--screen x11` serves the real stream pipeline
// (capture, encoder, fragments, acks) over the displays of $DISPLAY, `--screen synthetic` over a synthetic one;
// `--screen-approval` answers the local user's question (once, always, deny, or never answered). Without `--screen` the
// server offers no screen viewing. The streams it makes stay visible (weakly) so their bit rates can be printed.
class ScreenBackend {
public:
    enum class Parsed { notMine, taken, bad };
    using NextValue = std::function<std::optional<std::string_view>()>;

    static constexpr std::string_view usage =
        "\nScreen viewing:\n"
        "  --screen x11|synthetic          offer screen viewing of the X display or of a synthetic one\n"
        "  --screen-approval once|always|deny|never\n"
        "                                  answer to screen-viewing questions (default once)\n";

    // Takes `argument` (and its value through `next`) when it is one of the screen options.
    Parsed parse(std::string_view argument, const NextValue& next);
    bool enabled() const { return source_.has_value(); }
    // The screen services to hand to the server; absent without `--screen`.
    std::shared_ptr<const helper::ScreenServices> services() const;
    // The bit rate of every stream that still exists, in the order they were made; any thread.
    std::vector<int> bitRates() const;

private:
    enum class Source { synthetic, x11 };
    struct Streams {
        std::mutex mutex;
        std::vector<std::weak_ptr<helper::ScreenStream>> made;
    };
    std::optional<Source> source_;
    std::shared_ptr<Streams> streams_ = std::make_shared<Streams>();
    std::optional<helper::ScreenViewingDecision> answer_ = helper::ScreenViewingDecision::allowOnce;
};

} // namespace orvik::testserver
