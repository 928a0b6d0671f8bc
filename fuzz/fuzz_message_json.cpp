// Any text as a JSON message envelope through messageFromJson. Whatever reads must frame, decode from its frame
// to the same message, and read back from its own JSON form.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstddef>
#include <cstdint>

using namespace orvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto json = nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) return 0;
    std::optional<OrvikMessage> message;
    try {
        message = messageFromJson(json);
    } catch (const DecodingError&) {
        return 0;
    }

    // Only a binary layout's float read from "NaN" makes a message unequal to itself; then the forms are compared.
    const bool comparable = *message == *message;
    auto form = toJson(*message);
    auto read = messageFromJson(form);
    if (comparable ? read != *message : toJson(read) != form) __builtin_trap();
    auto frame = message->frame();
    if (!frame) {
        // Only a payload over the frame limit may fail to frame, and a fuzz input is far smaller.
        __builtin_trap();
    }
    auto decoded = OrvikMessage::decode(*frame);
    if (comparable ? decoded != *message : decoded.frame() != frame) __builtin_trap();
    return 0;
}
