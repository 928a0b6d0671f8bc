#include "orvik/protocol/transport/ClientHelloLimit.hpp"

#include <algorithm>

namespace orvik {

namespace {

constexpr std::uint8_t handshakeRecord = 22;
constexpr std::uint8_t clientHello = 1;

} // namespace

ClientHelloLimit::Verdict ClientHelloLimit::take(ByteView bytes) {
    while (verdict_ == Verdict::undecided && !bytes.empty()) {
        if (recordLeft_ == 0) {
            record_[recordFilled_++] = bytes.front();
            bytes = bytes.subspan(1);
            if (recordFilled_ == recordHeaderLength) recordHeaderComplete();
            continue;
        }
        const auto taken = std::min({recordLeft_, bytes.size(), handshakeHeaderLength - handshakeFilled_});
        std::copy_n(bytes.begin(), taken, handshake_.begin() + static_cast<std::ptrdiff_t>(handshakeFilled_));
        handshakeFilled_ += taken;
        recordLeft_ -= taken;
        bytes = bytes.subspan(taken);
        if (handshakeFilled_ == handshakeHeaderLength) handshakeHeaderComplete();
    }
    return verdict_;
}

void ClientHelloLimit::recordHeaderComplete() {
    recordFilled_ = 0;
    const std::size_t length = static_cast<std::size_t>(record_[3]) << 8 | record_[4];
    if (record_[0] != handshakeRecord || length == 0 || length > maxLength) {
        verdict_ = Verdict::refused;
        return;
    }
    recordLeft_ = length;
}

void ClientHelloLimit::handshakeHeaderComplete() {
    const std::size_t length =
        static_cast<std::size_t>(handshake_[1]) << 16 | static_cast<std::size_t>(handshake_[2]) << 8 | handshake_[3];
    verdict_ = handshake_[0] == clientHello && length <= maxLength ? Verdict::withinLimit : Verdict::refused;
}

} // namespace orvik
