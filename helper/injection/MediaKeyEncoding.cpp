#include "injection/MediaKeyEncoding.hpp"

namespace orvik::helper {

std::int32_t MediaKeyEncoding::key(MediaKey mediaKey) {
    switch (mediaKey) {
    case MediaKey::playPause: return play;
    case MediaKey::next: return next;
    case MediaKey::previous: return previous;
    case MediaKey::volumeUp: return soundUp;
    case MediaKey::volumeDown: return soundDown;
    case MediaKey::mute: return mute;
    }
    return play;
}

std::int64_t MediaKeyEncoding::data1(std::int32_t key, bool isDown) {
    constexpr std::uint32_t keyDownState = 0x0A;
    constexpr std::uint32_t keyUpState = 0x0B;
    // In 32-bit arithmetic, then widened with its sign.
    std::uint32_t state = isDown ? keyDownState : keyUpState;
    std::uint32_t word = (static_cast<std::uint32_t>(key) << 16) | (state << 8);
    return static_cast<std::int32_t>(word);
}

} // namespace orvik::helper
