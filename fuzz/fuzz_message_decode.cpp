// Any type code and payload through OrvikMessage::decode. Whatever decodes must frame again, decode to the same
// message and frame to the same bytes, and have a JSON form that reads back to it.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstddef>
#include <cstdint>

using namespace orvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    Frame frame{static_cast<std::uint16_t>(data[0] << 8 | data[1]), 0, Bytes(data + 2, data + size)};
    std::optional<OrvikMessage> message;
    try {
        message = OrvikMessage::decode(frame);
    } catch (const DecodingError&) {
        return 0;
    }

    auto reframed = message->frame();
    if (!reframed) __builtin_trap();
    auto again = OrvikMessage::decode(*reframed);
    if (again.frame() != reframed) __builtin_trap();
    // A NaN in a binary layout makes a message unequal to itself; its bytes were compared above.
    const bool comparable = *message == *message;
    if (comparable && again != *message) __builtin_trap();

    // Whatever the wire carries, the JSON form carries too (toJson throws only for what cannot travel).
    auto json = toJson(*message);
    auto read = messageFromJson(json);
    if (comparable ? read != *message : toJson(read) != json) __builtin_trap();
    return 0;
}
