#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// The 16-bit wire code of each message. The high byte is the family (0x01 live input, 0x02 session and
// handshake, 0x03 commands, 0x04 status and queries, 0x05 screen viewing); within a family the codes follow
// the order of the messages in OrvikMessage.
enum class MessageType : std::uint16_t {
    pointerMove = 0x0101,
    button = 0x0102,
    scroll = 0x0103,
    key = 0x0104,
    ping = 0x0105,
    pong = 0x0106,
    pointerAbsolute = 0x0107,

    hello = 0x0201,
    helloAck = 0x0202,
    authenticate = 0x0203,
    authenticated = 0x0204,
    pairRequest = 0x0205,
    pairAccepted = 0x0206,
    error = 0x0207,
    requestUpdateCheck = 0x0208,
    unpair = 0x0209,

    text = 0x0301,
    media = 0x0302,
    volumeSet = 0x0303,
    presentation = 0x0304,
    power = 0x0305,
    appCommand = 0x0306,
    shortcutRun = 0x0307,
    sendURL = 0x0308,
    clipboardSet = 0x0309,
    overlay = 0x030A,
    commandResult = 0x030B,
    cancelSleepTimer = 0x030C,

    status = 0x0401,
    appsListRequest = 0x0402,
    appsList = 0x0403,
    appIconRequest = 0x0404,
    appIcon = 0x0405,
    runningAppsRequest = 0x0406,
    runningApps = 0x0407,
    shortcutsListRequest = 0x0408,
    shortcutsList = 0x0409,
    clipboardGet = 0x040A,
    clipboardContent = 0x040B,
    statusRequest = 0x040C,

    screenDisplaysRequest = 0x0501,
    screenDisplays = 0x0502,
    screenStart = 0x0503,
    screenStarted = 0x0504,
    screenConfigure = 0x0505,
    screenFormat = 0x0506,
    screenFrame = 0x0507,
    screenFrameAck = 0x0508,
    screenState = 0x0509,
    screenStop = 0x050A,
    screenKeyframeRequest = 0x050B,
};

// Every message type in the order of the cases of OrvikMessage (its variant index).
inline constexpr std::array<MessageType, 51> allMessageTypes{
    MessageType::pointerMove,
    MessageType::button,
    MessageType::scroll,
    MessageType::key,
    MessageType::ping,
    MessageType::pong,
    MessageType::pointerAbsolute,
    MessageType::hello,
    MessageType::helloAck,
    MessageType::authenticate,
    MessageType::authenticated,
    MessageType::pairRequest,
    MessageType::pairAccepted,
    MessageType::error,
    MessageType::text,
    MessageType::media,
    MessageType::volumeSet,
    MessageType::presentation,
    MessageType::power,
    MessageType::appCommand,
    MessageType::shortcutRun,
    MessageType::sendURL,
    MessageType::clipboardSet,
    MessageType::overlay,
    MessageType::commandResult,
    MessageType::status,
    MessageType::appsListRequest,
    MessageType::appsList,
    MessageType::appIconRequest,
    MessageType::appIcon,
    MessageType::runningAppsRequest,
    MessageType::runningApps,
    MessageType::shortcutsListRequest,
    MessageType::shortcutsList,
    MessageType::clipboardGet,
    MessageType::clipboardContent,
    MessageType::screenDisplaysRequest,
    MessageType::screenDisplays,
    MessageType::screenStart,
    MessageType::screenStarted,
    MessageType::screenConfigure,
    MessageType::screenFormat,
    MessageType::screenFrame,
    MessageType::screenFrameAck,
    MessageType::screenState,
    MessageType::requestUpdateCheck,
    MessageType::unpair,
    MessageType::cancelSleepTimer,
    MessageType::statusRequest,
    MessageType::screenStop,
    MessageType::screenKeyframeRequest,
};

// The message type with this code; absent for every code that names none.
std::optional<MessageType> messageType(std::uint16_t raw);
// The message type with this case name ("pointerMove"), exactly; absent otherwise.
std::optional<MessageType> messageTypeNamed(std::string_view name);
// The case name, for example "pointerMove"; "unknown" for a value that is no message type.
const char* name(MessageType type);

} // namespace orvik
