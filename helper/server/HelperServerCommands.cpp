#include "server/HelperServer.hpp"

#include "core/CallbackAwait.hpp"
#include "core/UnicodeText.hpp"
#include "injection/MediaKeyEncoding.hpp"
#include "injection/TextTyping.hpp"
#include "server/CommandRouting.hpp"
#include "server/ServerCommandSession.hpp"
#include "server/SystemControlling.hpp"

#include <memory>

namespace orvik::helper {

namespace {

// The input family (high byte 0x01) without ping and pong: pointer, buttons, scroll, keys.
constexpr std::uint16_t liveInputFamily = 0x01;

bool isLiveInput(const OrvikMessage& message) {
    const auto type = message.type();
    return static_cast<std::uint16_t>(type) >> 8 == liveInputFamily && type != MessageType::ping &&
           type != MessageType::pong;
}

} // namespace

bool HelperServer::canInject() const {
    return !isPaused_ && services_.canPostEvents();
}

asio::awaitable<void> HelperServer::handleCommand(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    // The hot path first: live input is never metered and never a screen message.
    if (isLiveInput(message)) {
        handleLiveInput(message);
        co_return;
    }
    if (isRateLimitedCommand(message) && !takeCommandToken(sessionID)) {
        reply(message, sessionID, ErrorCode::rateLimited);
        co_return;
    }
    const bool screenMessage = co_await viewers_.handleScreenMessage(message, sessionID, deviceID);
    if (screenMessage) co_return;
    const bool handledInPlace = co_await handleInPlace(message, sessionID, deviceID);
    if (handledInPlace) co_return;
    if (isPaused_ && !isAllowedWhilePaused(message)) {
        reply(message, sessionID, ErrorCode::paused);
        co_return;
    }
    co_await handleBySystem(message, sessionID);
}

void HelperServer::handleLiveInput(const OrvikMessage& message) {
    if (!canInject()) return;
    if (auto* move = message.get<PointerMove>()) {
        input_.movePointer(move->dx, move->dy);
    } else if (auto* button = message.get<ButtonEvent>()) {
        input_.handleButton(*button);
    } else if (auto* scroll = message.get<ScrollEvent>()) {
        input_.setScrollMode(preferences_.scrollMode);
        input_.scroll(*scroll);
    } else if (auto* key = message.get<KeyEvent>()) {
        input_.key(*key);
    } else if (auto* pointer = message.get<PointerAbsolute>()) {
        input_.movePointerAbsolute(*pointer);
    }
}

asio::awaitable<bool> HelperServer::handleInPlace(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    if (auto* text = message.get<TextInput>()) {
        if (!canInject()) co_return true;
        if (UnicodeText::hasMoreCharactersThan(UnicodeText::fromUtf8(text->text), maxTextLength)) {
            send(ErrorMessage{ErrorCode::invalidRequest, "text too long", std::nullopt}, sessionID);
            co_return true;
        }
        co_await insertText(*text);
    } else if (message.get<Hello>() || message.get<Authenticate>() || message.get<PairRequest>()) {
        send(ErrorMessage{ErrorCode::invalidRequest, std::nullopt, std::nullopt}, sessionID);
    } else if (message.get<RequestUpdateCheck>()) {
        auto check = services_.requestUpdateCheck;
        co_await awaitCompletion(check);
    } else if (message.get<Unpair>()) {
        removeDevice(deviceID);
    } else if (message.get<StatusRequest>()) {
        send(currentStatus(), sessionID);
    } else {
        co_return false;
    }
    co_return true;
}

asio::awaitable<void> HelperServer::handleBySystem(const OrvikMessage& message, Uuid sessionID) {
    auto system = services_.system;
    if (!system) {
        reply(message, sessionID, ErrorCode::unsupported);
        co_return;
    }
    // The handler may finish on another thread; this session reads its next message only afterwards.
    auto session = std::make_shared<ServerCommandSession>(weak_from_this(), executor_, sessionID, pasteboard_);
    auto handle = [system, session, message](std::function<void()> done) {
        system->handle(message, session, std::move(done));
    };
    co_await awaitCompletion(std::move(handle));
}

bool HelperServer::takeCommandToken(const Uuid& sessionID) {
    auto* session = findSession(sessionID);
    return session && session->commands.take(clock_());
}

asio::awaitable<void> HelperServer::insertText(TextInput input) {
    if (TextTyping::shouldPaste(input.text, input.mode)) {
        co_await pasteFlow_.paste(std::move(input.text));
        co_return;
    }
    // Typed in one go, without suspending: no other message is handled in the middle of a text.
    for (const auto& segment : TextTyping::segments(input.text)) {
        if (auto* key = std::get_if<TextTyping::Segment::Key>(&segment.value)) {
            input_.press(KeyCombo{key->key, ModifierFlags{}});
        } else if (auto* text = std::get_if<TextTyping::Segment::Text>(&segment.value)) {
            input_.typeUnicode(text->units);
        }
    }
}

bool HelperServer::press(const KeyCombo& combo) {
    if (!canInject()) return false;
    input_.press(combo);
    return true;
}

void HelperServer::postMediaKey(MediaKey key) {
    if (!canInject()) return;
    const auto code = MediaKeyEncoding::key(key);
    sink_->postMediaKey(code, true);
    sink_->postMediaKey(code, false);
}

void HelperServer::reply(const OrvikMessage& message, const Uuid& sessionID, ErrorCode error,
                         std::optional<std::string> detail) {
    if (auto id = requestID(message)) {
        send(CommandResult{*id, error, std::move(detail)}, sessionID);
    } else {
        send(ErrorMessage{error, std::move(detail), std::nullopt}, sessionID);
    }
}

void HelperServer::reply(std::uint32_t requestID, const Uuid& sessionID, const CommandOutcome& outcome) {
    CommandResult result{requestID, std::nullopt, std::nullopt};
    if (outcome.reason) {
        result.error = outcome.reason->code;
        result.detail = outcome.reason->detail;
    }
    send(result, sessionID);
}

} // namespace orvik::helper
