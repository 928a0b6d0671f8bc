#pragma once

// The yardstick for the helper server's handshake: a bare OpenSSL server with the same TLS context (suites,
// pre-shared keys) on blocking sockets with read-ahead, one connection at a time on a thread of its own. It
// answers the same exchange as the helper (hello → helloAck with a challenge; authenticate → authenticated and
// status, after checking the proof with the key derived from the device key) and closes when the phone does,
// with nothing else: no event loop, no sessions, no log.

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/transport/FrameReader.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"
#include "orvik/protocol/transport/ReceivedMessage.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace orvik::bench {

// A listening TCP socket on 127.0.0.1 at a free port, which it stores in `port`.
inline int listenOnLoopback(std::uint16_t& port) {
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, SOMAXCONN) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return listener;
}

class BareTlsServer {
public:
    static constexpr const char* threadName = "bare-tls-server";

    BareTlsServer(std::shared_ptr<asio::ssl::context> context, Uuid deviceID, Bytes deviceKey)
        : context_(std::move(context)), deviceID_(deviceID), deviceKey_(std::move(deviceKey)),
          listener_(listenOnLoopback(port_)) {
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), threadName);
            run();
        });
    }
    ~BareTlsServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    BareTlsServer(const BareTlsServer&) = delete;
    BareTlsServer& operator=(const BareTlsServer&) = delete;

    std::uint16_t port() const { return port_; }

    // Waits until `count` sessions in all have ended (see sessionEnded).
    void waitForEnded(std::uint64_t count) {
        std::unique_lock lock(mutex_);
        endedChanged_.wait(lock, [&] { return ended_ >= count; });
    }

private:
    void run() {
        for (;;) {
            int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) return;
            int on = 1;
            ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            SSL* ssl = SSL_new(context_->native_handle());
            SSL_set_fd(ssl, connection);
            // Whole socket reads, not a header and then a body per record.
            SSL_set_read_ahead(ssl, 1);
            if (SSL_accept(ssl) == 1) serve(ssl);
            sessionEnded();
            SSL_shutdown(ssl);
            SSL_free(ssl);
            ::close(connection);
        }
    }

    // At the point where the helper server reports a session's end: the phone's close_notify has arrived, ours
    // is still to be sent.
    void sessionEnded() {
        {
            std::lock_guard lock(mutex_);
            ++ended_;
        }
        endedChanged_.notify_all();
    }

    void serve(SSL* ssl) {
        reader_ = FrameReader{};
        auto hello = receive(ssl);
        if (!hello || !hello->message() || !hello->message()->get<Hello>()) return;
        HelloAck ack;
        ack.helperID = helperID_;
        ack.helperVersion = "1.0";
        ack.macName = "Bench";
        ack.model = "Bench1,1";
        ack.challenge = *OrvikKeys::randomBytes(OrvikKeys::challengeLength);
        send(ssl, {OrvikMessage(ack)});
        auto authenticate = receive(ssl);
        const auto* proof =
            authenticate && authenticate->message() ? authenticate->message()->get<Authenticate>() : nullptr;
        if (!proof || proof->deviceID != deviceID_ ||
            !OrvikKeys::verify(proof->proof, OrvikKeys::authenticationKey(deviceKey_, deviceID_), ack.challenge)) {
            return;
        }
        send(ssl, {OrvikMessage(Authenticated{"Bench"}), OrvikMessage(HelperStatus{})});
        // Until the phone's close_notify.
        while (receive(ssl)) {
        }
    }

    std::optional<ReceivedMessage> receive(SSL* ssl) {
        for (;;) {
            if (auto frame = reader_.next()) return ReceivedMessage::decode(*frame);
            std::uint8_t buffer[4096];
            int count = SSL_read(ssl, buffer, sizeof buffer);
            if (count <= 0) return std::nullopt;
            reader_.append({buffer, static_cast<std::size_t>(count)});
        }
    }

    static void send(SSL* ssl, std::initializer_list<OrvikMessage> messages) {
        Bytes joined;
        for (const auto& message : messages) {
            auto encoded = message.frame()->encoded();
            joined.insert(joined.end(), encoded.begin(), encoded.end());
        }
        SSL_write(ssl, joined.data(), static_cast<int>(joined.size()));
    }

    std::shared_ptr<asio::ssl::context> context_;
    Uuid deviceID_;
    Bytes deviceKey_;
    Uuid helperID_ = Uuid::random();
    std::uint16_t port_ = 0;
    int listener_ = -1;
    FrameReader reader_;
    std::mutex mutex_;
    std::condition_variable endedChanged_;
    std::uint64_t ended_ = 0;
    std::thread thread_;
};

} // namespace orvik::bench
