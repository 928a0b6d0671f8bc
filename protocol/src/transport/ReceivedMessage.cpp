#include "orvik/protocol/transport/ReceivedMessage.hpp"

namespace orvik {

ReceivedMessage ReceivedMessage::decode(const Frame& frame) {
    try {
        return OrvikMessage::decode(frame);
    } catch (const DecodingError& error) {
        return Undecodable{frame.type, error};
    } catch (const std::exception& error) {
        // Whatever a peer sends must not end the reader; a decoder that fails otherwise still refused it.
        return Undecodable{frame.type, DecodingError::malformedPayload(error.what())};
    }
}

} // namespace orvik
