// The server's share of input latency and its handshake rate, over real TLS on loopback: pointer messages per
// second from one authenticated session through the command dispatch into a recording sink; the time from the
// phone's send to the sink's record (median and 99th percentile); TLS handshakes with hello and authenticate per
// second, with the CPU, wake-ups and system calls each costs the server's thread, beside the same exchange served
// by a bare OpenSSL server (BareTlsServer.hpp). For scale: one frame at 60 Hz is 16.7 ms.

#include "BareTlsServer.hpp"
#include "BenchServer.hpp"
#include "ThreadCounters.hpp"
#include "core/IoThread.hpp"
#include "injection/RecordingSink.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "server/HelperServer.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace orvik;
using namespace orvik::helper;
using namespace std::chrono_literals;

namespace {

// A server on loopback with one paired device, and a thread for the phone's side.
class Bench {
public:
    Bench() {
        deviceKey = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
        store->add(PairedDevice{deviceID, "Bench", "Phone", std::chrono::system_clock::now(), std::nullopt}, deviceKey);
        clientContext = OrvikTLS::clientContext(sessionKey());
        auto configuration = bench::benchServerConfiguration(store, sink);
        server = HelperServer::create(serverThread.executor(), std::move(configuration));
        port = bench::startListening(serverThread, *server);
    }

    ~Bench() {
        onServer([](HelperServer& s) { s.stop(); });
        server.reset();
        phoneWork.reset();
        phoneContext.stop();
        phoneThread.join();
    }

    template <class F> auto onServer(F operation) -> std::invoke_result_t<F, HelperServer&> {
        return bench::onThread(serverThread, [&] { return operation(*server); });
    }

    template <class T> T onPhone(asio::awaitable<T> operation) {
        return asio::co_spawn(phoneContext, std::move(operation), asio::use_future).get();
    }

    // Connects, runs TLS, hello and authenticate, and returns once `authenticated` and the status arrived.
    asio::awaitable<std::shared_ptr<FramedConnection>> authenticate() { return authenticateOn(*port); }

    asio::awaitable<std::shared_ptr<FramedConnection>> authenticateOn(std::uint16_t serverPort) {
        auto connection = co_await FramedConnection::connect("127.0.0.1", serverPort, clientContext, 5s);
        co_await connection->start(5s);
        connection->send(Hello{1, 1, "bench", Capabilities{}});
        auto ack = co_await connection->receive();
        auto proofKey = OrvikKeys::authenticationKey(deviceKey, deviceID);
        connection->send(Authenticate{deviceID, OrvikKeys::proof(proofKey, ack.message()->get<HelloAck>()->challenge)});
        auto authenticated = co_await connection->receive();
        auto status = co_await connection->receive();
        if (!authenticated.message() || !status.message()) throw std::runtime_error("authentication failed");
        co_return connection;
    }

    // Polls gently: the sink's lock is the server's too.
    void waitForInput(std::size_t count) {
        while (sink->eventTimes().size() < count) std::this_thread::sleep_for(20us);
    }

    void waitUntilNoSessions() {
        while (
            !onServer([](HelperServer& s) { return s.connectedDevices().empty() && s.pendingHandshakeCount() == 0; })) {
            std::this_thread::sleep_for(100us);
        }
    }

    // The key a paired phone offers in TLS, and the server side's lookup of it.
    PreSharedKey sessionKey() const {
        return {OrvikKeys::sessionPSK(deviceKey, deviceID), OrvikKeys::sessionIdentity(deviceID)};
    }

    Uuid deviceID = Uuid::random();
    Bytes deviceKey;
    std::shared_ptr<asio::ssl::context> clientContext;
    std::shared_ptr<InMemoryDeviceStore> store = std::make_shared<InMemoryDeviceStore>();
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    IoThread serverThread{HelperServer::threadName};
    std::shared_ptr<HelperServer> server;
    std::optional<std::uint16_t> port;

    asio::io_context phoneContext{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> phoneWork{
        asio::make_work_guard(phoneContext)};
    std::thread phoneThread{[this] { phoneContext.run(); }};
};

void pointerMessagesThroughDispatch(benchmark::State& state) {
    Bench bench;
    auto connection = bench.onPhone(bench.authenticate());
    const std::size_t batch = static_cast<std::size_t>(state.range(0));
    std::uint32_t sequence = 0;
    for (auto _ : state) {
        bench.sink->clearEvents();
        for (std::size_t index = 0; index < batch; ++index) connection->send(PointerMove{0.5f, 0.25f, ++sequence});
        bench.waitForInput(batch);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    connection->cancel();
}
BENCHMARK(pointerMessagesThroughDispatch)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

void sendToRecordLatency(benchmark::State& state) {
    Bench bench;
    auto connection = bench.onPhone(bench.authenticate());
    std::vector<double> microseconds;
    std::uint32_t sequence = 0;
    for (auto _ : state) {
        bench.sink->clearEvents();
        const auto sent = RecordingSink::Clock::now();
        connection->send(PointerMove{1, 0, ++sequence});
        bench.waitForInput(1);
        const auto recorded = bench.sink->eventTimes().front();
        microseconds.push_back(std::chrono::duration<double, std::micro>(recorded - sent).count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    auto at = [&](double fraction) {
        return microseconds[std::min(microseconds.size() - 1,
                                     static_cast<std::size_t>(fraction * static_cast<double>(microseconds.size())))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    connection->cancel();
}
BENCHMARK(sendToRecordLatency)->Iterations(5000)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Counts the ends of control sessions the server reports (its connection list becoming empty).
class SessionEnds {
public:
    explicit SessionEnds(const std::shared_ptr<EventStream<ServerEvent>>& events) : events_(events) {
        events_->setWake([this] {
            std::lock_guard lock(mutex_);
            for (const auto& event : events_->drain()) {
                const auto* connections = std::get_if<ServerEvent::Connections>(&event.value);
                if (connections && connections->devices.empty()) ++ended_;
            }
            changed_.notify_all();
        });
    }
    ~SessionEnds() { events_->setWake(nullptr); }
    SessionEnds(const SessionEnds&) = delete;
    SessionEnds& operator=(const SessionEnds&) = delete;

    void waitFor(std::uint64_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ended_ >= count; });
    }

private:
    std::shared_ptr<EventStream<ServerEvent>> events_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t ended_ = 0;
};

// Handshakes in a row: connect, TLS, hello, authenticate, status, and the phone closes; each ended on the
// server's side before the next starts. Returns the seconds they took.
template <class Handshake, class WaitForEnd> double handshakesInARow(int count, Handshake handshake, WaitForEnd ended) {
    const auto start = std::chrono::steady_clock::now();
    for (int index = 0; index < count; ++index) {
        auto connection = handshake();
        connection->cancel();
        ended();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The helper server and the bare OpenSSL server with the same phone, a batch of handshakes to each in turn so
// that both see the same machine. Per handshake: the rate, and the CPU, wake-ups and system calls of the
// server's thread.
void handshakesBesideBareOpenSSL(benchmark::State& state) {
    constexpr int batch = 50;
    Bench bench;
    SessionEnds ends(bench.server->events());
    auto key = bench.sessionKey();
    bench::BareTlsServer bare(OrvikTLS::serverContext(OrvikTLS::lookupIn({key})), bench.deviceID, bench.deviceKey);
    bench::ThreadCounter helperCounter(bench::threadNamed(std::string(HelperServer::threadName).substr(0, 15)));
    bench::ThreadCounter bareCounter(bench::threadNamed(bench::BareTlsServer::threadName));
    bench::ThreadCost helperCost{0, 0, 0.0};
    bench::ThreadCost bareCost{0, 0, 0.0};
    double helperSeconds = 0;
    double bareSeconds = 0;
    std::uint64_t helperEnded = 0;
    std::uint64_t bareEnded = 0;
    for (auto _ : state) {
        auto before = helperCounter.read();
        helperSeconds += handshakesInARow(
            batch, [&] { return bench.onPhone(bench.authenticate()); }, [&] { ends.waitFor(++helperEnded); });
        // The last connection's closing steps.
        std::this_thread::sleep_for(20ms);
        helperCost += helperCounter.read() - before;

        before = bareCounter.read();
        bareSeconds += handshakesInARow(
            batch, [&] { return bench.onPhone(bench.authenticateOn(bare.port())); },
            [&] { bare.waitForEnded(++bareEnded); });
        std::this_thread::sleep_for(20ms);
        bareCost += bareCounter.read() - before;
    }
    const auto handshakes = static_cast<double>(state.iterations() * batch);
    auto helper = helperCost.per(handshakes);
    auto bareOne = bareCost.per(handshakes);
    state.counters["helper_per_s"] = handshakes / helperSeconds;
    state.counters["helper_cpu_us"] = helper.cpuMicroseconds;
    state.counters["helper_wakeups"] = helper.wakeUps;
    state.counters["helper_syscalls"] = helper.syscalls;
    state.counters["bare_per_s"] = handshakes / bareSeconds;
    state.counters["bare_cpu_us"] = bareOne.cpuMicroseconds;
    state.counters["bare_wakeups"] = bareOne.wakeUps;
    state.counters["bare_syscalls"] = bareOne.syscalls;
    state.counters["rate_ratio"] = bareSeconds / helperSeconds;
}
BENCHMARK(handshakesBesideBareOpenSSL)->Iterations(40)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
