#include "orvik/protocol/messages/MessageType.hpp"

#include "MessageTypeIndex.hpp"

namespace orvik {

namespace {
// Case names in the order of allMessageTypes.
constexpr std::array caseNames{
#define ORVIK_MESSAGE_NAME(name, ...) #name,
    ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_NAME)
#undef ORVIK_MESSAGE_NAME
};

// Two rows of the list with one code would make one of them unreachable.
constexpr bool codesAreDistinct() {
    for (std::size_t a = 0; a < allMessageTypes.size(); ++a) {
        for (std::size_t b = a + 1; b < allMessageTypes.size(); ++b) {
            if (allMessageTypes[a] == allMessageTypes[b]) return false;
        }
    }
    return true;
}
static_assert(codesAreDistinct());
} // namespace

std::optional<std::size_t> caseIndex(std::uint16_t raw) {
    for (std::size_t index = 0; index < allMessageTypes.size(); ++index) {
        if (static_cast<std::uint16_t>(allMessageTypes[index]) == raw) return index;
    }
    return std::nullopt;
}

std::optional<MessageType> messageType(std::uint16_t raw) {
    if (auto index = caseIndex(raw)) return allMessageTypes[*index];
    return std::nullopt;
}

std::optional<MessageType> messageTypeNamed(std::string_view name) {
    for (std::size_t index = 0; index < caseNames.size(); ++index) {
        if (name == caseNames[index]) return allMessageTypes[index];
    }
    return std::nullopt;
}

const char* name(MessageType type) {
    if (auto index = caseIndex(static_cast<std::uint16_t>(type))) return caseNames[*index];
    return "unknown";
}

} // namespace orvik
