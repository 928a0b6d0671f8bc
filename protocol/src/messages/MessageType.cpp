#include "orvik/protocol/messages/MessageType.hpp"

#include "MessageTypeIndex.hpp"

namespace orvik {

namespace {
// Case names in the order of allMessageTypes.
constexpr std::array<const char*, allMessageTypes.size()> caseNames{
    "pointerMove",
    "button",
    "scroll",
    "key",
    "ping",
    "pong",
    "pointerAbsolute",
    "hello",
    "helloAck",
    "authenticate",
    "authenticated",
    "pairRequest",
    "pairAccepted",
    "error",
    "text",
    "media",
    "volumeSet",
    "presentation",
    "power",
    "appCommand",
    "shortcutRun",
    "sendURL",
    "clipboardSet",
    "overlay",
    "commandResult",
    "status",
    "appsListRequest",
    "appsList",
    "appIconRequest",
    "appIcon",
    "runningAppsRequest",
    "runningApps",
    "shortcutsListRequest",
    "shortcutsList",
    "clipboardGet",
    "clipboardContent",
    "screenDisplaysRequest",
    "screenDisplays",
    "screenStart",
    "screenStarted",
    "screenConfigure",
    "screenFormat",
    "screenFrame",
    "screenFrameAck",
    "screenState",
    "requestUpdateCheck",
    "unpair",
    "cancelSleepTimer",
    "statusRequest",
    "screenStop",
    "screenKeyframeRequest",
};
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
