#include "server/HelperServer.hpp"

#include "core/CallbackAwait.hpp"
#include "server/CommandRouting.hpp"
#include "server/SystemControlling.hpp"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

namespace orvik::helper {

namespace {

// Counts user-perceived characters (extended grapheme clusters), stopping once `limit` is passed.
std::size_t characterCount(std::string_view text, std::size_t limit) {
    UErrorCode status = U_ZERO_ERROR;
    auto units = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    std::unique_ptr<icu::BreakIterator> clusters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !clusters) return static_cast<std::size_t>(units.countChar32());
    clusters->setText(units);
    std::size_t count = 0;
    for (auto boundary = clusters->next(); boundary != icu::BreakIterator::DONE && count <= limit;
         boundary = clusters->next()) {
        ++count;
    }
    return count;
}

// Text and the housekeeping messages are served before the pause gate.
bool isHandledInPlace(const OrvikMessage& message) {
    switch (message.type()) {
    case MessageType::text:
    case MessageType::hello:
    case MessageType::authenticate:
    case MessageType::pairRequest:
    case MessageType::requestUpdateCheck:
    case MessageType::unpair:
    case MessageType::statusRequest: return true;
    default: return false;
    }
}

} // namespace

bool HelperServer::canInject() const {
    return !isPaused_ && services_.canPostEvents();
}

asio::awaitable<void> HelperServer::handleCommand(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    if (isRateLimitedCommand(message) && !takeCommandToken(sessionID)) {
        reply(message, sessionID, ErrorCode::rateLimited);
        co_return;
    }
    const bool screenMessage = co_await handleScreenMessage(message, sessionID, deviceID);
    if (screenMessage) co_return;
    if (handleLiveInput(message)) co_return;
    if (isHandledInPlace(message)) {
        co_await handleInPlace(message, sessionID, deviceID);
        co_return;
    }
    if (isPaused_ && !isAllowedWhilePaused(message)) {
        reply(message, sessionID, ErrorCode::paused);
        co_return;
    }
    co_await handleBySystem(message, sessionID);
}

bool HelperServer::handleLiveInput(const OrvikMessage& message) {
    if (auto* move = message.get<PointerMove>()) {
        if (canInject()) input_.movePointer(move->dx, move->dy);
    } else if (auto* button = message.get<ButtonEvent>()) {
        if (canInject()) input_.handleButton(*button);
    } else if (auto* scroll = message.get<ScrollEvent>()) {
        if (canInject()) {
            input_.setScrollMode(preferences_.scrollMode);
            input_.scroll(*scroll);
        }
    } else if (auto* key = message.get<KeyEvent>()) {
        if (canInject()) input_.key(*key);
    } else if (auto* pointer = message.get<PointerAbsolute>()) {
        if (canInject()) input_.movePointerAbsolute(*pointer);
    } else {
        return false;
    }
    return true;
}

asio::awaitable<void> HelperServer::handleInPlace(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    if (auto* text = message.get<TextInput>()) {
        if (!canInject()) co_return;
        if (characterCount(text->text, maxTextLength) > maxTextLength) {
            send(ErrorMessage{ErrorCode::invalidRequest, "text too long", std::nullopt}, sessionID);
            co_return;
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
    }
}

asio::awaitable<void> HelperServer::handleBySystem(const OrvikMessage& message, Uuid sessionID) {
    auto system = services_.system;
    if (!system) {
        reply(message, sessionID, ErrorCode::unsupported);
        co_return;
    }
    // The handler may finish on another thread; this session reads its next message only afterwards.
    auto self = shared_from_this();
    auto handle = [system, self, message, sessionID](std::function<void()> done) {
        system->handle(message, *self, sessionID, std::move(done));
    };
    co_await awaitCompletion(std::move(handle));
}

bool HelperServer::takeCommandToken(const Uuid& sessionID) {
    auto* session = findSession(sessionID);
    if (!session) return false;
    const double now = clock_();
    if (session->tokensUpdatedAt) {
        session->commandTokens =
            std::min(commandBurst, session->commandTokens + (now - *session->tokensUpdatedAt) * commandRate);
    }
    session->tokensUpdatedAt = now;
    if (session->commandTokens < 1.0) return false;
    session->commandTokens -= 1.0;
    return true;
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
