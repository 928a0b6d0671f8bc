#pragma once

#include "core/Date.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvik::helper {

// Throttles peer addresses that fail the handshake. Each failure locks the address out for a time that doubles
// with every further failure (0.5 s, 1 s, … up to 60 s); an address with too many failures inside a sliding
// window stays blocked while they last; a success forgets the address. Every comparison is strict and uses the
// server clock's seconds passed in as `now`; the wall-clock date only goes into the failure log.
//
// A plain value owned by the server and used on its thread only.
class HandshakeRateLimiter {
public:
    struct Entry {
        std::vector<double> failures; // clock times of recent failures, oldest first
        double blockedUntil = 0;      // locked out before this time
        std::int64_t consecutive = 0; // failures since the entry was made; only removal resets it

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    struct LoggedFailure {
        std::string address;
        Date time;

        friend bool operator==(const LoggedFailure&, const LoggedFailure&) = default;
    };

    // The log keeps this many of the newest failures of all addresses together.
    static constexpr std::size_t maxLogRecords = 50;
    // Stale entries are dropped once more than this many addresses are tracked.
    static constexpr std::size_t pruneThreshold = 256;

    explicit HandshakeRateLimiter(std::int64_t maxFailuresPerWindow = 10, double window = 60.0,
                                  double baseLockout = 0.5, double maxLockout = 60.0);

    // True when the address must not start a handshake now. Changes nothing.
    bool isBlocked(const std::string& address, double now) const;
    void recordFailure(const std::string& address, double now, Date date = std::chrono::system_clock::now());
    // Forgets the address's window, lockout and count; its log records stay.
    void recordSuccess(const std::string& address);

    const std::vector<LoggedFailure>& log() const { return log_; }
    const std::map<std::string, Entry>& entries() const { return entries_; }

    std::int64_t maxFailuresPerWindow() const { return maxFailuresPerWindow_; }
    double window() const { return window_; }
    double baseLockout() const { return baseLockout_; }
    double maxLockout() const { return maxLockout_; }

private:
    double lockout(std::int64_t consecutive) const;
    void prune(double now);

    std::int64_t maxFailuresPerWindow_;
    double window_;
    double baseLockout_;
    double maxLockout_;
    std::map<std::string, Entry> entries_;
    std::vector<LoggedFailure> log_;
};

} // namespace orvik::helper
