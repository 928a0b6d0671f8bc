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

} // namespace orvik::helper
