// Any type code and payload through OrvikMessage::decode. Whatever decodes must frame again, decode to the same
// message and frame to the same bytes, and survive its JSON form.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

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

    try {
        auto json = toJson(*message);
        if (comparable && messageFromJson(json) != *message) __builtin_trap();
    } catch (const std::invalid_argument&) {
        if (comparable) __builtin_trap();
    }
    return 0;
}
