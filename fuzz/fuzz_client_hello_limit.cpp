// The limit on a client's first flight, read in pieces of any size: the verdict never depends on how the bytes
// arrived, and once given it stays. The first input byte chooses the piece size.
#include "orvik/protocol/transport/ClientHelloLimit.hpp"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 16U + 1U;
    const orvik::ByteView input(data + 1, size - 1);
    orvik::ClientHelloLimit whole;
    const auto once = whole.take(input);
    orvik::ClientHelloLimit split;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const auto before = split.verdict();
        const auto now = split.take(input.subspan(at, std::min(piece, input.size() - at)));
        if (before != orvik::ClientHelloLimit::Verdict::undecided && now != before) std::abort();
    }
    if (split.verdict() != once) std::abort();
    return 0;
}
