#pragma once

// Real TLS on loopback for the transport tests: one io_context thread (as in the server), an acceptor on
// 127.0.0.1, and helpers that run coroutines there and wait for them with a generous limit.

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"
#include "orvik/protocol/transport/TlsStream.hpp"

#include <gtest/gtest.h>

#include "orvik/protocol/transport/Asio.hpp"

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace orvik::testing {

inline constexpr std::chrono::seconds generousLimit{20};

inline PreSharedKey makeKey(std::string identity, std::uint8_t fill) {
    SymmetricKey::Storage storage{};
    storage.fill(fill);
    return {SymmetricKey(storage), std::move(identity)};
}

struct StartOutcome {
    std::shared_ptr<FramedConnection> connection;
    std::optional<ConnectionError> error;
};

// Waits for the next received message or the error that ended receiving.
struct Received {
    std::optional<ReceivedMessage> message;
    std::optional<ConnectionError> error;
};

inline asio::awaitable<Received> receiveOne(std::shared_ptr<FramedConnection> connection) {
    Received result;
    try {
        result.message = co_await connection->receive();
    } catch (const ConnectionError& error) {
        result.error = error;
    }
    co_return result;
}

class LoopbackTls {
public:
    explicit LoopbackTls(std::vector<PreSharedKey> serverKeys = {makeKey("device", 0x11)},
                         std::string_view serverCiphers = OrvikTLS::cipherSuites)
        : serverContext(OrvikTLS::serverContext(OrvikTLS::lookupIn(std::move(serverKeys)), serverCiphers)),
          acceptor_(io_, {asio::ip::address_v4::loopback(), 0}), work_(asio::make_work_guard(io_)),
          thread_([this] { io_.run(); }) {
        OrvikTLS::configureAcceptor(acceptor_);
    }

    // Connections made here stay owned until the io thread has stopped, so none is destroyed on the test
    // thread while the io thread still touches it.
    ~LoopbackTls() {
        work_.reset();
        io_.stop();
        thread_.join();
        kept_.clear();
    }

    asio::io_context& io() { return io_; }
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }

    template <class T> static T wait(std::future<T>& future) {
        if (future.wait_for(generousLimit) != std::future_status::ready) {
            throw std::runtime_error("operation did not finish within the test limit");
        }
        return future.get();
    }

    // Runs a coroutine on the io thread and waits for its result (rethrowing what it threw).
    template <class T> T run(asio::awaitable<T> work) {
        auto future = asio::co_spawn(io_, std::move(work), asio::use_future);
        return wait(future);
    }

    // Runs a plain function on the io thread and waits for it.
    template <class F> auto onIo(F function) {
        return run([function = std::move(function)]() mutable -> asio::awaitable<decltype(function())> {
            co_return function();
        }());
    }

    asio::awaitable<asio::ip::tcp::socket> acceptSocket() {
        co_return co_await acceptor_.async_accept(asio::use_awaitable);
    }

    // Accepts one connection and starts it.
    std::future<StartOutcome> startServer(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                                          FramedConnection::TerminationHandler onTermination = {}) {
        return asio::co_spawn(io_, serverSide(timeout, std::move(onTermination)), asio::use_future);
    }

    std::future<StartOutcome> startClient(std::shared_ptr<asio::ssl::context> clientContext,
                                          FramedConnection::TerminationHandler onTermination = {}) {
        return asio::co_spawn(io_, clientSide(std::move(clientContext), std::move(onTermination)), asio::use_future);
    }

    // Both ends of one connection, each started (or failed).
    std::pair<StartOutcome, StartOutcome> connect(const PreSharedKey& clientKey,
                                                  std::string_view clientCiphers = OrvikTLS::cipherSuites) {
        auto server = startServer();
        auto client = startClient(OrvikTLS::clientContext(clientKey, clientCiphers));
        return {wait(server), wait(client)};
    }

    // The next message received, or absent when it did not decode or receiving ended.
    std::optional<OrvikMessage> message(const std::shared_ptr<FramedConnection>& connection) {
        auto received = run(receiveOne(connection));
        if (!received.message || !received.message->message()) return std::nullopt;
        return *received.message->message();
    }
    // How receiving ended, or absent when something was received.
    std::optional<ConnectionError::Kind> endOf(const std::shared_ptr<FramedConnection>& connection) {
        auto received = run(receiveOne(connection));
        return received.error ? std::optional(received.error->kind()) : std::nullopt;
    }

    // Call on the io thread.
    std::shared_ptr<FramedConnection> keep(std::shared_ptr<FramedConnection> connection) {
        kept_.push_back(connection);
        return connection;
    }

    // Starts a connection and reports how that went.
    static asio::awaitable<StartOutcome> started(std::shared_ptr<FramedConnection> connection,
                                                 std::chrono::milliseconds timeout,
                                                 FramedConnection::TerminationHandler onTermination) {
        StartOutcome outcome{connection, std::nullopt};
        try {
            co_await connection->start(timeout, std::move(onTermination));
        } catch (const ConnectionError& error) {
            outcome.error = error;
        }
        co_return outcome;
    }

    std::shared_ptr<asio::ssl::context> serverContext;

private:
    asio::awaitable<StartOutcome> serverSide(std::chrono::milliseconds timeout,
                                             FramedConnection::TerminationHandler onTermination) {
        auto connection = keep(FramedConnection::accepted(co_await acceptSocket(), serverContext));
        co_return co_await started(connection, timeout, std::move(onTermination));
    }

    asio::awaitable<StartOutcome> clientSide(std::shared_ptr<asio::ssl::context> context,
                                             FramedConnection::TerminationHandler onTermination) {
        auto connection = keep(co_await FramedConnection::connect("127.0.0.1", port(), std::move(context)));
        co_return co_await started(connection, std::chrono::seconds(5), std::move(onTermination));
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    std::vector<std::shared_ptr<FramedConnection>> kept_;
};

} // namespace orvik::testing
