// Throughput of the TLS transport on loopback, both ends in this process on one io_context thread (as in the
// server): small messages per second, MB/s of 256 KiB frames, and handshakes per second for each suite.
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"

#include <benchmark/benchmark.h>

#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using namespace orvik;

namespace {

PreSharedKey benchKey() {
    SymmetricKey::Storage storage{};
    storage.fill(0x42);
    return {SymmetricKey(storage), "bench"};
}

class Loopback {
public:
    explicit Loopback(std::string_view ciphers = OrvikTLS::cipherSuites)
        : serverContext_(OrvikTLS::serverContext(OrvikTLS::lookupIn({benchKey()}))),
          clientContext_(OrvikTLS::clientContext(benchKey(), ciphers)),
          acceptor_(io_, {asio::ip::address_v4::loopback(), 0}), work_(asio::make_work_guard(io_)),
          thread_([this] { io_.run(); }) {
        OrvikTLS::configureAcceptor(acceptor_);
    }

    ~Loopback() {
        run(closeBoth());
        work_.reset();
        io_.stop();
        thread_.join();
    }

    template <class T> T run(asio::awaitable<T> work) {
        return asio::co_spawn(io_, std::move(work), asio::use_future).get();
    }

    // One connection, both ends started.
    asio::awaitable<void> connect() {
        using namespace asio::experimental::awaitable_operators;
        co_await (acceptSide() && connectSide());
    }

    asio::awaitable<void> closeBoth() {
        if (server_) server_->cancel();
        if (client_) client_->cancel();
        server_.reset();
        client_.reset();
        co_return;
    }

    std::shared_ptr<FramedConnection> server_;
    std::shared_ptr<FramedConnection> client_;

private:
    asio::awaitable<void> acceptSide() {
        server_ = FramedConnection::accepted(co_await acceptor_.async_accept(asio::use_awaitable), serverContext_);
        co_await server_->start(std::chrono::seconds(5));
    }

    asio::awaitable<void> connectSide() {
        client_ = co_await FramedConnection::connect("127.0.0.1", acceptor_.local_endpoint().port(), clientContext_);
        co_await client_->start(std::chrono::seconds(5));
    }

    asio::io_context io_;
    std::shared_ptr<asio::ssl::context> serverContext_;
    std::shared_ptr<asio::ssl::context> clientContext_;
    asio::ip::tcp::acceptor acceptor_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
};

asio::awaitable<void> receiveFrames(std::shared_ptr<FramedConnection> connection, int count) {
    for (int i = 0; i < count; ++i) {
        auto frame = co_await connection->receiveFrame();
        benchmark::DoNotOptimize(frame);
    }
}

// Pointer moves from the phone: encoded on the caller's thread, sent, received and decoded on the other end.
void smallMessages(benchmark::State& state) {
    constexpr int batch = 1000;
    Loopback loop;
    loop.run(loop.connect());
    std::uint32_t sequence = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) loop.client_->send(PointerMove{1.0f, -1.0f, ++sequence});
        loop.run([](std::shared_ptr<FramedConnection> server) -> asio::awaitable<void> {
            for (int i = 0; i < batch; ++i) {
                auto received = co_await server->receive();
                benchmark::DoNotOptimize(received);
            }
        }(loop.server_));
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(smallMessages)->UseRealTime();

// Screen-frame fragments from the helper: 256 KiB frames.
void largeFrames(benchmark::State& state) {
    constexpr int batch = 16;
    constexpr std::size_t frameBytes = 256 * 1024;
    Loopback loop;
    loop.run(loop.connect());
    Frame frame{0x0507, 0, Bytes(frameBytes, 0xA5)};
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) loop.server_->sendFrame(frame);
        loop.run(receiveFrames(loop.client_, batch));
    }
    state.SetBytesProcessed(state.iterations() * batch * static_cast<std::int64_t>(frameBytes));
}
BENCHMARK(largeFrames)->UseRealTime();

// Full TCP connect and TLS handshake, both ends, sequentially.
void handshakes(benchmark::State& state, std::string_view suite) {
    Loopback loop(suite);
    for (auto _ : state) {
        loop.run(loop.connect());
        if (loop.client_->cipherSuite() != suite) throw std::runtime_error("unexpected suite");
        loop.run(loop.closeBoth());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(handshakes, ecdhePskChaCha20, OrvikTLS::ecdhePskChaCha20)->UseRealTime();
BENCHMARK_CAPTURE(handshakes, pskAes128Gcm, OrvikTLS::pskAes128Gcm)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
