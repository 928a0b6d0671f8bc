#include "PhoneSession.hpp"

#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <iostream>
#include <thread>

ORVIK_COROUTINE_CODE_BEGIN

namespace orvik::phone {

namespace {

// Pause between attempts to reach the helper again while its listener re-opens (at every key change).
constexpr std::chrono::milliseconds reconnectPause{100};

// Nobody listened for that moment: the listener was re-opening.
bool isRefusal(const ConnectionError& error) {
    const auto& network = error.networkError();
    return network && network->code == asio::error::connection_refused;
}

// After pairing, the helper offers the new key once it has stored the device: any failure may be that moment.
bool anyFailure(const ConnectionError&) {
    return true;
}

std::string hex(ByteView bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (auto byte : bytes) {
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 0x0F]);
    }
    return out;
}

} // namespace

PhoneSession::PhoneSession(asio::any_io_executor executor, PhoneOptions options, PhoneOutput& output)
    : executor_(std::move(executor)), options_(std::move(options)), output_(output), wake_(executor_),
      awaited_(options_.until.begin(), options_.until.end()) {}

asio::awaitable<ExitCode> PhoneSession::run() {
    auto self = shared_from_this();
    const bool authenticating = options_.mode == PhoneOptions::Mode::authenticate;
    PreSharedKey key = authenticating ? PreSharedKey{OrvikKeys::sessionPSK(options_.deviceKey, options_.deviceID),
                                                     OrvikKeys::sessionIdentity(options_.deviceID)}
                                      : pairingKey();
    std::shared_ptr<FramedConnection> connection;
    try {
        connection = co_await openRetrying(key, &isRefusal);
    } catch (const ConnectionError&) {
        co_return ExitCode::connectionFailed;
    }

    try {
        if (options_.handshake == PhoneOptions::Handshake::none) co_return co_await exchange(connection);
        Bytes challenge = co_await sayHello(connection);
        if (options_.handshake == PhoneOptions::Handshake::helloOnly) co_return co_await exchange(connection);
        if (authenticating) {
            co_await authenticate(connection, options_.deviceID, options_.deviceKey, challenge);
            co_return co_await exchange(connection);
        }
        PairAccepted accepted = co_await pair(connection, challenge);
        connection->cancel();
        if (!options_.reconnect) co_return ExitCode::success;

        PreSharedKey sessionKey{OrvikKeys::sessionPSK(accepted.deviceKey, options_.deviceID),
                                OrvikKeys::sessionIdentity(options_.deviceID)};
        try {
            connection = co_await openRetrying(sessionKey, &anyFailure);
        } catch (const ConnectionError&) {
            co_return ExitCode::connectionFailed;
        }
        challenge = co_await sayHello(connection);
        co_await authenticate(connection, options_.deviceID, accepted.deviceKey, challenge);
        co_return co_await exchange(connection);
    } catch (const Refused&) {
        connection->cancel();
        co_return ExitCode::handshakeRefused;
    }
}

asio::awaitable<std::shared_ptr<FramedConnection>> PhoneSession::open(const PreSharedKey& key) {
    std::vector<HostPort> addresses = options_.address ? std::vector{*options_.address} : options_.pairing->addresses;
    std::optional<ConnectionError> last;
    for (const auto& address : addresses) {
        std::shared_ptr<FramedConnection> connection;
        try {
            connection = co_await FramedConnection::connect(address.host, address.port, key, options_.timeout);
        } catch (const ConnectionError& error) {
            output_.failure("connect " + address.description(), error);
            last = error;
            continue;
        }
        try {
            co_await connection->start(options_.timeout);
        } catch (const ConnectionError& error) {
            output_.failure("tls " + address.description(), error);
            connection->cancel();
            last = error;
            continue;
        }
        output_.event(
            "connected",
            {{"address", address.description()}, {"identity", key.identity}, {"cipher", connection->cipherSuite()}});
        options_.address = address;
        co_return connection;
    }
    throw *last;
}

asio::awaitable<std::shared_ptr<FramedConnection>> PhoneSession::openRetrying(const PreSharedKey& key,
                                                                              bool (*retries)(const ConnectionError&)) {
    auto deadline = std::chrono::steady_clock::now() + options_.timeout;
    for (;;) {
        try {
            co_return co_await open(key);
        } catch (const ConnectionError& error) {
            if (!retries(error) || std::chrono::steady_clock::now() + reconnectPause >= deadline) throw;
        }
        asio::steady_timer pause(executor_, reconnectPause);
        co_await pause.async_wait(asio::use_awaitable);
    }
}

asio::awaitable<Bytes> PhoneSession::sayHello(const std::shared_ptr<FramedConnection>& connection) {
    connection->send(Hello{options_.protocolVersion, options_.minimumVersion, options_.appVersion, Capabilities{}});
    auto reply = co_await awaitReply(connection, MessageType::helloAck);
    co_return reply.get<HelloAck>()->challenge;
}

asio::awaitable<void> PhoneSession::authenticate(const std::shared_ptr<FramedConnection>& connection,
                                                 const Uuid& deviceID, const Bytes& deviceKey, const Bytes& challenge) {
    auto key = OrvikKeys::authenticationKey(deviceKey, deviceID);
    connection->send(Authenticate{deviceID, finishProof(OrvikKeys::proof(key, challenge))});
    co_await awaitReply(connection, MessageType::authenticated);
}

asio::awaitable<PairAccepted> PhoneSession::pair(const std::shared_ptr<FramedConnection>& connection,
                                                 const Bytes& challenge) {
    auto key = OrvikKeys::pairingProofKey(pairingProofSecret());
    PairRequest request{options_.deviceID,
                        options_.deviceName,
                        options_.deviceModel,
                        options_.appVersion,
                        options_.mode == PhoneOptions::Mode::pairWithURL ? PairingMethod::qrCode
                                                                         : PairingMethod::manualCode,
                        finishProof(OrvikKeys::proof(key, challenge))};
    connection->send(request);
    auto reply = co_await awaitReply(connection, MessageType::pairAccepted);
    PairAccepted accepted = *reply.get<PairAccepted>();
    output_.event("paired",
                  {{"deviceID", options_.deviceID.text()},
                   {"deviceKey", Base64::encode(accepted.deviceKey)},
                   {"deviceKeyHex", hex(accepted.deviceKey)},
                   {"helperID", accepted.helperID.text()}},
                  true);
    co_return accepted;
}

asio::awaitable<OrvikMessage> PhoneSession::awaitReply(const std::shared_ptr<FramedConnection>& connection,
                                                       MessageType expected) {
    for (;;) {
        std::optional<ReceivedMessage> received;
        try {
            received = co_await connection->receive();
        } catch (const ConnectionError& error) {
            output_.failure("handshake", error);
            throw Refused{};
        }
        output_.received(*received);
        const auto* message = received->message();
        if (message == nullptr) continue;
        if (message->type() == expected) co_return *message;
        if (message->type() == MessageType::error) {
            output_.diagnostic(std::string("the helper refused the handshake while waiting for ") + name(expected));
            throw Refused{};
        }
    }
}

asio::awaitable<ExitCode> PhoneSession::exchange(std::shared_ptr<FramedConnection> connection) {
    connection_ = connection;
    asio::co_spawn(executor_, receiveLoop(connection), asio::detached);
    for (const auto& message : options_.messages) send(message);
    for (const auto& frame : options_.frames) {
        ++pendingSends_;
        connection_->sendFrame(frame, sent());
    }
    if (options_.readStandardInput) startReadingInput();
    if (options_.view) {
        // Sending is done only when viewing has ended.
        inputDone_ = false;
        viewer_ = std::make_shared<PhoneViewer>(
            executor_, *options_.view, output_, [this](const OrvikMessage& message) { send(message); },
            [this] {
                inputDone_ = true;
                wake();
            });
        viewer_->begin();
    }

    while (!(inputDone_ && pendingSends_ == 0) && !ended_ && !sendFailure_) {
        co_await waitForEvent(asio::steady_timer::time_point::max());
    }
    ExitCode result = ExitCode::success;
    if (badInput_) {
        result = ExitCode::badInput;
    } else if (sendFailure_ || (ended_ && !(inputDone_ && pendingSends_ == 0))) {
        result = ExitCode::connectionLost;
    } else {
        auto deadline = asio::steady_timer::clock_type::now() + options_.wait;
        while (!ended_ && !(options_.until.size() > 0 && awaited_.empty()) &&
               asio::steady_timer::clock_type::now() < deadline) {
            co_await waitForEvent(deadline);
        }
        if (!awaited_.empty()) {
            result = ended_ ? ExitCode::connectionLost : ExitCode::untilTimedOut;
        } else if (ended_ && ended_->kind() == ConnectionError::Kind::failed) {
            result = ExitCode::connectionLost;
        }
    }
    if (sendFailure_) output_.failure("send", *sendFailure_);
    connection->cancel();
    co_return result;
}

asio::awaitable<void> PhoneSession::receiveLoop(std::shared_ptr<FramedConnection> connection) {
    auto self = shared_from_this();
    for (;;) {
        try {
            auto received = co_await connection->receive();
            const auto* message = received.message();
            const bool quietFrame = viewer_ && message && viewer_->received(*message);
            if (!quietFrame) output_.received(received);
            if (message) awaited_.erase(message->type());
        } catch (const ConnectionError& error) {
            if (error.kind() == ConnectionError::Kind::closed) {
                output_.event("closed", {{"by", "helper"}});
            } else if (error.kind() != ConnectionError::Kind::cancelled) {
                output_.failure("receive", error);
            }
            ended_ = error;
            wake();
            co_return;
        }
        wake();
    }
}

asio::awaitable<void> PhoneSession::waitForEvent(asio::steady_timer::time_point deadline) {
    wake_.expires_at(deadline);
    asio::error_code ignored;
    co_await wake_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
}

PreSharedKey PhoneSession::pairingKey() const {
    if (options_.mode == PhoneOptions::Mode::pairWithURL) {
        return {OrvikKeys::qrPairingPSK(options_.pairing->secret, options_.pairing->helperID),
                OrvikKeys::qrPairingIdentity(options_.pairing->helperID)};
    }
    return {OrvikKeys::manualPairingPSK(options_.code->bytes), std::string(OrvikKeys::manualPairingIdentity)};
}

// A QR pairing proves the whole secret; a manual code carries only the secret's first 15 bytes.
Bytes PhoneSession::pairingProofSecret() const {
    if (options_.mode == PhoneOptions::Mode::pairWithURL) return options_.pairing->secret;
    return Bytes(options_.code->bytes.begin(), options_.code->bytes.end());
}

Bytes PhoneSession::finishProof(Bytes proof) const {
    if (options_.wrongProof && !proof.empty()) proof.front() ^= 0x01;
    return proof;
}

void PhoneSession::send(const OrvikMessage& message) {
    ++pendingSends_;
    connection_->send(message, sent());
}

FramedConnection::SendCompletion PhoneSession::sent() {
    return [weak = weak_from_this()](std::optional<ConnectionError> error) {
        auto self = weak.lock();
        if (!self) return;
        --self->pendingSends_;
        if (error && !self->sendFailure_) self->sendFailure_ = error;
        self->wake();
    };
}

void PhoneSession::startReadingInput() {
    inputDone_ = false;
    // A blocking reader of its own; lines reach the session on its executor.
    std::thread([executor = executor_, weak = weak_from_this()] {
        std::string line;
        while (std::getline(std::cin, line)) {
            asio::post(executor, [weak, line] {
                if (auto self = weak.lock()) self->inputLine(line);
            });
        }
        asio::post(executor, [weak] {
            if (auto self = weak.lock()) self->inputEnded();
        });
    }).detach();
}

void PhoneSession::inputLine(const std::string& line) {
    ++inputLines_;
    if (inputDone_ || line.find_first_not_of(" \t\r") == std::string::npos) return;
    try {
        send(messageFromJson(nlohmann::json::parse(line)));
    } catch (const std::exception& error) {
        output_.diagnostic("standard input line " + std::to_string(inputLines_) + ": " + error.what());
        output_.event("badInput", {{"line", inputLines_}, {"error", error.what()}}, true);
        badInput_ = true;
        inputDone_ = true;
        wake();
    }
}

void PhoneSession::inputEnded() {
    inputDone_ = true;
    wake();
}

} // namespace orvik::phone

ORVIK_COROUTINE_CODE_END
