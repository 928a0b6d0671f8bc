#include "orvik/protocol/transport/ReceivedMessage.hpp"

namespace orvik {

ReceivedMessage ReceivedMessage::decode(const Frame& frame) {
    try {
        return OrvikMessage::decode(frame);
    } catch (const DecodingError& error) {
        return Undecodable{frame.type, error};
    }
}

} // namespace orvik
