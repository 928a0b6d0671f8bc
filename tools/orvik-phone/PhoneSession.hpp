#pragma once

#include "PhoneOptions.hpp"
#include "PhoneOutput.hpp"
#include "PhoneViewer.hpp"

#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace orvik::phone {

// One run of the tool: connect, handshake (authenticate or pair), send, wait, close. Lives on one
// single-threaded executor; only the standard-input reader runs on a thread of its own and posts its lines.
class PhoneSession : public std::enable_shared_from_this<PhoneSession> {
public:
    PhoneSession(asio::any_io_executor executor, PhoneOptions options, PhoneOutput& output);

    asio::awaitable<ExitCode> run();

private:
    struct Refused {};

    asio::awaitable<std::shared_ptr<FramedConnection>> open(const PreSharedKey& key);
    // Tries open() again after a short pause while `retries` says so of its failure, until the time limit.
    asio::awaitable<std::shared_ptr<FramedConnection>> openRetrying(const PreSharedKey& key,
                                                                    bool (*retries)(const ConnectionError&));
    asio::awaitable<Bytes> sayHello(const std::shared_ptr<FramedConnection>& connection);
    asio::awaitable<void> authenticate(const std::shared_ptr<FramedConnection>& connection, const Uuid& deviceID,
                                       const Bytes& deviceKey, const Bytes& challenge);
    asio::awaitable<PairAccepted> pair(const std::shared_ptr<FramedConnection>& connection, const Bytes& challenge);
    asio::awaitable<OrvikMessage> awaitReply(const std::shared_ptr<FramedConnection>& connection, MessageType expected);
    asio::awaitable<ExitCode> exchange(std::shared_ptr<FramedConnection> connection);
    asio::awaitable<void> receiveLoop(std::shared_ptr<FramedConnection> connection);
    asio::awaitable<void> waitForEvent(asio::steady_timer::time_point deadline);

    PreSharedKey pairingKey() const;
    Bytes pairingProofSecret() const;
    Bytes finishProof(Bytes proof) const;
    void send(const OrvikMessage& message);
    // Counts a send in flight until it completes.
    FramedConnection::SendCompletion sent();
    void startReadingInput();
    void inputLine(const std::string& line);
    void inputEnded();
    void wake() { wake_.cancel(); }

    asio::any_io_executor executor_;
    PhoneOptions options_;
    PhoneOutput& output_;
    asio::steady_timer wake_;

    std::shared_ptr<FramedConnection> connection_;
    int pendingSends_ = 0;
    bool inputDone_ = true;
    bool badInput_ = false;
    int inputLines_ = 0;
    std::optional<ConnectionError> sendFailure_;
    std::optional<ConnectionError> ended_;
    std::set<MessageType> awaited_;
    std::shared_ptr<PhoneViewer> viewer_;
};

} // namespace orvik::phone
