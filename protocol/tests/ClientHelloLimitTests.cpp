#include "orvik/protocol/transport/ClientHelloLimit.hpp"

#include <gtest/gtest.h>

using namespace orvik;
using Verdict = ClientHelloLimit::Verdict;

namespace {

struct FirstFlight {
    const char* what;
    Bytes bytes;
    Verdict verdict;
};

// Record headers (type, version, length) and the handshake header (type, 24-bit length) they carry.
const FirstFlight flights[] = {
    {"a phone's hello", {22, 3, 1, 0x00, 0xB0, 1, 0x00, 0x00, 0xAC}, Verdict::withinLimit},
    {"the largest hello OpenSSL takes", {22, 3, 1, 0x40, 0x00, 1, 0x02, 0x01, 0x44}, Verdict::refused},
    {"a hello of the limit", {22, 3, 1, 0x40, 0x00, 1, 0x00, 0x40, 0x00}, Verdict::withinLimit},
    {"a hello a byte over it", {22, 3, 1, 0x40, 0x00, 1, 0x00, 0x40, 0x01}, Verdict::refused},
    {"a record a byte over it", {22, 3, 1, 0x40, 0x01}, Verdict::refused},
    {"the header over two records", {22, 3, 1, 0, 1, 1, 22, 3, 1, 0, 3, 0x02, 0x01, 0x44}, Verdict::refused},
    {"a small header over two records", {22, 3, 1, 0, 2, 1, 0, 22, 3, 1, 0, 2, 1, 0}, Verdict::withinLimit},
    {"a second record over the limit", {22, 3, 1, 0, 1, 1, 22, 3, 1, 0x40, 0x01}, Verdict::refused},
    {"application data first", {23, 3, 3, 0, 5}, Verdict::refused},
    {"an empty record", {22, 3, 1, 0, 0}, Verdict::refused},
    {"another handshake message", {22, 3, 1, 0, 4, 2, 0, 0, 0}, Verdict::refused},
    {"a header not yet whole", {22, 3, 1, 0x40, 0x00, 1, 0x02, 0x01}, Verdict::undecided},
};

} // namespace

// Decided from the headers alone, whichever way the bytes arrive: whole, or one at a time.
TEST(ClientHelloLimit, TheRecordsAndTheHandshakeHeaderMayAnnounceOneRecordAtMost) {
    for (const auto& flight : flights) {
        SCOPED_TRACE(flight.what);
        ClientHelloLimit whole;
        EXPECT_EQ(whole.take(flight.bytes), flight.verdict);
        ClientHelloLimit trickled;
        for (auto byte : flight.bytes) trickled.take(ByteView(&byte, 1));
        EXPECT_EQ(trickled.verdict(), flight.verdict);
        // What follows a decision changes nothing.
        EXPECT_EQ(whole.take(Bytes(8, 0xFF)), flight.verdict == Verdict::undecided ? Verdict::refused : flight.verdict);
    }
}
