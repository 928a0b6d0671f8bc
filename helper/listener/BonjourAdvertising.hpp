#pragma once

#include <asio/any_io_executor.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace orvik::helper {

// One DNS-SD service as it is published on the local network.
struct BonjourService {
    std::string name; // empty: the host's own name, chosen by the daemon
    std::string type; // "_orvik._tcp"
    std::uint16_t port = 0;
    std::map<std::string, std::string> txt; // TXT record, one "key=value" string per entry

    friend bool operator==(const BonjourService&, const BonjourService&) = default;
};

// What became of the current advertisement.
struct BonjourState {
    enum class Kind {
        registered,        // published; `name` is the name in use (after a collision, the alternative one)
        daemonUnavailable, // no mDNS daemon to talk to; the advertiser registers as soon as one appears
        failed,            // the daemon refused the service; `detail` says why
    };
    Kind kind = Kind::failed;
    std::string name;
    std::string detail;
    std::string hostName; // registered: the daemon's host name (first label; it may be renamed on a conflict)

    friend bool operator==(const BonjourState&, const BonjourState&) = default;
};

// Publishes one service at a time. Every call and every state callback happens on the executor the advertiser
// was made with (the server's executor), so the owner needs no lock. A new `advertise` replaces the previous
// service; after `withdraw` or a new `advertise`, no callback of the earlier advertisement is delivered.
class BonjourAdvertising {
public:
    using StateHandler = std::function<void(const BonjourState&)>;

    virtual ~BonjourAdvertising() = default;

    virtual void advertise(BonjourService service, StateHandler onState) = 0;
    virtual void withdraw() = 0;
};

// Makes an advertiser whose callbacks arrive on the given executor.
using BonjourAdvertiserFactory = std::function<std::unique_ptr<BonjourAdvertising>(asio::any_io_executor)>;

} // namespace orvik::helper
