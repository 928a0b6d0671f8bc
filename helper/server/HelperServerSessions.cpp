#include "server/HelperServer.hpp"

#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"
#include "server/OutgoingFrame.hpp"
#include "server/PendingEviction.hpp"

#include <algorithm>

namespace orvik::helper {

std::string HelperServer::address(const std::optional<asio::ip::tcp::endpoint>& endpoint) {
    if (!endpoint) return "unknown";
    auto peer = endpoint->address();
    if (peer.is_v6() && peer.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, peer.to_v6()).to_string();
    }
    return peer.to_string();
}

void HelperServer::acceptConnection(IncomingConnection incoming) {
    std::error_code error;
    const std::string peer = address(incoming.peer);

    std::vector<PendingEviction::Candidate> pending;
    std::size_t insideTLS = 0;
    std::size_t insideTLSFromPeer = 0;
    for (const auto& [id, session] : sessions_) {
        if (session.deviceID()) continue;
        pending.push_back({id, session.address, session.openedAt, session.finishedTLS});
        if (session.finishedTLS) continue;
        ++insideTLS;
        if (session.address == peer) ++insideTLSFromPeer;
    }
    const auto authenticated = sessions_.size() - pending.size();
    if (!isRunning_ || authenticated >= maxSessions || rateLimiter_.isBlocked(peer, clock_()) ||
        insideTLSFromPeer >= maxInsideTLSPerAddress) {
        incoming.socket.close(error);
        return;
    }
    if (insideTLS >= maxInsideTLS) {
        auto evicted = PendingEviction::choose(pending, peer);
        if (!evicted) {
            incoming.socket.close(error);
            return;
        }
        endSession(*evicted);
    }

    const double now = clock_();
    Session session;
    session.id = Uuid::random();
    session.connection = FramedConnection::accepted(std::move(incoming.socket), std::move(incoming.tls), incoming.peer);
    session.address = peer;
    session.openedAt = now;
    session.lastActivity = now;
    const Uuid id = session.id;
    sessions_.emplace(id, std::move(session));
    floodMemory_.entered();

    std::weak_ptr<HelperServer> weakSelf = weak_from_this();
    asio::co_spawn(executor_, runSession(id), [weakSelf, id](std::exception_ptr failure) {
        if (!failure) return;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& failed) {
            Log::error("Server", std::string("Session failed: ") + failed.what());
        }
        if (auto self = weakSelf.lock()) self->endSession(id);
    });
}

asio::awaitable<void> HelperServer::runSession(Uuid id) {
    // The session task holds the server for its whole life.
    auto self = shared_from_this();
    if (!keysLoaded_) co_await waitForKeys(id);
    auto* session = findSession(id);
    if (!session) co_return;
    auto connection = session->connection;

    // Named, not a temporary of the co_await expression (see CallbackAwait.hpp).
    FramedConnection::TerminationHandler onTermination = [weakSelf = weak_from_this(), id](ConnectionError) {
        if (auto server = weakSelf.lock()) server->endSession(id);
    };
    std::optional<ConnectionError> startFailure;
    try {
        co_await connection->start(tlsTimeout, std::move(onTermination));
    } catch (const ConnectionError& error) {
        startFailure = error;
    }
    if (startFailure) {
        tlsHandshakeFailed(id, *startFailure);
        co_return;
    }
    if (!admitPastTLS(id)) {
        endSession(id);
        co_return;
    }
    ensureMaintenance();

    while (findSession(id)) {
        // A phone that leaves its replies unread is not read either until they have drained (each message can
        // add a reply); the other sessions go on meanwhile.
        if (connection->isFull()) {
            co_await connection->writable();
            if (!findSession(id)) break;
        }
        std::optional<ReceivedMessage> received;
        try {
            received = co_await connection->receive();
        } catch (const ConnectionError&) {
            break;
        }
        if (auto* current = findSession(id)) current->lastActivity = clock_();
        if (auto* message = received->message()) {
            co_await handleSessionMessage(*message, id);
        } else {
            handleUndecodable(received->undecodable()->type, id);
        }
    }
    endSession(id);
}

// The phone's ClientHello waits in the socket meanwhile; the session stays in the pool of those inside TLS.
asio::awaitable<void> HelperServer::waitForKeys(Uuid id) {
    auto* session = findSession(id);
    if (!session) co_return;
    auto timer = std::make_shared<asio::steady_timer>(executor_, keyLoadWait_);
    session->keyWait = timer;
    std::error_code ignored;
    co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    if (auto* waited = findSession(id)) {
        waited->keyWait.reset();
        waited->startedBeforeKeys = !keysLoaded_;
    }
}

void HelperServer::keysArrived() {
    keysLoaded_ = true;
    for (auto& [id, session] : sessions_) {
        if (session.keyWait) session.keyWait->cancel();
    }
}

bool HelperServer::admitPastTLS(const Uuid& id) {
    auto* session = findSession(id);
    if (!session) return false;
    std::size_t pastTLS = 0;
    std::size_t fromPeer = 0;
    for (const auto& [otherID, other] : sessions_) {
        if (!other.finishedTLS || other.deviceID()) continue;
        ++pastTLS;
        if (other.address == session->address) ++fromPeer;
    }
    if (pastTLS >= maxPendingHandshakes || fromPeer >= maxPendingPerAddress) return false;
    session->finishedTLS = true;
    leftTLSPool();
    return true;
}

void HelperServer::leftTLSPool() {
    const bool drained = std::none_of(sessions_.begin(), sessions_.end(), [](const auto& entry) {
        return !entry.second.finishedTLS && !entry.second.deviceID();
    });
    if (drained) floodMemory_.drained();
}

void HelperServer::tlsHandshakeFailed(const Uuid& id, const ConnectionError& error) {
    auto found = sessions_.find(id);
    if (found == sessions_.end()) return;
    Session session = std::move(found->second);
    sessions_.erase(found);
    session.connection->cancel();
    // Before the store had every key (still loading them, or the keyring locked), a listed phone's identity may
    // lack its key only for now: that phone is not held against its address. A stranger's identity still counts.
    const bool listedBeforeKeys =
        session.startedBeforeKeys && OrvikTLS::isUnknownIdentity(error) && namesListedDevice(error);
    if (!listedBeforeKeys &&
        (error.kind() == ConnectionError::Kind::timedOut || OrvikTLS::isAuthenticationFailure(error))) {
        recordAuthenticationFailure(session.address);
    }
    leftTLSPool();
    stopMaintenanceIfIdle();
}

bool HelperServer::namesListedDevice(const ConnectionError& error) const {
    const auto& network = error.networkError();
    if (!network) return false;
    const auto deviceID = Uuid::parse(network->pskIdentity);
    // Byte for byte: the same UUID in another case is not that device's identity.
    return deviceID && OrvikKeys::sessionIdentity(*deviceID) == network->pskIdentity && store_->device(*deviceID);
}

void HelperServer::recordAuthenticationFailure(const std::string& address) {
    rateLimiter_.recordFailure(address, clock_(), wallClock_());
    publish(ServerEvent::handshakeFailed(address));
}

asio::awaitable<void> HelperServer::handleSessionMessage(const OrvikMessage& message, Uuid id) {
    auto* session = findSession(id);
    if (!session) co_return;
    const Session::Stage stage = session->stage;
    // The steps answered without waiting hold their replies until they are done: a reply and the status behind
    // it leave in one send, at once, not a turn of the event loop later.
    auto connection = session->connection;

    if (auto* ping = message.get<Ping>()) {
        auto hold = connection->holdWrites();
        send(Pong{ping->value}, id);
    } else if (auto* authenticated = std::get_if<Session::Authenticated>(&stage)) {
        co_await handleCommand(message, id, authenticated->deviceID);
    } else if (auto* proof = std::get_if<Session::AwaitingProof>(&stage)) {
        co_await handleProofStage(message, proof->challenge, id);
    } else if (auto* hello = message.get<Hello>(); hello && std::holds_alternative<Session::AwaitingHello>(stage)) {
        auto hold = connection->holdWrites();
        handleHello(*hello, id);
    } else {
        auto hold = connection->holdWrites();
        closeAfterSending(ErrorMessage{ErrorCode::unauthorized}, id);
    }
}

asio::awaitable<void> HelperServer::handleProofStage(const OrvikMessage& message, Bytes challenge, Uuid id) {
    auto* session = findSession(id);
    if (!session) co_return;
    auto connection = session->connection;
    const bool isProof = message.get<Authenticate>() || message.get<PairRequest>();
    if (isProof && !identityAllows(*session, message)) {
        // Proving under another identity than the one TLS was keyed with is a failed handshake.
        auto hold = connection->holdWrites();
        recordAuthenticationFailure(session->address);
        closeAfterSending(ErrorMessage{ErrorCode::unauthorized}, id);
    } else if (auto* authenticate = message.get<Authenticate>()) {
        auto hold = connection->holdWrites();
        handleAuthenticate(*authenticate, challenge, id);
    } else if (auto* request = message.get<PairRequest>()) {
        co_await pairing_.handleRequest(*request, std::move(challenge), id);
    } else if (message.get<RequestUpdateCheck>()) {
        co_await handleUpdateCheckRequest(id);
    } else {
        auto hold = connection->holdWrites();
        closeAfterSending(ErrorMessage{ErrorCode::unauthorized}, id);
    }
}

asio::awaitable<void> HelperServer::handleUpdateCheckRequest(Uuid id) {
    auto* session = findSession(id);
    if (!session) co_return;
    if (session->requestedUpdateCheck) {
        closeAfterSending(ErrorMessage{ErrorCode::rateLimited}, id);
        co_return;
    }
    session->requestedUpdateCheck = true;
    auto check = services_.requestUpdateCheck;
    co_await awaitCompletion(check);
}

void HelperServer::handleUndecodable(std::uint16_t type, const Uuid& id) {
    auto* session = findSession(id);
    if (!session || !session->deviceID() || !messageType(type)) return;
    send(ErrorMessage{ErrorCode::unsupported, "type " + std::to_string(type)}, id);
}

Frame HelperServer::frameFor(const OrvikMessage& message) {
    auto outgoing = OutgoingFrame::of(message);
    if (outgoing.replaced) {
        repeatedLines_.write(Log::Level::error, "Server", std::string("Reply replaced: ") + name(message.type()),
                             *outgoing.replaced);
    }
    return std::move(outgoing.frame);
}

void HelperServer::send(OrvikMessage message, const Uuid& sessionID) {
    auto* session = findSession(sessionID);
    if (!session) return;
    session->connection->sendFrame(frameFor(message));
}

void HelperServer::closeAfterSending(OrvikMessage message, const Uuid& sessionID) {
    auto found = sessions_.find(sessionID);
    if (found == sessions_.end()) return;
    Session session = std::move(found->second);
    sessions_.erase(found);
    // Weak: the connection's queue holds this completion, so a strong reference would keep a connection whose
    // write never ends (its executor stopped first) alive for ever.
    std::weak_ptr<FramedConnection> connection = session.connection;
    session.connection->sendFrame(frameFor(message), [connection](std::optional<ConnectionError>) {
        if (auto open = connection.lock()) open->cancel();
    });
    sessionEnded(session);
}

void HelperServer::endSession(const Uuid& sessionID) {
    auto found = sessions_.find(sessionID);
    if (found == sessions_.end()) return;
    Session session = std::move(found->second);
    sessions_.erase(found);
    if (session.keyWait) session.keyWait->cancel();
    session.connection->cancel();
    sessionEnded(session);
}

void HelperServer::sessionEnded(const Session& session) {
    if (!session.finishedTLS) leftTLSPool();
    viewers_.sessionEnded(session.id);
    if (session.deviceID() && !session.isScreen) {
        input_.releaseAll();
        emitConnections();
    }
    stopMaintenanceIfIdle();
}

} // namespace orvik::helper
