// Feeds a stream of arbitrary fragments to a ScreenFrameAssembler. Every frame it returns must respect the limits,
// and cut into fragments again and fed to a fresh assembler must come back unchanged.
#include "orvik/protocol/messages/EncodedScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

#include <cstddef>
#include <cstdint>

using namespace orvik;

namespace {
constexpr std::size_t recordSize = 7;

// One fragment from 7 bytes: sequence step, flags, index, count, capture time, data size (in 1,031-byte units,
// so that sizes around the 262,144-byte limit are reachable), data fill.
ScreenFrame fragmentFrom(const std::uint8_t* record, std::uint32_t& sequence) {
    sequence += static_cast<std::int8_t>(record[0]);
    ScreenFrame fragment;
    fragment.sequence = sequence;
    fragment.isKeyframe = record[1] & 1;
    fragment.fragmentIndex = record[2];
    fragment.fragmentCount = record[3];
    fragment.captureTime = record[1] >> 1;
    fragment.data.assign(static_cast<std::size_t>(record[4]) * 1031 + record[5], record[6]);
    return fragment;
}

void checkFrame(const EncodedScreenFrame& frame) {
    if (frame.data.size() > EncodedScreenFrame::maxBytes) __builtin_trap();
    if (frame.data.empty()) return;
    auto fragments = frame.fragments();
    if (!fragments) __builtin_trap();
    ScreenFrameAssembler fresh;
    std::optional<EncodedScreenFrame> again;
    for (auto it = fragments->rbegin(); it != fragments->rend(); ++it) {
        if (again) __builtin_trap();
        again = fresh.add(*it);
    }
    if (!again || *again != frame) __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScreenFrameAssembler assembler;
    std::uint32_t sequence = 0xFFFF'FFF0;
    std::optional<std::uint32_t> lastDelivered;
    for (std::size_t offset = 0; offset + recordSize <= size; offset += recordSize) {
        auto frame = assembler.add(fragmentFrom(data + offset, sequence));
        if (!frame) continue;
        // A frame is delivered once, and never one older than the last delivered.
        if (lastDelivered && !ScreenFrameAssembler::isNewer(frame->sequence, *lastDelivered)) __builtin_trap();
        lastDelivered = frame->sequence;
        checkFrame(*frame);
    }
    return 0;
}
