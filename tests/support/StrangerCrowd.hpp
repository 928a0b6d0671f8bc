#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace orvik::test {

// Keyless strangers churning the helper's connections still inside TLS: from many loopback addresses in turn
// (127.1.x.y), at a steady rate, each connection sends half a ClientHello and closes after `holdFor`, or a whole
// ClientHello and then waits, reading nothing, until `holdFor` has passed, or all but the last byte of the largest
// ClientHello OpenSSL takes (junk, as long as OpenSSL accepts) or of the largest the helper takes, and then waits, or
// only the first record's header and the handshake header of OpenSSL's largest ClientHello (9 bytes) and then waits.
// On a thread of its own from construction to destruction.
class StrangerCrowd {
public:
    enum class Kind {
        halfHelloThenClose,
        wholeHelloThenWait,
        largestHelloThenWait,
        limitHelloThenWait,
        largestHeaderThenWait
    };

    struct Options {
        std::uint16_t port = 0;
        Kind kind = Kind::halfHelloThenClose;
        int addresses = 4;
        double connectsPerSecond = 400;
        std::chrono::milliseconds holdFor{500};
    };

    explicit StrangerCrowd(Options options);
    ~StrangerCrowd();
    StrangerCrowd(const StrangerCrowd&) = delete;
    StrangerCrowd& operator=(const StrangerCrowd&) = delete;

    // Connections made so far.
    std::uint64_t connects() const { return connects_; }
    // The source address of the stranger with this index.
    static std::string address(int index);

private:
    void run();
    int open(int addressIndex) const;

    Options options_;
    Bytes hello_;
    std::atomic<bool> stopping_ = false;
    std::atomic<std::uint64_t> connects_ = 0;
    std::thread thread_;
};

} // namespace orvik::test
