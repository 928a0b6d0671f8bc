#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"

#include <cstdint>

namespace orvik::helper {

// The media-key codes the input sink posts (the Mac's auxiliary-control key codes) and the data word of a Mac
// system-defined media-key event.
class MediaKeyEncoding {
public:
    MediaKeyEncoding() = delete;

    static constexpr std::int32_t soundUp = 0;
    static constexpr std::int32_t soundDown = 1;
    static constexpr std::int32_t mute = 7;
    static constexpr std::int32_t play = 16;
    static constexpr std::int32_t next = 17;
    static constexpr std::int32_t previous = 18;

    static std::int32_t key(MediaKey mediaKey);
    // Bits 16 to 31 hold the code, bits 8 to 15 hold 0x0A (down) or 0x0B (up), bits 0 to 7 are 0.
    static std::int64_t data1(std::int32_t key, bool isDown);
};

} // namespace orvik::helper
