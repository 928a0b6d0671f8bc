// Bonjour advertising against a real avahi-daemon confined to the loopback interface, on a bus of the test's own:
// tests/support/run-with-private-bus --avahi gives the command that starts the daemon, which each test starts and
// stops itself.
#include "ChildProcess.hpp"
#include "ProcessUsage.hpp"
#include "ServerHarness.hpp"
#include "WaitUntil.hpp"
#include "core/IoThread.hpp"
#include "core/tests/CapturedLog.hpp"
#include "listener/avahi/AvahiAdvertiser.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using orvik::test::ChildProcess;

// The resolved entry ("=;…") of the service on `port` as `avahi-browse -rtp` lists it, split at ";" (name,
// host, port and TXT record at 3, 6, 8 and 9); empty when it was not listed within `limit`.
std::vector<std::string> resolvedService(std::uint16_t port, std::chrono::milliseconds limit = 10s) {
    std::vector<std::string> found;
    orvik::test::waitUntil(
        [&] {
            for (const auto& line : ChildProcess::run({"avahi-browse", "-rtp", "_orvik._tcp"}, 10s).lines) {
                std::vector<std::string> fields;
                std::istringstream parts(line);
                for (std::string field; std::getline(parts, field, ';');) fields.push_back(field);
                if (fields.size() >= 10 && fields[0] == "=" && fields[8] == std::to_string(port)) found = fields;
            }
            return !found.empty();
        },
        limit, [] { std::this_thread::sleep_for(200ms); });
    return found;
}

// A test that runs a private avahi-daemon, started and stopped by pid.
class AvahiDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* start = std::getenv("ORVIK_TEST_AVAHI_START");
        if (start == nullptr) GTEST_SKIP() << "run through tests/support/run-with-private-bus --avahi";
        startCommand_ = start;
    }

    void startDaemon() { daemon_.emplace(std::vector<std::string>{startCommand_}); }
    void stopDaemon() { daemon_.reset(); }

private:
    std::string startCommand_;
    std::optional<ChildProcess> daemon_;
};

// An advertiser on a server thread of its own, with every state report collected in order.
class AdvertiserHarness {
public:
    AdvertiserHarness() {
        onServer([this] { advertiser_ = std::make_unique<AvahiAdvertiser>(server_.executor()); });
    }
    ~AdvertiserHarness() {
        onServer([this] { advertiser_.reset(); });
    }

    void advertise(const std::string& name, std::uint16_t port) {
        BonjourService service{
            name, "_orvik._tcp", port, {{"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}, {"pv", "1"}}};
        onServer([this, service] {
            advertiser_->advertise(service, [this](const BonjourState& state) {
                std::lock_guard lock(mutex_);
                states_.push_back(state);
            });
        });
    }

    // The next report of the given kind, skipping others; absent when none came within `limit`.
    std::optional<BonjourState> waitFor(BonjourState::Kind kind, std::chrono::milliseconds limit = 15s) {
        std::optional<BonjourState> found;
        orvik::test::waitUntil(
            [&] {
                std::lock_guard lock(mutex_);
                for (; !found && !states_.empty(); states_.pop_front()) {
                    if (states_.front().kind == kind) found = states_.front();
                }
                return found.has_value();
            },
            limit);
        return found;
    }

private:
    void onServer(const std::function<void()>& work) {
        std::packaged_task<void()> task(work);
        auto done = task.get_future();
        asio::post(server_.executor(), [&task] { task(); });
        done.get();
    }

    IoThread server_{"Orvik.Test"};
    std::unique_ptr<AvahiAdvertiser> advertiser_;
    std::mutex mutex_;
    std::deque<BonjourState> states_;
};

using AvahiAdvertiserFixture = AvahiDaemonTest;

TEST_F(AvahiAdvertiserFixture, WaitsForTheDaemonThenRegistersWithTheTxtRecord) {
    AdvertiserHarness harness;
    harness.advertise("Orvik Test Mac", 4242);
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::daemonUnavailable));

    startDaemon();
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Test Mac");
    EXPECT_FALSE(registered->hostName.empty());
    auto fields = resolvedService(4242);
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields[3], "Orvik\\032Test\\032Mac");
    EXPECT_NE(fields[9].find("\"id=E621E1F8-C36C-495A-93FC-0C247A3E6E5F\""), std::string::npos) << fields[9];
    EXPECT_NE(fields[9].find("\"pv=1\""), std::string::npos) << fields[9];
}

TEST_F(AvahiAdvertiserFixture, RegistersAgainAfterTheDaemonRestarts) {
    startDaemon();
    AdvertiserHarness harness;
    harness.advertise("Orvik Restart", 4243);
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::registered));

    stopDaemon();
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::daemonUnavailable));
    startDaemon();
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::registered));
    EXPECT_EQ(resolvedService(4243).at(3), "Orvik\\032Restart");
}

TEST_F(AvahiAdvertiserFixture, TakesTheAlternativeNameOnACollision) {
    startDaemon();
    AdvertiserHarness other;
    other.advertise("Orvik Twin", 5000);
    ASSERT_TRUE(other.waitFor(BonjourState::Kind::registered));

    AdvertiserHarness harness;
    harness.advertise("Orvik Twin", 5001);
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Twin #2");
    EXPECT_EQ(resolvedService(5001).at(3), "Orvik\\032Twin\\032\\0352");
}

TEST_F(AvahiAdvertiserFixture, AnEarlierAdvertisementReportsNothingAfterWithdrawal) {
    startDaemon();
    AdvertiserHarness harness;
    harness.advertise("Orvik First", 4244);
    harness.advertise("Orvik Second", 4245);
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Second");
    EXPECT_FALSE(harness.waitFor(BonjourState::Kind::registered, 2s));
}

// A system bus that starts later, at `folder`/bus: any user may connect (avahi-daemon runs as its own) and own
// any name.
std::string laterBusConfig(const std::filesystem::path& folder) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>unix:path=" +
           (folder / "bus").string() +
           "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
           "</policy></busconfig>\n";
}

// No system bus at all at first (run in a process of its own, see CMakeLists.txt): the advertiser says the daemon
// is unavailable once and then sleeps until the bus's socket appears (trying again every few seconds would wake it each
// time); it then waits for the daemon on that bus and registers.
TEST_F(AvahiAdvertiserFixture, WithoutASystemBusWaitsForItsSocketWithoutWakingThenRegisters) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvik-later-system-bus-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // avahi-daemon, which runs as its own user, reaches the socket through it.
    ::chmod(folder.c_str(), 0755);
    const std::string ownBus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder / "bus").string()).c_str(), 1);
    {
        testing::CapturedLog log;
        AdvertiserHarness harness;
        harness.advertise("Orvik Later", 4246);
        ASSERT_TRUE(harness.waitFor(BonjourState::Kind::daemonUnavailable));
        // After one more attempt a moment later, none.
        ASSERT_TRUE(orvik::test::ProcessUsage::waitUntilQuiet(getpid(), "Orvik.Avahi", 1500ms));
        const auto before = orvik::test::ProcessUsage::of(getpid());
        std::this_thread::sleep_for(6s);
        const auto after = orvik::test::ProcessUsage::of(getpid());
        EXPECT_EQ(after->wakeUpsOf("Orvik.Avahi") - before->wakeUpsOf("Orvik.Avahi"), 0U);
        const auto lines = log.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const auto& line) { return line.text.find("unavailable") != std::string::npos; }),
                  1);

        std::ofstream(folder / "bus.conf") << laterBusConfig(folder);
        ChildProcess bus({"dbus-daemon", "--config-file=" + (folder / "bus.conf").string(), "--nopidfile", "--nofork"});
        startDaemon();
        EXPECT_TRUE(harness.waitFor(BonjourState::Kind::registered));
        stopDaemon();
    }
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ownBus.c_str(), 1);
    std::filesystem::remove_all(folder);
}

using ServerAdvertising = AvahiDaemonTest;

TEST_F(ServerAdvertising, TheListenerIsAdvertisedWithTheIdentityAndThePairingWindowNamesTheDaemonsHost) {
    startDaemon();
    orvik::test::ServerHarness::Options options;
    options.listenerOptions = {.advertise = true, .loopbackOnly = true, .portDefaultsKey = std::nullopt};
    options.makeAdvertiser = AvahiAdvertiser::factory();
    orvik::test::ServerHarness harness(std::move(options));
    harness.start();

    auto fields = resolvedService(harness.port, 15s);
    ASSERT_FALSE(fields.empty());
    const std::string& txt = fields[9];
    for (const std::string& entry : {"id=" + harness.identity.helperID.text(), std::string("pv=1"),
                                     std::string("hv=1.0"), std::string("m=TestModel1,1")}) {
        EXPECT_NE(txt.find('"' + entry + '"'), std::string::npos) << txt;
    }

    // The daemon's host name reaches the pairing window's addresses once the service is registered.
    HostPort expected{fields[6], harness.port};
    bool named = harness.waitUntil(
        [&](HelperServer& server) {
            auto info = server.startPairing();
            return info && std::ranges::find(info->addresses, expected) != info->addresses.end();
        },
        10s);
    EXPECT_TRUE(named) << "expected " << expected.description();
}

} // namespace
} // namespace orvik::helper
