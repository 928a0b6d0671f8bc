#pragma once

#include "listener/BonjourAdvertising.hpp"

#include <asio/any_io_executor.hpp>

#include <memory>

namespace orvik::helper {

// Publishes the service through avahi-daemon (the Avahi client library over the system D-Bus). The library runs
// on its own threaded poll; every state report is brought back onto the owner's executor. When no daemon runs,
// the advertiser reports `daemonUnavailable` and registers as soon as one appears; on a name collision it takes
// the alternative name Avahi offers.
class AvahiAdvertiser final : public BonjourAdvertising {
public:
    explicit AvahiAdvertiser(asio::any_io_executor executor);
    ~AvahiAdvertiser() override;

    AvahiAdvertiser(const AvahiAdvertiser&) = delete;
    AvahiAdvertiser& operator=(const AvahiAdvertiser&) = delete;

    void advertise(BonjourService service, StateHandler onState) override;
    void withdraw() override;

    static BonjourAdvertiserFactory factory();

    class Engine;

private:
    std::shared_ptr<Engine> engine_;
};

} // namespace orvik::helper
