#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"

#include <cstdint>

namespace orvik::helper {

// The media-key codes the input sink posts (the Mac's auxiliary-control key codes).
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
};

} // namespace orvik::helper
