#include "listener/ListenerController.hpp"

#include "core/InMemoryUserDefaults.hpp"
#include "core/tests/CapturedLog.hpp"
#include "listener/BonjourRecorder.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// The controller on an io_context run by the test itself, one handler at a time.
class ListenerControllerFixture : public ::testing::Test {
protected:
    std::shared_ptr<ListenerController> make(ListenerOptions options) {
        auto controller = ListenerController::make(io.get_executor(), std::move(options), defaults, bonjour->factory());
        controller->onStatus = [this](ListenerStatus status) { statuses.push_back(status); };
        return controller;
    }

    static ListenerOptions loopback(std::optional<std::string> key = std::nullopt, bool advertise = false) {
        return ListenerOptions{advertise, true, std::move(key)};
    }

    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds wait = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            if (io.stopped()) io.restart();
            io.run_one_for(10ms);
        }
        return true;
    }

    std::optional<std::uint16_t> readyPort(std::size_t skip = 0) {
        std::size_t seen = 0;
        for (const auto& status : statuses) {
            if (status.readyPort() && seen++ == skip) return status.readyPort();
        }
        return std::nullopt;
    }

    std::size_t count(bool (*matches)(const ListenerStatus&)) const {
        return static_cast<std::size_t>(std::count_if(statuses.begin(), statuses.end(), matches));
    }
    static bool isStarting(const ListenerStatus& s) { return s.get<ListenerStatus::Starting>() != nullptr; }
    static bool isReady(const ListenerStatus& s) { return s.readyPort().has_value(); }
    static bool isFailed(const ListenerStatus& s) { return s.get<ListenerStatus::Failed>() != nullptr; }

    asio::io_context io;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<BonjourRecorder> bonjour = BonjourRecorder::make();
    std::vector<ListenerStatus> statuses;
};

TEST_F(ListenerControllerFixture, AReadyListenerReportsItsPortAndRemembersIt) {
    auto controller = make(loopback("listenerPort"));
    EXPECT_EQ(controller->port(), std::nullopt);
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    EXPECT_TRUE(isStarting(statuses.front()));
    EXPECT_EQ(controller->port(), readyPort());
    EXPECT_EQ(defaults->integer("listenerPort"), *readyPort());
    controller->stop();
    EXPECT_TRUE(bonjour->calls().empty()) << "not advertised: the daemon is never asked";

    // The next controller asks for the same port again.
    statuses.clear();
    auto next = make(loopback("listenerPort"));
    EXPECT_EQ(next->port(), controller->port());
    next->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    EXPECT_EQ(readyPort(), controller->port());
}

TEST_F(ListenerControllerFixture, StoredPortsOutsideTheRangeAreIgnoredAndWithoutAKeyNothingIsStored) {
    for (std::int64_t stored : {0, -1, 65536, 100000}) {
        defaults->setInteger("listenerPort", stored);
        EXPECT_EQ(make(loopback("listenerPort"))->port(), std::nullopt) << stored;
    }
    auto changes = defaults->changeCount();
    auto controller = make(loopback());
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    EXPECT_EQ(defaults->changeCount(), changes);
}

TEST_F(ListenerControllerFixture, NewKeysRebindOnTheSamePortAndTwoQuickStartsBindOnce) {
    auto controller = make(loopback());
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    const auto port = readyPort();
    controller->start({}, {{"id", "first"}});
    controller->start({}, {{"id", "second"}});
    ASSERT_TRUE(runUntil([&] { return readyPort(1).has_value(); }));
    io.restart();
    io.run_for(1100ms); // past the retire fallback: nothing more is bound
    EXPECT_EQ(readyPort(1), port);
    EXPECT_EQ(count(isStarting), 2u);
    EXPECT_EQ(count(isReady), 2u);
}

TEST_F(ListenerControllerFixture, ConnectionsGoToTheHandlerAThrowingHandlerLosesOnlyOneAndStopCloses) {
    auto controller = make(loopback());
    std::vector<IncomingConnection> accepted;
    int offered = 0;
    controller->onConnection = [&](IncomingConnection connection) {
        if (offered++ == 0) throw std::runtime_error("no room for a session");
        accepted.push_back(std::move(connection));
    };
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));

    asio::ip::tcp::socket first(io), second(io);
    first.connect({asio::ip::address_v4::loopback(), *readyPort()});
    ASSERT_TRUE(runUntil([&] { return offered == 1; }));
    second.connect({asio::ip::address_v4::loopback(), *readyPort()});
    ASSERT_TRUE(runUntil([&] { return !accepted.empty(); }));
    EXPECT_TRUE(accepted[0].tls);
    EXPECT_EQ(accepted[0].socket.remote_endpoint().port(), second.local_endpoint().port());
    EXPECT_EQ(accepted[0].peer, second.local_endpoint()) << "as accept reported it";
    EXPECT_EQ(count(isFailed), 0u);
    // Input events are tiny and latency-bound: no-delay and keep-alive come with the socket.
    asio::ip::tcp::no_delay noDelay;
    asio::socket_base::keep_alive keepAlive;
    accepted[0].socket.get_option(noDelay);
    accepted[0].socket.get_option(keepAlive);
    EXPECT_TRUE(noDelay.value());
    EXPECT_TRUE(keepAlive.value());

    controller->stop();
    io.restart();
    io.run_for(50ms);
    asio::ip::tcp::socket late(io);
    std::error_code error;
    late.connect({asio::ip::address_v4::loopback(), *readyPort()}, error);
    EXPECT_EQ(error, asio::error::connection_refused);

    // After stop a start binds at once.
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort(1).has_value(); }));
}

// The descriptors of this process whose own address has `port`: the listening socket and the connections it
// accepted, with whether each is closed on exec.
std::vector<bool> closedOnExecOnPort(std::uint16_t port) {
    constexpr int descriptorsLooked = 1024;
    std::vector<bool> found;
    for (int descriptor = 0; descriptor < descriptorsLooked; ++descriptor) {
        const int flags = ::fcntl(descriptor, F_GETFD);
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (flags < 0 || ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
        if (address.ss_family != AF_INET || ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port) != port) continue;
        found.push_back((flags & FD_CLOEXEC) != 0);
    }
    return found;
}

TEST_F(ListenerControllerFixture, TheListeningSocketAndTheAcceptedConnectionsAreClosedOnExec) {
    auto controller = make(loopback());
    std::vector<IncomingConnection> accepted;
    controller->onConnection = [&](IncomingConnection connection) { accepted.push_back(std::move(connection)); };
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    asio::ip::tcp::socket phone(io);
    phone.connect({asio::ip::address_v4::loopback(), *readyPort()});
    ASSERT_TRUE(runUntil([&] { return !accepted.empty(); }));
    EXPECT_EQ(closedOnExecOnPort(*readyPort()), (std::vector<bool>{true, true}));
}

TEST_F(ListenerControllerFixture, APortInUseFailsAndTheRetryTakesAnyFreePort) {
    asio::ip::tcp::acceptor holder(io, {asio::ip::address_v4::loopback(), 0});
    const auto taken = holder.local_endpoint().port();
    defaults->setInteger("listenerPort", taken);
    auto controller = make(loopback("listenerPort"));
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return count(isFailed) == 1; }));
    EXPECT_EQ(controller->port(), std::nullopt); // forgotten, so the retry asks for any port
    EXPECT_EQ(controller->retryDelay(), 2.0);
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }, 5s));
    EXPECT_NE(readyPort(), taken);
    EXPECT_EQ(defaults->integer("listenerPort"), *readyPort());
    EXPECT_EQ(controller->retryDelay(), 1.0);

    std::vector<double> delays{ListenerController::initialRetryDelay};
    while (delays.size() < 8) delays.push_back(ListenerController::nextRetryDelay(delays.back()));
    EXPECT_EQ(delays, (std::vector<double>{1, 2, 4, 8, 16, 30, 30, 30}));
}

// The soft limit of open files, lowered so that the process's next descriptor is refused, for one scope.
class NoDescriptorLeft {
public:
    NoDescriptorLeft() {
        // UBSan checks an object's type the first time it meets it by writing it to a pipe, which takes
        // descriptors: it meets the accept's error here, while there are some.
        static_cast<void>(std::error_code(EMFILE, asio::error::get_system_category()) == asio::error::no_descriptors);
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        // The lowest free descriptor: the next one the process would get.
        const int next = ::dup(0);
        ::close(next);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(next);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~NoDescriptorLeft() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    NoDescriptorLeft(const NoDescriptorLeft&) = delete;
    NoDescriptorLeft& operator=(const NoDescriptorLeft&) = delete;

private:
    rlimit saved_{};
};

// Mend: out of descriptors, the accept failed the listener, logged "Listener failed" at every retry and bound it
// anew, dropping the connections waiting in its backlog. Now the connection waits there until one is free.
TEST_F(ListenerControllerFixture, WithoutAFreeDescriptorAPhoneWaitsInTheBacklogAndTheListenerStays) {
    testing::CapturedLog log;
    auto controller = make(loopback());
    std::vector<IncomingConnection> accepted;
    controller->onConnection = [&](IncomingConnection connection) { accepted.push_back(std::move(connection)); };
    controller->start({}, {});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    asio::ip::tcp::socket first(io), phone(io);
    first.connect({asio::ip::address_v4::loopback(), *readyPort()});
    ASSERT_TRUE(runUntil([&] { return accepted.size() == 1; }));
    phone.open(asio::ip::tcp::v4()); // its own descriptor, taken while there are some
    std::size_t handlersRun = 0;
    {
        NoDescriptorLeft full;
        phone.connect({asio::ip::address_v4::loopback(), *readyPort()});
        io.restart();
        const auto deadline = std::chrono::steady_clock::now() + 2 * ListenerController::longestRoomWait;
        while (std::chrono::steady_clock::now() < deadline) handlersRun += io.run_one_for(10ms);
    }
    EXPECT_EQ(accepted.size(), 1u);
    EXPECT_EQ(count(isFailed), 0u);
    EXPECT_EQ(count(isStarting), 1u) << "not bound anew";
    // Gross bound: a loop that asks again at once runs thousands of times.
    EXPECT_LT(handlersRun, 100u);
    ASSERT_TRUE(runUntil([&] { return accepted.size() == 2; }));
    EXPECT_EQ(accepted[1].peer, phone.local_endpoint());
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const auto& line) { return line.text.starts_with("Listener: Accepting waits"); }),
              1);
}

TEST_F(ListenerControllerFixture, TheReadyListenerIsAdvertisedOnceAndWithdrawnAtStop) {
    auto controller = make(loopback(std::nullopt, true));
    controller->start({}, {{"id", "X"}, {"pv", "1"}});
    ASSERT_TRUE(runUntil([&] { return readyPort().has_value(); }));
    auto advertised = bonjour->current();
    ASSERT_TRUE(advertised);
    EXPECT_EQ(advertised->type, "_orvik._tcp");
    EXPECT_EQ(advertised->name, "");
    EXPECT_EQ(advertised->port, *readyPort());
    EXPECT_EQ(advertised->txt, (std::map<std::string, std::string>{{"id", "X"}, {"pv", "1"}}));

    // A new key set on the same port and record does not disturb the advertisement.
    controller->start({}, {{"id", "X"}, {"pv", "1"}});
    ASSERT_TRUE(runUntil([&] { return readyPort(1).has_value(); }));
    EXPECT_EQ(bonjour->calls().size(), 1u);

    controller->stop();
    EXPECT_FALSE(bonjour->current());
    ASSERT_EQ(bonjour->calls().size(), 2u);
    EXPECT_EQ(bonjour->calls()[1].kind, BonjourRecorder::Call::Kind::withdraw);
}

// An advertiser reports the same state again and again (a daemon that stays away): the log says it once per change.
TEST_F(ListenerControllerFixture, EachAdvertisingStateIsLoggedOnce) {
    testing::CapturedLog log;
    auto controller = make(loopback(std::nullopt, true));
    controller->start({}, {{"id", "X"}});
    ASSERT_TRUE(runUntil([&] { return bonjour->current().has_value(); }));
    const BonjourState waiting{BonjourState::Kind::daemonUnavailable, {}, "Daemon not running", {}};
    const BonjourState registered{BonjourState::Kind::registered, "Desk", {}, "desk"};
    for (const auto& state : {waiting, waiting, waiting, registered, registered, waiting}) {
        bonjour->report(state);
        io.restart();
        io.poll();
    }
    std::vector<std::string> lines;
    for (const auto& line : log.lines()) {
        if (line.text.find("Advertis") != std::string::npos) lines.push_back(line.text);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Listener: Advertising waits for the mDNS daemon",
                                               "Listener: Advertising as Desk",
                                               "Listener: Advertising waits for the mDNS daemon"}));
}

} // namespace
} // namespace orvik::helper
