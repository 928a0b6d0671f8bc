#pragma once

#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/messages/CommandMessages.hpp"
#include "orvik/protocol/messages/ErrorMessage.hpp"
#include "orvik/protocol/messages/HandshakeMessages.hpp"
#include "orvik/protocol/messages/HelperStatus.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"
#include "orvik/protocol/messages/MessageType.hpp"
#include "orvik/protocol/messages/QueryMessages.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "orvik/protocol/messages/SignalMessages.hpp"

#include <optional>
#include <type_traits>
#include <variant>

namespace orvik {

// Every protocol message: one payload type per case, the variant index being the case's position in
// allMessageTypes. The payloads of pointerMove, button, scroll, key, ping, pong, pointerAbsolute, screenFrame
// and screenFrameAck are fixed binary layouts; those of the signal messages (SignalMessages.hpp) are empty; all
// others are UTF-8 JSON objects.
struct OrvikMessage {
    using Variant =
        std::variant<PointerMove, ButtonEvent, ScrollEvent, KeyEvent, Ping, Pong, PointerAbsolute, Hello, HelloAck,
                     Authenticate, Authenticated, PairRequest, PairAccepted, ErrorMessage, TextInput, MediaCommand,
                     VolumeSet, PresentationCommand, PowerCommand, AppCommand, ShortcutRun, SendURL, ClipboardSet,
                     OverlayCommand, CommandResult, HelperStatus, AppsListRequest, AppsList, AppIconRequest, AppIcon,
                     RunningAppsRequest, RunningApps, ShortcutsListRequest, ShortcutsList, ClipboardGet,
                     ClipboardContent, ScreenDisplaysRequest, ScreenDisplays, ScreenStart, ScreenStarted,
                     ScreenConfigure, ScreenFormat, ScreenFrame, ScreenFrameAck, ScreenState, RequestUpdateCheck,
                     Unpair, CancelSleepTimer, StatusRequest, ScreenStop, ScreenKeyframeRequest>;

    template <class T> static constexpr bool isPayload = []<std::size_t... I>(std::index_sequence<I...>) {
        return (std::is_same_v<T, std::variant_alternative_t<I, Variant>> || ...);
    }
    (std::make_index_sequence<std::variant_size_v<Variant>>());

    Variant value;

    template <class T>
    requires isPayload<std::remove_cvref_t<T>> OrvikMessage(T&& payload)
        : value(std::in_place_type<std::remove_cvref_t<T>>, std::forward<T>(payload)) {}

    MessageType type() const { return allMessageTypes[value.index()]; }

    template <class T> const T* get() const { return std::get_if<T>(&value); }

    // Absent when the message cannot be put on the wire: a payload above FrameHeader::maxPayloadLength, or a
    // JSON payload holding a non-finite number, text that is not UTF-8 or an enumeration value outside its cases.
    std::optional<Frame> frame() const;

    // Throws DecodingError: unknownMessageType for a code that names no message; unexpectedLength for a payload
    // above the frame limit, a binary payload of the wrong length or a non-empty payload of a signal message;
    // otherwise as the payload's decoder.
    static OrvikMessage decode(const Frame& frame);

    friend bool operator==(const OrvikMessage&, const OrvikMessage&) = default;
};

static_assert(std::variant_size_v<OrvikMessage::Variant> == allMessageTypes.size());

} // namespace orvik
