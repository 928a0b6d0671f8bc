// Display sleep through the power executor on a DPMS double (Xvfb has no DPMS): the user's setting is given
// back once the displays wake, or when the executor goes.
#include "power/SystemPowerExecutor.hpp"

#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using orvik::test::waitUntil;

// An X server's DPMS; the executor's thread changes it while the test looks.
struct FakeDpmsServer {
    std::mutex mutex;
    bool enabled = false;
    bool displaysOn = true;
    int connections = 0;

    DpmsState state() {
        std::lock_guard lock(mutex);
        return {enabled, displaysOn};
    }
    void wake() {
        std::lock_guard lock(mutex);
        displaysOn = true;
    }
};

class FakeDpms final : public DpmsControlling {
public:
    explicit FakeDpms(std::shared_ptr<FakeDpmsServer> server) : server_(std::move(server)) {}

    std::optional<DpmsState> read() override { return server_->state(); }
    bool enable() override {
        std::lock_guard lock(server_->mutex);
        server_->enabled = true;
        return true;
    }
    bool disable() override {
        std::lock_guard lock(server_->mutex);
        server_->enabled = false;
        server_->displaysOn = true;
        return true;
    }
    bool forceOff() override {
        std::lock_guard lock(server_->mutex);
        if (!server_->enabled) return false;
        server_->displaysOn = false;
        return true;
    }

private:
    std::shared_ptr<FakeDpmsServer> server_;
};

class DisplaySleep : public testing::Test {
protected:
    std::unique_ptr<SystemPowerExecutor> makeExecutor() {
        SystemPowerExecutor::Options options;
        options.openDpms = [server = server_]() -> std::unique_ptr<DpmsControlling> {
            {
                std::lock_guard lock(server->mutex);
                ++server->connections;
            }
            return std::make_unique<FakeDpms>(server);
        };
        return std::make_unique<SystemPowerExecutor>(std::move(options));
    }
    CommandOutcome sleepDisplays(SystemPowerExecutor& executor) {
        std::promise<CommandOutcome> answer;
        executor.run(PowerAction::displaySleep, [&](CommandOutcome outcome) { answer.set_value(std::move(outcome)); });
        return answer.get_future().get();
    }
    bool userSettingBack() { return !server_->state().enabled && server_->state().displaysOn; }

    std::shared_ptr<FakeDpmsServer> server_ = std::make_shared<FakeDpmsServer>();
};

TEST_F(DisplaySleep, aUserWhoHadDpmsOffGetsItBackOnceTheDisplaysWakeEvenAfterASecondSleep) {
    auto executor = makeExecutor();
    EXPECT_EQ(sleepDisplays(*executor), CommandOutcome::success());
    EXPECT_EQ(server_->state().enabled, true) << "forcing a level needs DPMS on";
    EXPECT_EQ(server_->state().displaysOn, false);
    EXPECT_EQ(sleepDisplays(*executor), CommandOutcome::success());
    EXPECT_EQ(server_->state().enabled, true) << "asleep: turning DPMS off would wake the displays";

    server_->wake(); // the user moved the mouse
    EXPECT_TRUE(waitUntil([&] { return userSettingBack(); }));
    EXPECT_EQ(server_->connections, 1) << "the second sleep kept the setting read by the first";
}

TEST_F(DisplaySleep, aUserWhoHadDpmsOnKeepsItAndQuittingWhileAsleepGivesTheSettingBack) {
    server_->enabled = true;
    auto executor = makeExecutor();
    EXPECT_EQ(sleepDisplays(*executor), CommandOutcome::success());
    server_->wake();
    executor.reset();
    EXPECT_EQ(server_->state().enabled, true);

    server_->enabled = false;
    executor = makeExecutor();
    EXPECT_EQ(sleepDisplays(*executor), CommandOutcome::success());
    executor.reset();
    EXPECT_TRUE(userSettingBack());
}

} // namespace
} // namespace orvik::helper
