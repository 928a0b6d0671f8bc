#pragma once

#include "orvik/protocol/coding/ProtocolVersion.hpp"

#include <cstdint>

namespace orvik {

// The outcome of comparing two peers' version ranges: the version both speak, or which side is too old.
class VersionNegotiation {
public:
    enum class Outcome { compatible, peerTooOld, peerTooNew };

    static VersionNegotiation compatible(std::uint16_t version) { return {Outcome::compatible, version}; }
    static VersionNegotiation peerTooOld() { return {Outcome::peerTooOld, 0}; }
    static VersionNegotiation peerTooNew() { return {Outcome::peerTooNew, 0}; }

    // v = the smaller current version; v below the local minimum: peerTooOld; v at or above the remote
    // minimum: compatible(v); otherwise peerTooNew.
    static VersionNegotiation negotiate(std::uint16_t localCurrent, std::uint16_t localMinimum,
                                        std::uint16_t remoteCurrent, std::uint16_t remoteMinimum);
    // The same with this build's own versions on the local side.
    static VersionNegotiation negotiateWithPeer(std::uint16_t remoteCurrent, std::uint16_t remoteMinimum) {
        return negotiate(ProtocolVersion::current, ProtocolVersion::minimumSupported, remoteCurrent, remoteMinimum);
    }

    Outcome outcome() const { return outcome_; }
    bool isCompatible() const { return outcome_ == Outcome::compatible; }
    // The agreed version; 0 unless compatible.
    std::uint16_t version() const { return version_; }

    friend bool operator==(const VersionNegotiation&, const VersionNegotiation&) = default;

private:
    VersionNegotiation(Outcome outcome, std::uint16_t version) : outcome_(outcome), version_(version) {}

    Outcome outcome_;
    std::uint16_t version_;
};

} // namespace orvik
