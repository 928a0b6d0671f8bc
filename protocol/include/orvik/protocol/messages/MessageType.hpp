#pragma once

#include "orvik/protocol/messages/MessageList.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// The 16-bit wire code of each message (codes and families: MessageList.hpp).
enum class MessageType : std::uint16_t {
#define ORVIK_MESSAGE_CODE(name, code, ...) name = code,
    ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_CODE)
#undef ORVIK_MESSAGE_CODE
};

// Every message type in the order of the cases of OrvikMessage (its variant index).
inline constexpr std::array allMessageTypes{
#define ORVIK_MESSAGE_TYPE(name, ...) MessageType::name,
    ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_TYPE)
#undef ORVIK_MESSAGE_TYPE
};

// How the helper's command dispatch treats a message of an authenticated session (MessageList.hpp).
struct MessageRouting {
    enum class Metering { free, metered };
    enum class WhilePaused { no, yes, whenOff };
    enum class Echo { none, requestID };

    Metering metering = Metering::metered;
    WhilePaused whilePaused = WhilePaused::no;
    Echo echo = Echo::none;

    bool operator==(const MessageRouting&) const = default;
};

constexpr MessageRouting routing(MessageType type) {
    using R = MessageRouting;
    // One case per message of the list; many are alike.
    // NOLINTBEGIN(bugprone-branch-clone)
    switch (type) {
#define ORVIK_MESSAGE_ROUTING(name, code, Payload, metering, whilePaused, echo)                                        \
    case MessageType::name: return R{R::Metering::metering, R::WhilePaused::whilePaused, R::Echo::echo};
        ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_ROUTING)
#undef ORVIK_MESSAGE_ROUTING
    }
    // NOLINTEND(bugprone-branch-clone)
    return R{};
}

// The message type with this code; absent for every code that names none.
std::optional<MessageType> messageType(std::uint16_t raw);
// The message type with this case name ("pointerMove"), exactly; absent otherwise.
std::optional<MessageType> messageTypeNamed(std::string_view name);
// The case name, for example "pointerMove"; "unknown" for a value that is no message type.
const char* name(MessageType type);

} // namespace orvik
