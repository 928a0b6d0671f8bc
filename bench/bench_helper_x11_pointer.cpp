// What a pointer move costs the helper on a running X server (DISPLAY), from the phone's TLS record to the XTest
// motion, with the production sink and permission probe:
//  - at a finger's rate (one move per record at 120 Hz): CPU, wake-ups and system calls per move over every
//    thread of the process but the phone's, the driver's and the floor's; beside
//  - the floor: one thread that receives the same records over TLS (blocking OpenSSL) and posts each move with
//    XTest itself (XTestFakeMotionEvent, XFlush), counted the same way, in alternate seconds;
//  - a burst of moves sent at once: moves per second until the X server has the last one;
//  - no phone at all while another X client moves the pointer 400 times a second: the helper's wake-ups per
//    second (it has nothing to do).

#include "BareTlsServer.hpp"
#include "BenchServer.hpp"
#include "ThreadCounters.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/transport/FrameReader.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "orvik/protocol/transport/ReceivedMessage.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "permissions/x11/SessionPermissions.hpp"
#include "server/HelperServer.hpp"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <thread>

using namespace orvik;
using namespace orvik::helper;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto fingerInterval = std::chrono::microseconds(1'000'000 / 120);
constexpr int movesPerSegment = 120;
constexpr int burstMoves = 1000;
constexpr auto localMotionInterval = std::chrono::microseconds(1'000'000 / 400);
constexpr int localMotions = 800;
constexpr const char* inputThreadName = "Orvik.X11Input";

// Where the pointer is, asked on a connection of the caller's own.
int pointerX(Display* display) {
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
    return rootX;
}

// The phone's side: a thread with an io_context.
class Phone {
public:
    Phone() {
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "bench-phone");
            context_.run();
        });
    }
    ~Phone() {
        work_.reset();
        context_.stop();
        thread_.join();
    }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    template <class T> T run(asio::awaitable<T> operation) {
        return asio::co_spawn(context_, std::move(operation), asio::use_future).get();
    }
    pid_t thread() { return bench::threadNamed("bench-phone"); }

private:
    asio::io_context context_{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_{asio::make_work_guard(context_)};
    std::thread thread_;
};

// The helper as the desktop runs it: the server with the X11 sink and the permission probe, one paired phone.
class Helper {
public:
    Helper() {
        deviceKey = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
        store->add(PairedDevice{deviceID, "Bench", "Phone", std::chrono::system_clock::now(), std::nullopt}, deviceKey);
        clientContext =
            OrvikTLS::clientContext({OrvikKeys::sessionPSK(deviceKey, deviceID), OrvikKeys::sessionIdentity(deviceID)});
        auto permission =
            std::make_shared<PostEventPermission>(sessionPostEventPermission(std::make_shared<InMemoryUserDefaults>()));
        auto configuration = bench::benchServerConfiguration(store, sink);
        configuration.services.canPostEvents = [permission] { return permission->isGranted(); };
        server = HelperServer::create(serverThread.executor(), std::move(configuration));
        port = bench::startListening(serverThread, *server);
    }
    ~Helper() {
        onServer([](HelperServer& s) { s.stop(); });
        server.reset();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    template <class F> auto onServer(F operation) -> std::invoke_result_t<F, HelperServer&> {
        return bench::onThread(serverThread, [&] { return operation(*server); });
    }

    asio::awaitable<std::shared_ptr<FramedConnection>> authenticate() {
        auto connection = co_await FramedConnection::connect("127.0.0.1", *port, clientContext, 5s);
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

    Uuid deviceID = Uuid::random();
    Bytes deviceKey;
    std::shared_ptr<asio::ssl::context> clientContext;
    std::shared_ptr<InMemoryDeviceStore> store = std::make_shared<InMemoryDeviceStore>();
    std::shared_ptr<CGEventSink> sink = std::make_shared<CGEventSink>(0.4);
    IoThread serverThread{HelperServer::threadName};
    std::shared_ptr<HelperServer> server;
    std::optional<std::uint16_t> port;
};

// The driver (this thread) and the phone are not the helper.
std::vector<pid_t> notTheHelper(Phone& phone) {
    return {static_cast<pid_t>(::gettid()), phone.thread()};
}

// The floor: TLS receive and one XTest motion per record on one thread, nothing else.
class FloorServer {
public:
    explicit FloorServer(std::shared_ptr<asio::ssl::context> context)
        : context_(std::move(context)), listener_(bench::listenOnLoopback(port)) {
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "bench-floor");
            run();
        });
    }
    ~FloorServer() {
        thread_.join();
        ::close(listener_);
    }
    FloorServer(const FloorServer&) = delete;
    FloorServer& operator=(const FloorServer&) = delete;

    std::uint16_t port = 0;

private:
    void run() {
        Display* display = XOpenDisplay(nullptr);
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        SSL* ssl = SSL_new(context_->native_handle());
        SSL_set_fd(ssl, connection);
        SSL_set_read_ahead(ssl, 1);
        int x = 400;
        if (SSL_accept(ssl) == 1) {
            FrameReader reader;
            std::uint8_t buffer[4096];
            for (int count; (count = SSL_read(ssl, buffer, sizeof buffer)) > 0;) {
                reader.append({buffer, static_cast<std::size_t>(count)});
                while (auto frame = reader.next()) {
                    auto received = ReceivedMessage::decode(*frame);
                    const auto* move = received.message() ? received.message()->get<PointerMove>() : nullptr;
                    if (!move) continue;
                    x += static_cast<int>(move->dx);
                    XTestFakeMotionEvent(display, -1, x, 300, CurrentTime);
                    XFlush(display);
                }
            }
        }
        SSL_free(ssl);
        ::close(connection);
        XCloseDisplay(display);
    }

    std::shared_ptr<asio::ssl::context> context_;
    int listener_ = -1;
    std::thread thread_;
};

asio::awaitable<std::shared_ptr<FramedConnection>> connectOnly(std::uint16_t port,
                                                               std::shared_ptr<asio::ssl::context> context) {
    auto connection = co_await FramedConnection::connect("127.0.0.1", port, std::move(context), 5s);
    co_await connection->start(5s);
    co_return connection;
}

// Sends one move per record at a finger's rate for a second, one pixel right and back.
void moveForASecond(FramedConnection& connection, std::uint32_t& sequence) {
    auto next = Clock::now();
    for (int move = 0; move < movesPerSegment; ++move) {
        next += fingerInterval;
        std::this_thread::sleep_until(next);
        connection.send(PointerMove{move % 2 == 0 ? 1.0f : -1.0f, 0, ++sequence});
    }
    std::this_thread::sleep_for(20ms);
}

// The helper and the floor side by side, a second of moves to each in turn, so that both see the same machine
// (its speed drifts by more than the difference between them).
void fingerBesideFloor(benchmark::State& state) {
    Helper helper;
    SymmetricKey::Storage storage{};
    storage.fill(0x42);
    PreSharedKey floorKey{SymmetricKey(storage), "bench"};
    FloorServer floor(OrvikTLS::serverContext(OrvikTLS::lookupIn({floorKey})));
    Phone phone;
    auto toHelper = phone.run(helper.authenticate());
    auto toFloor = phone.run(connectOnly(floor.port, OrvikTLS::clientContext(floorKey)));
    std::this_thread::sleep_for(200ms);
    const pid_t floorThread = bench::threadNamed("bench-floor");
    bench::ProcessCounter helperCounter({static_cast<pid_t>(::gettid()), phone.thread(), floorThread});
    bench::ThreadCounter floorCounter(floorThread);
    bench::ThreadCounter serverCounter(bench::threadNamed(std::string(HelperServer::threadName).substr(0, 15)));
    // The sink's X thread, where it has its name.
    auto named = bench::threadsNamed(inputThreadName);
    std::optional<bench::ThreadCounter> inputCounter;
    if (!named.empty()) inputCounter.emplace(named.front());

    bench::ThreadCost helperCost{0, 0, 0.0};
    bench::ThreadCost floorCost{0, 0, 0.0};
    double serverMicroseconds = 0;
    double inputMicroseconds = 0;
    std::uint32_t sequence = 0;
    for (auto _ : state) {
        auto helperBefore = helperCounter.read();
        auto serverBefore = serverCounter.read().cpuMicroseconds;
        auto inputBefore = inputCounter ? inputCounter->read().cpuMicroseconds : 0;
        moveForASecond(*toHelper, sequence);
        helper.sink->settle();
        helperCost += helperCounter.read() - helperBefore;
        serverMicroseconds += serverCounter.read().cpuMicroseconds - serverBefore;
        if (inputCounter) inputMicroseconds += inputCounter->read().cpuMicroseconds - inputBefore;

        auto floorBefore = floorCounter.read();
        moveForASecond(*toFloor, sequence);
        floorCost += floorCounter.read() - floorBefore;
    }
    const auto moves = static_cast<double>(state.iterations() * movesPerSegment);
    auto perHelperMove = helperCost.per(moves);
    auto perFloorMove = floorCost.per(moves);
    state.counters["helper_cpu_us"] = perHelperMove.cpuMicroseconds;
    state.counters["helper_wakeups"] = perHelperMove.wakeUps;
    state.counters["helper_syscalls"] = perHelperMove.syscalls;
    state.counters["server_thread_cpu_us"] = serverMicroseconds / moves;
    if (inputCounter) state.counters["input_thread_cpu_us"] = inputMicroseconds / moves;
    state.counters["floor_cpu_us"] = perFloorMove.cpuMicroseconds;
    state.counters["floor_wakeups"] = perFloorMove.wakeUps;
    state.counters["floor_syscalls"] = perFloorMove.syscalls;
    state.counters["cpu_ratio"] = perHelperMove.cpuMicroseconds / perFloorMove.cpuMicroseconds;
    toHelper->cancel();
    toFloor->cancel();
}

// Moves of one pixel right, all sent at once; until the X server has put the pointer where the last one goes.
void burst(benchmark::State& state) {
    Helper helper;
    Phone phone;
    auto connection = phone.run(helper.authenticate());
    Display* observer = XOpenDisplay(nullptr);
    std::uint32_t sequence = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        helper.sink->postMouse(MouseEventKind::moved, std::nullopt, {100, 300}, 0, {});
        helper.sink->settle();
        // The controller reads the pointer again after a pause.
        std::this_thread::sleep_for(300ms);
        state.ResumeTiming();
        auto start = Clock::now();
        for (int move = 0; move < burstMoves; ++move) connection->send(PointerMove{1, 0, ++sequence});
        while (pointerX(observer) != 100 + burstMoves) std::this_thread::sleep_for(100us);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    XCloseDisplay(observer);
    state.counters["moves_per_s"] = static_cast<double>(state.iterations()) * burstMoves / seconds;
    connection->cancel();
}

// No phone: another client moves the pointer 400 times a second.
void idleWhileTheLocalPointerMoves(benchmark::State& state) {
    Helper helper;
    Phone phone;
    Display* local = XOpenDisplay(nullptr);
    std::this_thread::sleep_for(200ms);
    bench::ProcessCounter counter(notTheHelper(phone));
    double seconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        auto next = start;
        for (int motion = 0; motion < localMotions; ++motion) {
            next += localMotionInterval;
            std::this_thread::sleep_until(next);
            XTestFakeMotionEvent(local, -1, 200 + motion % 400, 500, CurrentTime);
            XFlush(local);
        }
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    XCloseDisplay(local);
    auto cost = counter.read();
    state.counters["wakeups_per_s"] = cost.wakeUps / seconds;
    state.counters["cpu_us_per_s"] = cost.cpuMicroseconds / seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::puts("bench_helper_x11_pointer: DISPLAY is not set; it needs a running X server (e.g. Xvfb).");
        return 0;
    }
    benchmark::RegisterBenchmark("pointer/finger_120Hz_beside_floor", fingerBesideFloor)
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pointer/burst_1000", burst)->Iterations(10)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pointer/idle_local_motion_400Hz", idleWhileTheLocalPointerMoves)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
