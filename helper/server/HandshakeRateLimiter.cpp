#include "server/HandshakeRateLimiter.hpp"

#include <algorithm>
#include <cmath>

namespace orvik::helper {

HandshakeRateLimiter::HandshakeRateLimiter(std::int64_t maxFailuresPerWindow, double window, double baseLockout,
                                           double maxLockout)
    : maxFailuresPerWindow_(maxFailuresPerWindow), window_(window), baseLockout_(baseLockout), maxLockout_(maxLockout) {
}

bool HandshakeRateLimiter::isBlocked(const std::string& address, double now) const {
    auto found = entries_.find(address);
    if (found == entries_.end()) return false;
    const Entry& entry = found->second;
    if (now < entry.blockedUntil) return true;
    auto recent =
        std::count_if(entry.failures.begin(), entry.failures.end(), [&](double time) { return now - time < window_; });
    return recent >= maxFailuresPerWindow_;
}

void HandshakeRateLimiter::recordFailure(const std::string& address, double now, Date date) {
    Entry entry = entries_.count(address) ? entries_.at(address) : Entry{};
    std::erase_if(entry.failures, [&](double time) { return !(now - time < window_); });
    entry.failures.push_back(now);
    entry.consecutive += 1;
    entry.blockedUntil = now + lockout(entry.consecutive);
    entries_[address] = std::move(entry);

    log_.push_back({address, date});
    if (log_.size() > maxLogRecords) log_.erase(log_.begin(), log_.end() - maxLogRecords);
    prune(now);
}

void HandshakeRateLimiter::recordSuccess(const std::string& address) {
    entries_.erase(address);
}

double HandshakeRateLimiter::lockout(std::int64_t consecutive) const {
    // Past 2^64 the doubling is far beyond any maximum; capping the exponent keeps the power finite.
    constexpr std::int64_t maxExponent = 64;
    auto exponent = std::min<std::int64_t>(consecutive - 1, maxExponent);
    return std::min(baseLockout_ * std::ldexp(1.0, static_cast<int>(exponent)), maxLockout_);
}

void HandshakeRateLimiter::prune(double now) {
    if (entries_.size() <= pruneThreshold) return;
    std::erase_if(entries_, [&](const auto& item) {
        const Entry& entry = item.second;
        double lastFailure = entry.failures.empty() ? 0 : entry.failures.back();
        bool recent = now - lastFailure < window_;
        bool lockedOut = now < entry.blockedUntil;
        return !recent && !lockedOut;
    });
}

} // namespace orvik::helper
