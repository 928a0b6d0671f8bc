#include "screen/EncodingScreenStream.hpp"

#include "orvik/protocol/messages/EncodedScreenFrame.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace orvik::helper {
namespace {

constexpr std::uint64_t ms = 1'000'000;

// Records what it is asked to encode; the test hands out its output.
class ScriptedEncoder final : public VideoEncoder {
public:
    ScriptedEncoder(EncoderSettings settings, Output output) : settings_(settings), output(std::move(output)) {}
    const EncoderSettings& settings() const override { return settings_; }
    void encode(CapturedFrame frame, bool forceKeyframe) override { encoded.push_back({frame.time, forceKeyframe}); }
    void setBitRate(int bitRate) override { bitRates.push_back(bitRate); }
    void invalidate() override { invalidated = true; }

    // The encoder's answer to the oldest picture not yet answered.
    void answer(bool keyframe, Bytes data = {0, 0, 0, 1, 0x65}, std::vector<Bytes> sets = {{0x67}, {0x68}}) {
        output(EncodedVideo{keyframe, encoded.at(answered++).first, std::move(data), std::move(sets)});
    }

    EncoderSettings settings_;
    Output output;
    std::vector<std::pair<std::uint64_t, bool>> encoded;
    std::vector<int> bitRates;
    std::size_t answered = 0;
    bool invalidated = false;
};

// A source that starts at once and delivers what the test pushes.
class PushSource final : public ScreenCaptureSource {
public:
    void displays(std::function<void(DisplaysResult)> done) override { done(std::vector<ScreenDisplay>{}); }
    void start(CaptureConfiguration, FrameHandler frame, StopHandler, Completion done) override {
        calls.push_back("start");
        onFrame = std::move(frame);
        done(std::nullopt);
    }
    void update(CaptureConfiguration, Completion done) override {
        calls.push_back("update");
        done(std::nullopt);
    }
    void stop(std::function<void()> done) override {
        calls.push_back("stop");
        done();
    }
    std::vector<std::string> calls;
    FrameHandler onFrame;
};

class Stream : public ::testing::Test {
protected:
    void make(std::uint32_t lastSequence = 0) {
        auto factory = [this](const EncoderSettings& settings, VideoEncoder::Output output) {
            encoders.push_back(std::make_shared<ScriptedEncoder>(settings, std::move(output)));
            return encoders.back();
        };
        stream = EncodingScreenStream::make(
            source, [this](OrvikMessage message) { sent.push_back(std::move(message)); }, {}, factory,
            [this] { return clock; }, lastSequence);
    }
    void start(std::int64_t maxWidth = 1280) {
        stream->start(ScreenStream::Target{display, ScreenSettings{maxWidth, 800, 30, std::nullopt}, ScreenCodec::h264},
                      [](std::optional<ScreenCaptureFailure> failure) { EXPECT_FALSE(failure); });
    }
    void capture() { source->onFrame(CapturedFrame{nullptr, ++captures}); }
    ScriptedEncoder& encoder() { return *encoders.back(); }
    // Sequence numbers of the frames sent (first fragments), and the formats, in order.
    std::vector<std::uint32_t> frames() const {
        std::vector<std::uint32_t> numbers;
        for (const auto& message : sent) {
            if (auto* frame = message.get<ScreenFrame>(); frame && frame->fragmentIndex == 0)
                numbers.push_back(frame->sequence);
        }
        return numbers;
    }
    ScreenDisplay display{1, "D", 1440, 900, 2880, 1800, true};
    std::shared_ptr<PushSource> source = std::make_shared<PushSource>();
    std::vector<std::shared_ptr<ScriptedEncoder>> encoders;
    std::vector<OrvikMessage> sent;
    std::uint64_t clock = 10'000 * ms;
    std::uint64_t captures = 0;
    std::shared_ptr<EncodingScreenStream> stream;
};

TEST_F(Stream, ThreeFramesFlyTheNewestWaitsAndTheFirstIsAnAnnouncedKeyframe) {
    make();
    start();
    EXPECT_EQ(encoder().settings().width, 1280);
    EXPECT_EQ(stream->currentBitRate(), 2'150'400);
    for (int i = 0; i < 5; ++i) capture();
    ASSERT_EQ(encoder().encoded.size(), 3u) << "frame 4 is replaced by frame 5, which waits";
    EXPECT_TRUE(encoder().encoded[0].second);
    EXPECT_FALSE(encoder().encoded[1].second);
    for (int i = 0; i < 3; ++i) encoder().answer(i == 0);
    ASSERT_TRUE(sent.at(0).get<ScreenFormat>());
    EXPECT_EQ(sent.at(0).get<ScreenFormat>()->parameterSets, (std::vector<Bytes>{{0x67}, {0x68}}));
    EXPECT_EQ(frames(), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_TRUE(sent.at(1).get<ScreenFrame>()->isKeyframe);

    stream->ack(ScreenFrameAck{4, 0});
    EXPECT_EQ(encoder().encoded.size(), 3u) << "an ack of a frame never sent counts for nothing";
    stream->ack(ScreenFrameAck{1, clock - 30 * ms});
    ASSERT_EQ(encoder().encoded.size(), 4u);
    EXPECT_EQ(encoder().encoded[3].first, 5u);
    EXPECT_EQ(encoder().bitRates, std::vector{2'365'440}) << "30 ms: 10 % up";
}

TEST_F(Stream, SequenceNumbersWrapAndANewEncoderIgnoresAcksOfTheOldOne) {
    make(std::numeric_limits<std::uint32_t>::max() - 1);
    start();
    capture();
    capture();
    encoder().answer(true);
    encoder().answer(false);
    EXPECT_EQ(frames(), (std::vector<std::uint32_t>{0xffffffff, 0}));
    stream->ack(ScreenFrameAck{0, clock});
    capture();
    EXPECT_EQ(encoder().encoded.size(), 3u);

    start(640); // same display: the capture is updated, a new encoder made
    EXPECT_EQ(source->calls, (std::vector<std::string>{"start", "update"}));
    EXPECT_TRUE(encoders[0]->invalidated);
    encoders[0]->answer(false);
    EXPECT_EQ(frames().size(), 2u) << "output of a replaced encoder is dropped";
    capture();
    encoder().answer(true);
    EXPECT_EQ(frames().back(), 1u);
    EXPECT_TRUE(sent.at(sent.size() - 2).get<ScreenFormat>()) << "every new encoder announces its format";
    for (int i = 0; i < 3; ++i) capture();
    stream->ack(ScreenFrameAck{0, clock});
    EXPECT_EQ(encoder().encoded.size(), 3u) << "an ack of the old encoder's frame frees no slot";
    stream->ack(ScreenFrameAck{1, clock});
    EXPECT_EQ(encoder().encoded.size(), 4u);
}

TEST_F(Stream, KeyframeRequestsAreHonouredHalfASecondAfterTheLastForcedOne) {
    make();
    start();
    capture();
    encoder().answer(true);
    clock += 499 * ms;
    stream->requestKeyframe();
    stream->ack(ScreenFrameAck{1, clock});
    capture();
    EXPECT_FALSE(encoder().encoded.back().second);
    clock += 1 * ms;
    stream->requestKeyframe();
    capture();
    EXPECT_TRUE(encoder().encoded.back().second);
}

TEST_F(Stream, UnsendableOrUndecodableOutputFreesItsSlotAndForcesAKeyframe) {
    make();
    start();
    for (int i = 0; i < 4; ++i) capture();
    encoder().answer(false);
    EXPECT_TRUE(sent.empty()) << "a delta frame cannot introduce a format";
    ASSERT_EQ(encoder().encoded.size(), 4u) << "its slot went to the waiting frame";
    EXPECT_TRUE(encoder().encoded[3].second);
    capture();
    encoder().answer(true, Bytes(EncodedScreenFrame::maxBytes + 1, 0));
    EXPECT_TRUE(frames().empty());
    ASSERT_EQ(encoder().encoded.size(), 5u) << "a frame too large to send frees its slot for the waiting one";
    EXPECT_TRUE(encoder().encoded[4].second);
    encoder().answer(true);
    EXPECT_EQ(frames(), std::vector<std::uint32_t>{2}) << "the skipped number leaves a gap";
    encoder().output(std::nullopt);
    capture();
    EXPECT_EQ(encoder().encoded.size(), 6u) << "a dropped picture frees its slot";
}

TEST_F(Stream, PauseResumeAndStopDriveTheCaptureAndTheEncoder) {
    make();
    stream->resume([](auto failure) { EXPECT_FALSE(failure); });
    EXPECT_TRUE(encoders.empty()) << "nothing to resume before a start";
    stream->pause([] {});
    start();
    EXPECT_TRUE(source->calls.empty()) << "a start while paused prepares without capturing";
    ASSERT_TRUE(stream->target());
    stream->resume([](auto failure) { EXPECT_FALSE(failure); });
    EXPECT_EQ(encoders.size(), 2u);
    EXPECT_EQ(source->calls, std::vector<std::string>{"start"});
    capture();
    stream->pause([] {});
    encoder().answer(true);
    EXPECT_TRUE(sent.empty()) << "a picture the encoder finishes after the pause is not sent";
    stream->resume([](auto failure) { EXPECT_FALSE(failure); });
    stream->stop([] {});
    EXPECT_EQ(source->calls, (std::vector<std::string>{"start", "stop", "start", "stop"}));
    EXPECT_TRUE(encoder().invalidated);
    EXPECT_FALSE(stream->target());
    EXPECT_EQ(stream->currentBitRate(), 0);
}

struct AdaptCase {
    std::vector<double> latencies;
    std::uint64_t sinceLastChange;
    int startRate;
    std::optional<int> expected;
};

class RateAdaptation : public ::testing::TestWithParam<AdaptCase> {};

TEST_P(RateAdaptation, StepsOncePerSecondWithinFloorAndCeiling) {
    const auto& c = GetParam();
    BitRateAdapter adapter;
    adapter.restart(c.startRate);
    std::optional<int> result;
    for (double latency : c.latencies) result = adapter.adapt(latency, c.sinceLastChange);
    EXPECT_EQ(result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RateAdaptation,
    ::testing::Values(
        AdaptCase{{200}, 2'000 * ms, 4'000'000, 3'200'000}, AdaptCase{{30}, 2'000 * ms, 4'000'000, 4'400'000},
        AdaptCase{{100, 200}, 2'000 * ms, 4'000'000, std::nullopt}, // smoothed to 120 ms
        AdaptCase{{100, 400}, 2'000 * ms, 4'000'000, 3'200'000},    // smoothed to 160 ms
        AdaptCase{{200}, 999 * ms, 4'000'000, std::nullopt}, AdaptCase{{200}, 2'000 * ms, 1'100'000, 1'000'000},
        AdaptCase{{200}, 2'000 * ms, 1'000'000, std::nullopt}, AdaptCase{{60}, 2'000 * ms, 4'000'000, std::nullopt}));

TEST(RateAdaptation, UpwardStepsStopAtOneAndAHalfTimesTheStartingRate) {
    BitRateAdapter adapter;
    adapter.restart(4'000'000);
    for (std::uint64_t second = 1; second <= 6; ++second) adapter.adapt(10, second * 1'000 * ms);
    EXPECT_EQ(adapter.bitRate(), 6'000'000);
}

} // namespace
} // namespace orvik::helper
