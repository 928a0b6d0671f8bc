#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

namespace orvik::helper {

// Steers a stream's bit rate from the latency of the viewer's acknowledgements: the latency is smoothed
// (0.8 old + 0.2 new); at most once a second a smoothed latency above 150 ms lowers the rate by 20 % (never
// below 1 Mbit/s) and one below 60 ms raises it by 10 % (never above 1.5 × the encoder's starting rate).
// A plain value; the stream keeps it under its lock.
class BitRateAdapter {
public:
    static constexpr int floorBitRate = 1'000'000;
    static constexpr double slowLatencyMs = 150.0;
    static constexpr double fastLatencyMs = 60.0;
    static constexpr double smoothing = 0.2;
    static constexpr std::uint64_t adjustmentSpacing = 1'000'000'000;

    // A new encoder: its starting rate, a ceiling of 1.5 × that, the smoothed latency forgotten. The time of the
    // last change is kept, so a new encoder does not reset the once-a-second limit.
    void restart(int bitRate) {
        bitRate_ = bitRate;
        maxBitRate_ = static_cast<int>(std::int64_t{bitRate} * 3 / 2);
        latency_.reset();
    }

    // One acknowledgement's latency in milliseconds at time `now` (ns); the new rate when it changes.
    std::optional<int> adapt(double latencyMs, std::uint64_t now) {
        const double smoothed = latency_ ? (1.0 - smoothing) * *latency_ + smoothing * latencyMs : latencyMs;
        latency_ = smoothed;
        if (now - lastAdjustment_ < adjustmentSpacing) return std::nullopt;
        int candidate = bitRate_;
        if (smoothed > slowLatencyMs) {
            candidate = std::max(floorBitRate, static_cast<int>(std::int64_t{bitRate_} * 4 / 5));
        } else if (smoothed < fastLatencyMs) {
            candidate = std::min(maxBitRate_, static_cast<int>(std::int64_t{bitRate_} * 11 / 10));
        }
        if (candidate == bitRate_) return std::nullopt;
        bitRate_ = candidate;
        lastAdjustment_ = now;
        return candidate;
    }

    int bitRate() const { return bitRate_; }
    std::optional<double> latency() const { return latency_; }

private:
    int bitRate_ = 0;
    int maxBitRate_ = 0;
    std::optional<double> latency_;
    std::uint64_t lastAdjustment_ = 0;
};

} // namespace orvik::helper
