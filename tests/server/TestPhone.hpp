#pragma once

#include "core/IoThread.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"

#include <asio.hpp>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvik::test {

using namespace std::chrono_literals;

// The thread of the test's phones: one io_context of their own, as a real phone has its own process.
class PhoneThread : public helper::IoThread {
public:
    PhoneThread() : IoThread("TestPhones") {}
};

// A phone speaking the protocol over real TLS, driven synchronously from a test. Everything it receives is
// queued; `next` takes messages in order.
class TestPhone {
public:
    static constexpr auto defaultWait = 10s;

    // Connects from `localAddress` (any of 127.0.0.0/8) and completes TLS with `key`; throws ConnectionError when
    // either fails.
    static std::unique_ptr<TestPhone> connect(PhoneThread& thread, std::uint16_t port, PreSharedKey key,
                                              std::string_view ciphers = OrvikTLS::cipherSuites,
                                              const std::string& localAddress = "127.0.0.1");
    ~TestPhone();

    void send(OrvikMessage message);
    void sendFrame(Frame frame);
    // Sends `message` up to `count` times as fast as the connection takes them, its own queue kept within the
    // connection's limit; stops early once nothing has gone out for `stall`. Answers how many it sent.
    std::size_t flood(const OrvikMessage& message, std::size_t count, std::chrono::milliseconds stall = 1s);

    // Stops taking what arrives (at most one more message is taken), as a phone that reads nothing: the
    // socket's buffers fill up. resumeReading() takes everything up again, in order.
    void pauseReading();
    void resumeReading();

    // The next message, or absent when none arrived in time or the connection ended.
    std::optional<OrvikMessage> next(std::chrono::milliseconds wait = defaultWait);
    // The next message that is not a status push (those arrive whenever the server's maintenance runs).
    std::optional<OrvikMessage> nextIgnoringStatus(std::chrono::milliseconds wait = defaultWait);
    // The next message of type T (skipping status pushes unless T is the status); fails the test otherwise.
    template <class T> T expect(std::chrono::milliseconds wait = defaultWait);
    // The connection ended (closed, failed or cancelled) within `wait`, after the messages still queued.
    bool waitForEnd(std::chrono::milliseconds wait = defaultWait);
    bool hasEnded();
    // Nothing but status pushes arrives within `wait`.
    bool staysQuiet(std::chrono::milliseconds wait = 200ms);

    // The handshake steps.
    HelloAck hello(std::uint16_t version = 1, std::uint16_t minimum = 1);
    // hello, then authenticate with the device key; returns the `authenticated` reply (the status follows).
    Authenticated authenticate(const Uuid& deviceID, const Bytes& deviceKey);

    void close();

private:
    explicit TestPhone(std::shared_ptr<FramedConnection> connection);
    void startReading();

    // Shared with the reading coroutine, which may outlive the phone by a moment.
    struct Inbox {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<OrvikMessage> received;
        bool ended = false;
        bool paused = false;
    };

    static bool isPaused(Inbox& inbox);

    std::shared_ptr<FramedConnection> connection_;
    std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
};

template <class T> T TestPhone::expect(std::chrono::milliseconds wait) {
    auto message = std::is_same_v<T, HelperStatus> ? next(wait) : nextIgnoringStatus(wait);
    if (!message) throw std::runtime_error(std::string("no message arrived, expected ") + typeid(T).name());
    auto* payload = message->template get<T>();
    if (!payload) {
        throw std::runtime_error(std::string("expected ") + typeid(T).name() + ", got " + name(message->type()));
    }
    return *payload;
}

// A plain TCP connection from a chosen loopback address (any of 127.0.0.0/8), speaking no TLS: what admission
// sees before any handshake.
class RawClient {
public:
    RawClient(const std::string& localAddress, std::uint16_t port);
    ~RawClient();

    // The server closed the connection within `wait`.
    bool waitForClose(std::chrono::milliseconds wait = TestPhone::defaultWait);
    void write(ByteView bytes);

private:
    int socket_ = -1;
};

// The session key a paired device offers.
PreSharedKey sessionKey(const Uuid& deviceID, const Bytes& deviceKey);

// The payload of `message` when it is a T; absent when it is not or when no message arrived.
template <class T> std::optional<T> payloadOf(const std::optional<OrvikMessage>& message) {
    if (!message || !message->get<T>()) return std::nullopt;
    return *message->get<T>();
}

inline std::optional<ErrorMessage> errorOf(const std::optional<OrvikMessage>& message) {
    return payloadOf<ErrorMessage>(message);
}

inline std::optional<CommandResult> resultOf(const std::optional<OrvikMessage>& message) {
    return payloadOf<CommandResult>(message);
}

} // namespace orvik::test
