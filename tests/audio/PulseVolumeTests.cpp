#include "audio/PulseVolume.hpp"

#include "ChildProcess.hpp"
#include "PrivatePulseServer.hpp"
#include "ProcessUsage.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <limits>
#include <memory>
#include <sstream>
#include <thread>

namespace orvik::helper {
namespace {

using orvik::test::ChildProcess;
using orvik::test::waitUntil;
using namespace std::chrono_literals;

// Waits for a change's completion: whether the sound server confirmed it.
bool waitForAnswer(const std::function<void(VolumeControlling::Done)>& change) {
    std::promise<bool> answer;
    auto answered = answer.get_future();
    change([&answer](bool confirmed) { answer.set_value(confirmed); });
    return answered.get();
}

bool setLevel(VolumeControlling& volume, float level) {
    return waitForAnswer([&](VolumeControlling::Done done) { volume.setLevel(level, std::move(done)); });
}

bool setMuted(VolumeControlling& volume, bool muted) {
    return waitForAnswer([&](VolumeControlling::Done done) { volume.setMuted(muted, std::move(done)); });
}

// Each test gets a PulseAudio daemon of its own with two null sinks, "orvik_a" (the default) and "orvik_b".
class PulseServer : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pulse_.start()) << "pulseaudio did not start"; }

    ChildProcess::Result pactl(std::vector<std::string> arguments) { return pulse_.pactl(std::move(arguments)); }
    std::string pactlLine(std::vector<std::string> arguments) { return pulse_.pactlLine(std::move(arguments)); }
    std::string percents(const std::string& sink) { return pulse_.percents(sink); }

    bool levelNear(const PulseVolume& volume, float level) {
        auto status = volume.status();
        return status && std::fabs(status->level - level) < 0.01f;
    }

    orvik::test::PrivatePulseServer pulse_;
    const std::string& address_ = pulse_.address();
};

TEST_F(PulseServer, setsWhatPactlReadsAndReadsWhatPactlSetsKeepingTheBalanceAndTheMuteRules) {
    PulseVolume volume(address_);
    std::atomic<int> changes{0};
    volume.observeChanges([&] { ++changes; });
    ASSERT_TRUE(waitUntil([&] { return volume.sinkName() == "orvik_a"; }));

    pactl({"set-sink-volume", "orvik_a", "30%"});
    EXPECT_TRUE(waitUntil([&] { return levelNear(volume, 0.30f); }));
    EXPECT_GT(changes.load(), 0);

    EXPECT_TRUE(setLevel(volume, 0.6f));
    EXPECT_TRUE(levelNear(volume, 0.6f)) << "the confirmed level is known at once";
    EXPECT_EQ(percents("orvik_a"), "60% 60%");

    // The loudest channel gets the level; the other keeps its ratio.
    pactl({"set-sink-volume", "orvik_a", "40%", "20%"});
    ASSERT_TRUE(waitUntil([&] { return levelNear(volume, 0.40f); }));
    EXPECT_TRUE(setLevel(volume, 0.8f));
    EXPECT_EQ(percents("orvik_a"), "80% 40%");

    // Above 100 % the level reads as 1; requests are clamped to 0…1, and not-a-number is refused.
    pactl({"set-sink-volume", "orvik_a", "150%"});
    EXPECT_TRUE(waitUntil([&] { return levelNear(volume, 1.0f); }));
    EXPECT_TRUE(setLevel(volume, 1.7f));
    EXPECT_EQ(percents("orvik_a"), "100% 100%");
    EXPECT_FALSE(setLevel(volume, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_TRUE(setLevel(volume, -0.2f));
    EXPECT_EQ(percents("orvik_a"), "0% 0%");

    // A level above zero unmutes; zero leaves the mute alone.
    EXPECT_TRUE(setMuted(volume, true));
    EXPECT_EQ(pactlLine({"get-sink-mute", "orvik_a"}), "Mute: yes");
    EXPECT_TRUE(volume.status()->isMuted);

    EXPECT_TRUE(setLevel(volume, 0));
    EXPECT_EQ(pactlLine({"get-sink-mute", "orvik_a"}), "Mute: yes");
    EXPECT_TRUE(setLevel(volume, 0.5f));
    EXPECT_EQ(pactlLine({"get-sink-mute", "orvik_a"}), "Mute: no");
    EXPECT_FALSE(volume.status()->isMuted);
}

TEST_F(PulseServer, followsTheDefaultSinkWhenItIsSwitched) {
    PulseVolume volume(address_);
    std::atomic<int> changes{0};
    volume.observeChanges([&] { ++changes; });
    pactl({"set-sink-volume", "orvik_b", "25%"});
    ASSERT_TRUE(waitUntil([&] { return levelNear(volume, 1.0f) && volume.sinkName() == "orvik_a"; }));

    const int before = changes;
    pactl({"set-default-sink", "orvik_b"});
    EXPECT_TRUE(waitUntil([&] { return volume.sinkName() == "orvik_b" && levelNear(volume, 0.25f); }));
    EXPECT_GT(changes.load(), before);
    EXPECT_TRUE(setLevel(volume, 0.5f));
    EXPECT_EQ(percents("orvik_b"), "50% 50%");
    EXPECT_EQ(percents("orvik_a"), "100% 100%");

    pactl({"set-default-sink", "orvik_a"});
    EXPECT_TRUE(waitUntil([&] { return volume.sinkName() == "orvik_a" && levelNear(volume, 1.0f); }));
}

TEST_F(PulseServer, survivesARestartOfTheSoundServerAndStartsWithoutOne) {
    PulseVolume volume(address_);
    ASSERT_TRUE(waitUntil([&] { return volume.status().has_value(); }));

    pulse_.stop();
    EXPECT_TRUE(waitUntil([&] { return !volume.status().has_value(); }));
    EXPECT_FALSE(setLevel(volume, 0.5f));
    // At login the helper may start before the sound server: the refused first connection is retried.
    PulseVolume startedFirst(address_);
    // Both wait for the server's socket without waking (trying every half second would wake them eight times).
    ASSERT_TRUE(orvik::test::ProcessUsage::waitUntilQuiet(getpid(), "Orvik.Volume", 1500ms));
    const auto before = orvik::test::ProcessUsage::of(getpid());
    std::this_thread::sleep_for(2s);
    const auto after = orvik::test::ProcessUsage::of(getpid());
    EXPECT_LE(after->wakeUpsOf("Orvik.Volume") - before->wakeUpsOf("Orvik.Volume"), 1U);

    ASSERT_TRUE(pulse_.start());
    EXPECT_TRUE(waitUntil([&] { return volume.sinkName() == "orvik_a"; }));
    EXPECT_TRUE(waitUntil([&] { return startedFirst.sinkName() == "orvik_a"; }));
    EXPECT_TRUE(setLevel(volume, 0.4f));
    EXPECT_EQ(percents("orvik_a"), "40% 40%");
}

TEST_F(PulseServer, aStalledSoundServerHoldsNoCallerAndAnswersFalseAfterTheTimeOut) {
    PulseVolume volume(address_);
    ASSERT_TRUE(waitUntil([&] { return volume.sinkName() == "orvik_a"; }));

    pulse_.pause();
    std::promise<bool> answer;
    auto answered = answer.get_future();
    const auto asked = std::chrono::steady_clock::now();
    volume.setLevel(0.3f, [&answer](bool confirmed) { answer.set_value(confirmed); });
    const auto returned = std::chrono::steady_clock::now();
    // Gross bounds: returning sends a request only; the answer comes at the time-out, not much later.
    EXPECT_LT(returned - asked, PulseVolume::confirmationTimeout / 2);
    ASSERT_EQ(answered.wait_for(PulseVolume::confirmationTimeout * 10), std::future_status::ready);
    EXPECT_FALSE(answered.get());
    EXPECT_GE(std::chrono::steady_clock::now() - asked, PulseVolume::confirmationTimeout);

    pulse_.resume();
    EXPECT_TRUE(setLevel(volume, 0.4f));
    EXPECT_EQ(percents("orvik_a"), "40% 40%");
}

TEST(PulseVolumeSocket, IsTheFirstAddressesPathOrTheUsersDefault) {
    EXPECT_EQ(PulseVolume::socketOf("unix:/run/user/7/pulse/native"), "/run/user/7/pulse/native");
    EXPECT_EQ(PulseVolume::socketOf("{0123abcd}unix:/tmp/p/native tcp:host"), "/tmp/p/native");
    EXPECT_EQ(PulseVolume::socketOf("/tmp/p/native"), "/tmp/p/native");
    EXPECT_EQ(PulseVolume::socketOf("tcp:localhost:4713"), std::nullopt);
}

} // namespace
} // namespace orvik::helper
