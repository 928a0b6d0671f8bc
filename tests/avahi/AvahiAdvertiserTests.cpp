#include "AvahiTestSupport.hpp"
#include "listener/AvahiAdvertiser.hpp"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace orvik::helper;
using namespace std::chrono_literals;

namespace {

// The server's executor, with every state report collected in order.
class AdvertiserHarness {
public:
    AdvertiserHarness() : work_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {
        runOnExecutor([this] { advertiser_ = std::make_unique<AvahiAdvertiser>(io_.get_executor()); });
    }

    ~AdvertiserHarness() {
        runOnExecutor([this] { advertiser_.reset(); });
        work_.reset();
        io_.stop();
        thread_.join();
    }

    void advertise(BonjourService service) {
        runOnExecutor([this, service] {
            advertiser_->advertise(service, [this](const BonjourState& state) {
                std::lock_guard lock(mutex_);
                states_.push_back(state);
                changed_.notify_all();
            });
        });
    }

    // The next report of the given kind, skipping others; absent after the time-out.
    std::optional<BonjourState> waitFor(BonjourState::Kind kind, std::chrono::seconds timeout = 15s) {
        std::unique_lock lock(mutex_);
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            while (!states_.empty()) {
                auto state = states_.front();
                states_.pop_front();
                if (state.kind == kind) return state;
            }
            if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && states_.empty()) {
                return std::nullopt;
            }
        }
    }

private:
    void runOnExecutor(std::function<void()> work) {
        std::promise<void> done;
        asio::post(io_, [&] {
            work();
            done.set_value();
        });
        done.get_future().wait();
    }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;
    std::unique_ptr<AvahiAdvertiser> advertiser_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<BonjourState> states_;
};

BonjourService testService(std::string name, std::uint16_t port) {
    return {std::move(name), "_orvik._tcp", port, {{"id", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}, {"pv", "1"}}};
}

using AvahiAdvertiserTest = orvik::test::AvahiDaemonTest;
using orvik::test::browseOrvikServices;
using orvik::test::browseSees;

TEST_F(AvahiAdvertiserTest, WaitsForTheDaemonThenRegistersWithTheTxtRecord) {
    AdvertiserHarness harness;
    harness.advertise(testService("Orvik Test Mac", 4242));
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::daemonUnavailable));

    startDaemon();
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Test Mac");
    EXPECT_FALSE(registered->hostName.empty());
    EXPECT_TRUE(browseSees("Orvik\\032Test\\032Mac;_orvik._tcp;local;", 10s));
    auto listing = browseOrvikServices();
    EXPECT_NE(listing.find(";4242;"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\"id=E621E1F8-C36C-495A-93FC-0C247A3E6E5F\""), std::string::npos) << listing;
    EXPECT_NE(listing.find("\"pv=1\""), std::string::npos) << listing;
}

TEST_F(AvahiAdvertiserTest, RegistersAgainAfterTheDaemonRestarts) {
    startDaemon();
    AdvertiserHarness harness;
    harness.advertise(testService("Orvik Restart", 4243));
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::registered));

    stopDaemon();
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::daemonUnavailable));
    startDaemon();
    ASSERT_TRUE(harness.waitFor(BonjourState::Kind::registered));
    EXPECT_TRUE(browseSees("Orvik\\032Restart;", 10s));
}

TEST_F(AvahiAdvertiserTest, TakesTheAlternativeNameOnACollision) {
    startDaemon();
    AdvertiserHarness other;
    other.advertise(testService("Orvik Twin", 5000));
    ASSERT_TRUE(other.waitFor(BonjourState::Kind::registered));

    AdvertiserHarness harness;
    harness.advertise(testService("Orvik Twin", 5001));
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Twin #2");
    EXPECT_TRUE(browseSees("Orvik\\032Twin\\032\\0352;", 10s));
}

TEST_F(AvahiAdvertiserTest, AnEarlierAdvertisementReportsNothingAfterWithdrawal) {
    startDaemon();
    AdvertiserHarness harness;
    harness.advertise(testService("Orvik First", 4244));
    harness.advertise(testService("Orvik Second", 4245));
    auto registered = harness.waitFor(BonjourState::Kind::registered);
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->name, "Orvik Second");
    EXPECT_FALSE(harness.waitFor(BonjourState::Kind::registered, 2s));
}

} // namespace
