#include "server/CommandRouting.hpp"

namespace orvik::helper {

std::optional<std::uint32_t> requestID(const OrvikMessage& message) {
    switch (message.type()) {
    case MessageType::power: return message.get<PowerCommand>()->requestID;
    case MessageType::appCommand: return message.get<AppCommand>()->requestID;
    case MessageType::shortcutRun: return message.get<ShortcutRun>()->requestID;
    case MessageType::sendURL: return message.get<SendURL>()->requestID;
    case MessageType::clipboardSet: return message.get<ClipboardSet>()->requestID;
    case MessageType::appsListRequest: return message.get<AppsListRequest>()->requestID;
    case MessageType::appIconRequest: return message.get<AppIconRequest>()->requestID;
    case MessageType::runningAppsRequest: return message.get<RunningAppsRequest>()->requestID;
    case MessageType::shortcutsListRequest: return message.get<ShortcutsListRequest>()->requestID;
    case MessageType::clipboardGet: return message.get<ClipboardGet>()->requestID;
    default: return std::nullopt;
    }
}

bool isRateLimitedCommand(const OrvikMessage& message) {
    switch (message.type()) {
    case MessageType::pointerMove:
    case MessageType::button:
    case MessageType::scroll:
    case MessageType::key:
    case MessageType::ping:
    case MessageType::pong:
    case MessageType::pointerAbsolute:
    case MessageType::screenFrameAck:
    case MessageType::statusRequest: return false;
    default: return true;
    }
}

bool isAllowedWhilePaused(const OrvikMessage& message) {
    switch (message.type()) {
    case MessageType::overlay: return message.get<OverlayCommand>()->mode == OverlayMode::off;
    case MessageType::appsListRequest:
    case MessageType::appIconRequest:
    case MessageType::runningAppsRequest:
    case MessageType::shortcutsListRequest:
    case MessageType::cancelSleepTimer:
    case MessageType::statusRequest: return true;
    default: return false;
    }
}

} // namespace orvik::helper
