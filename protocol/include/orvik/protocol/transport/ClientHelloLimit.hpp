#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvik {

// Reads the start of a client's first flight before OpenSSL does. OpenSSL allocates and zeroes the whole length a
// ClientHello's handshake header announces (up to 128 KiB) as soon as those four bytes are in, and holds it while
// the rest trickles in: a stranger sending nine bytes would cost the server that much per connection. So the records
// that carry the handshake header, and the header itself, must announce at most `maxLength` bytes, which one record
// holds; the header may come split over several records, each of which is checked. A phone's ClientHello is a few
// hundred bytes; one offering TLS 1.3 beside 1.2 with a post-quantum key share, about 2 KB.
class ClientHelloLimit {
public:
    // TLS's largest plaintext record (2^14 bytes).
    static constexpr std::size_t maxLength = 16 * 1024;

    enum class Verdict { undecided, withinLimit, refused };

    // Takes the next bytes received, in order. Once decided, later bytes change nothing. Refused besides the two
    // lengths: a record other than a handshake record, an empty one, and a first message that is no ClientHello
    // (OpenSSL would refuse each of them as well).
    Verdict take(ByteView bytes);
    Verdict verdict() const { return verdict_; }

private:
    static constexpr std::size_t recordHeaderLength = 5;
    static constexpr std::size_t handshakeHeaderLength = 4;

    void recordHeaderComplete();
    void handshakeHeaderComplete();

    Verdict verdict_ = Verdict::undecided;
    std::array<std::uint8_t, recordHeaderLength> record_{};
    std::size_t recordFilled_ = 0;
    // Bytes of the current record's body not yet seen; 0 between records.
    std::size_t recordLeft_ = 0;
    std::array<std::uint8_t, handshakeHeaderLength> handshake_{};
    std::size_t handshakeFilled_ = 0;
};

} // namespace orvik
