#pragma once

#include "listener/BonjourAdvertising.hpp"

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace orvik::helper {

// The recording double of Bonjour advertising: advertisers made by `factory()` write every call here, and a test
// plays the daemon's part with `report`. Thread-safe.
class BonjourRecorder : public std::enable_shared_from_this<BonjourRecorder> {
public:
    struct Call {
        enum class Kind { advertise, withdraw };
        Kind kind = Kind::advertise;
        BonjourService service; // empty for withdraw

        friend bool operator==(const Call&, const Call&) = default;
    };

    static std::shared_ptr<BonjourRecorder> make();

    BonjourAdvertiserFactory factory();

    std::vector<Call> calls() const;
    // The service published now, absent when nothing is advertised.
    std::optional<BonjourService> current() const;
    // Hands a state to the current advertisement's handler on its advertiser's executor; nothing when none.
    void report(BonjourState state);

private:
    class Advertiser;
    friend class Advertiser;

    BonjourRecorder() = default;

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::optional<BonjourService> current_;
    std::optional<asio::any_io_executor> executor_;
    BonjourAdvertising::StateHandler handler_;
    std::uint64_t generation_ = 0;
};

} // namespace orvik::helper
