// What keeps a paired phone out while it connects, over real TLS on loopback.
//
// Strangers: a phone whose every flight leaves late (a poor Wi-Fi link; in some rows the helper's flights reach it
// as late) authenticates again and again while keyless strangers churn connections that never finish TLS, from 4 to
// 1,000 loopback addresses at 40 to 4,000 connects a second: each sends half a ClientHello and closes after 0.5 s, or
// a whole ClientHello and waits 3.5 s (past the helper's 3 s TLS limit), or announces the largest ClientHello
// OpenSSL takes (its header alone, or all of it but the last byte) or the largest the helper takes, and waits. First
// the memory the connections inside TLS take when all their places are held (also by strangers sending the largest
// ClientHello TLS takes); then for each row how many of the phone's attempts got in, the median successful attempt, the
// strangers' rate reached and the share of a core the server's thread used.
//
// Key load (under tests/support/run-with-private-bus --keyring): a start with many paired devices whose keys are in
// the keyring; a phone retries every 0.1 s from the moment the server listens. When it got in against the end of
// the store's key read, and how many failed handshakes its address was charged.
//
//   bench_helper_pending_handshakes [TRIALS]              (default 50 per row)
//   bench_helper_pending_handshakes --key-load [DEVICES]  (default 1000)

#include "BenchDevices.hpp"
#include "BenchServer.hpp"
#include "SlowLinkPhone.hpp"
#include "StrangerCrowd.hpp"
#include "ThreadCounters.hpp"
#include "core/FileUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "injection/RecordingSink.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "pairing/DeviceList.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/secretservice/SecretServiceVault.hpp"
#include "server/HelperServer.hpp"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace orvik;
using namespace orvik::helper;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;
using Kind = test::StrangerCrowd::Kind;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A server on loopback over `store`, on a thread of its own.
struct Server {
    explicit Server(std::shared_ptr<PairedDeviceStore> store)
        : server(HelperServer::create(
              thread.executor(), bench::benchServerConfiguration(std::move(store), std::make_shared<RecordingSink>()))),
          port(bench::startListening(thread, *server)) {}
    ~Server() {
        bench::onThread(thread, [this] { server->stop(); });
        server.reset();
    }

    template <class F> auto onServer(F operation) {
        return bench::onThread(thread, [&] { return operation(*server); });
    }
    // Failed handshakes charged to the address (the log keeps the newest 50).
    std::size_t failuresOf(const std::string& address) {
        auto log = onServer([](HelperServer& s) { return s.recentHandshakeFailures(); });
        return static_cast<std::size_t>(
            std::count_if(log.begin(), log.end(), [&](const auto& failure) { return failure.address == address; }));
    }

    IoThread thread{HelperServer::threadName};
    std::shared_ptr<HelperServer> server;
    std::uint16_t port;
};

const char* nameOf(Kind kind) {
    switch (kind) {
    case Kind::halfHelloThenClose: return "half";
    case Kind::wholeHelloThenWait: return "whole";
    case Kind::largestHelloThenWait: return "largest";
    case Kind::limitHelloThenWait: return "limit";
    case Kind::largestHeaderThenWait: return "header";
    }
    return "";
}

struct Row {
    Kind kind;
    int addresses;
    double connectsPerSecond;
    std::chrono::milliseconds flightDelay;
    // The helper's flights reach the phone as late as its own reach the helper.
    bool lateBothWays = false;
};

void strangerRow(const Row& row, int trials) {
    auto store = std::make_shared<InMemoryDeviceStore>();
    const Uuid deviceID = Uuid::random();
    const Bytes deviceKey = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
    store->add(PairedDevice{deviceID, "Phone", "iPhone15,2", std::chrono::system_clock::now(), std::nullopt},
               deviceKey);
    Server server(store);
    test::SlowLinkPhone phone{server.port, "127.0.0.1", deviceID, deviceKey, row.flightDelay};
    phone.lateBothWays = row.lateBothWays;

    const bool waits = row.kind != Kind::halfHelloThenClose;
    test::StrangerCrowd crowd({server.port, row.kind, row.addresses, row.connectsPerSecond, waits ? 3500ms : 500ms});
    // Until the strangers are as many as they will be.
    std::this_thread::sleep_for(waits ? 3s : 1s);
    // Thread names are cut to 15 characters.
    bench::ThreadCounter serverThread(bench::threadNamed(std::string(HelperServer::threadName).substr(0, 15)));
    const auto started = Clock::now();
    const auto connectsBefore = crowd.connects();
    int authenticated = 0;
    std::vector<double> attempts;
    for (int trial = 0; trial < trials; ++trial) {
        const auto at = Clock::now();
        if (phone.authenticates()) {
            ++authenticated;
            attempts.push_back(millisecondsSince(at));
        }
        std::this_thread::sleep_for(50ms);
    }
    const double seconds = millisecondsSince(started) / 1000;
    const auto cost = serverThread.read();
    std::printf("%-7s %5d %6.0f %4lld ms %-4s %3d/%-3d %7.0f ms  %7.0f/s  %5.1f %%\n", nameOf(row.kind), row.addresses,
                row.connectsPerSecond, static_cast<long long>(row.flightDelay.count()),
                row.lateBothWays ? "both" : "one", authenticated, trials, median(attempts),
                static_cast<double>(crowd.connects() - connectsBefore) / seconds, cost.cpuMicroseconds / seconds / 1e4);
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void poolMemory(Kind kind) {
    Server server(std::make_shared<InMemoryDeviceStore>());
    auto pendingCount = [&] { return server.onServer([](HelperServer& s) { return s.pendingHandshakeCount(); }); };
    const auto heapBefore = ::mallinfo2().uordblks;
    const auto residentBefore = residentBytes();
    // More held at once than there are places: 2.5 s at 400 a second, from 200 addresses.
    test::StrangerCrowd crowd({server.port, kind, 200, 400, 2500ms});
    // Until the places are all taken (a few seconds at most).
    const auto started = Clock::now();
    while (pendingCount() < static_cast<std::int64_t>(HelperServer::maxInsideTLS) &&
           millisecondsSince(started) < 2000) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(500ms);
    const auto held = static_cast<double>(pendingCount());
    const double heap = static_cast<double>(::mallinfo2().uordblks) - static_cast<double>(heapBefore);
    const double resident = static_cast<double>(residentBytes()) - static_cast<double>(residentBefore);
    std::printf("%-7s ClientHello, %.0f connections inside TLS: heap %+.1f MB", nameOf(kind), held, heap / 1e6);
    if (held > 0) std::printf(" (%.1f KB each)", heap / held / 1e3);
    std::printf(", resident %+.1f MB\n", resident / 1e6);
}

void strangers(int trials) {
    // The strangers hold up to 7,000 sockets at once.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    std::printf("places inside TLS: %zu, %zu per address; past TLS: %zu, %zu per address\n", HelperServer::maxInsideTLS,
                HelperServer::maxInsideTLSPerAddress, HelperServer::maxPendingHandshakes,
                HelperServer::maxPendingPerAddress);
    // First, while the heap has not yet grown for other rows.
    poolMemory(Kind::halfHelloThenClose);
    poolMemory(Kind::wholeHelloThenWait);
    poolMemory(Kind::largestHelloThenWait);
    poolMemory(Kind::limitHelloThenWait);
    poolMemory(Kind::largestHeaderThenWait);
    std::printf("hello   addrs  conn/s delay  ways phone in  median    strangers  server thread CPU\n");
    const Row rows[] = {
        {Kind::halfHelloThenClose, 4, 40, 50ms},
        {Kind::halfHelloThenClose, 4, 400, 50ms},
        {Kind::halfHelloThenClose, 200, 40, 50ms},
        {Kind::halfHelloThenClose, 200, 400, 50ms},
        {Kind::wholeHelloThenWait, 4, 40, 50ms},
        {Kind::wholeHelloThenWait, 4, 400, 50ms},
        {Kind::wholeHelloThenWait, 200, 40, 50ms},
        {Kind::wholeHelloThenWait, 200, 400, 50ms},
        {Kind::halfHelloThenClose, 200, 400, 10ms},
        {Kind::wholeHelloThenWait, 200, 400, 10ms},
        // More addresses than places, at far higher rates: the pool turns over faster than the phone's handshake.
        {Kind::halfHelloThenClose, 1000, 2000, 50ms},
        {Kind::wholeHelloThenWait, 1000, 2000, 50ms},
        {Kind::halfHelloThenClose, 1000, 4000, 50ms},
        {Kind::wholeHelloThenWait, 1000, 4000, 50ms},
        // A link late both ways, as Wi-Fi is: the phone needs about 0.15 s from the accept to its second flight.
        {Kind::halfHelloThenClose, 1000, 1000, 50ms, true},
        {Kind::wholeHelloThenWait, 1000, 1000, 50ms, true},
        {Kind::halfHelloThenClose, 1000, 2000, 50ms, true},
        {Kind::wholeHelloThenWait, 1000, 2000, 50ms, true},
        // Strangers announcing the largest ClientHello, refused once its header is in.
        {Kind::largestHeaderThenWait, 300, 400, 50ms},
        {Kind::largestHelloThenWait, 300, 400, 50ms},
        {Kind::largestHeaderThenWait, 300, 400, 50ms, true},
        {Kind::largestHelloThenWait, 300, 400, 50ms, true},
        // The longest ClientHello the helper takes, all but its last byte.
        {Kind::limitHelloThenWait, 300, 400, 50ms},
        {Kind::limitHelloThenWait, 300, 400, 50ms, true},
    };
    for (const auto& row : rows) strangerRow(row, trials);
}

void keyLoad(std::size_t count) {
    bench::TemporaryFolder folder;
    const auto devices = bench::pairedPhones(count);
    auto keyring = std::make_shared<SecretServiceVault>();
    const Bytes deviceKey = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
    auto defaults = std::make_shared<FileUserDefaults>(folder.path / "defaults.json");
    defaults->setData(KeychainDeviceStore::metadataKey, DeviceList(devices).encode());
    for (const auto& device : devices) keyring->write(device.id, "Orvik Helper: " + device.name, deviceKey);
    std::printf("%zu paired devices, every key in the keyring\n", count);

    for (int round = 0; round < 5; ++round) {
        const auto started = Clock::now();
        auto store = std::make_shared<KeychainDeviceStore>(defaults, keyring,
                                                           std::make_shared<KeyFileVault>(folder.path / "keys.json"));
        Server server(store);
        const auto& device = devices[count / 2];
        const test::SlowLinkPhone phone{server.port, "127.0.0.1", device.id, deviceKey, 0ms, 3000ms};
        std::atomic<double> loadedAt = -1;
        std::thread watcher([&] {
            while (!store->keysLoaded()) std::this_thread::sleep_for(1ms);
            loadedAt = millisecondsSince(started);
        });
        int attempts = 0;
        auto next = Clock::now();
        for (bool in = false; !in && attempts < 100; ++attempts) {
            std::this_thread::sleep_until(next);
            next += 100ms;
            in = phone.authenticates();
        }
        const double inAt = millisecondsSince(started);
        watcher.join();
        std::printf("keys read after %.0f ms; the phone got in after %.0f ms (%+.0f ms), %d attempts, "
                    "%zu failed handshakes charged\n",
                    loadedAt.load(), inAt, inAt - loadedAt.load(), attempts, server.failuresOf("127.0.0.1"));
    }
    for (const auto& device : devices) keyring->remove(device.id);
}

} // namespace

int main(int argc, char** argv) {
    // Each row as it is measured.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        if (argc > 1 && std::strcmp(argv[1], "--key-load") == 0) {
            if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
                std::fprintf(stderr, "run under tests/support/run-with-private-bus --keyring\n");
                return 2;
            }
            keyLoad(argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 1000);
        } else {
            strangers(argc > 1 ? std::atoi(argv[1]) : 50);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
