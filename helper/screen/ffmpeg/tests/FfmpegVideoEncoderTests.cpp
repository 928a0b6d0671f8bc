#include "screen/NalUnits.hpp"
#include "screen/ffmpeg/FfmpegVideoEncoder.hpp"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <random>
#include <type_traits>

// libx265 3.5 keeps some of its frame filters' buffers after x265_encoder_close; not ours to free.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name LeakSanitizer asks for.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}

namespace orvik::helper {
namespace {

constexpr int width = 320, height = 240;

// A moving gradient with a noisy band: content a decoder must really reproduce.
std::shared_ptr<PixelBuffer> picture(int index, std::mt19937& noise) {
    auto buffer = std::make_shared<PixelBuffer>(width, height);
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const auto rows = buffer->planeRows(plane);
        const auto columns = static_cast<std::size_t>(plane == 0 ? width : width / 2);
        for (std::size_t y = 0; y < rows; ++y) {
            for (std::size_t x = 0; x < columns; ++x) {
                const auto value = plane == 0 ? 16 + (x + y + static_cast<std::size_t>(index) * 4) % 200 : 128 + y % 32;
                buffer->plane(plane)[y * buffer->stride(plane) + x] =
                    static_cast<std::uint8_t>(plane == 0 && y < 40 ? 16 + noise() % 200 : value);
            }
        }
    }
    return buffer;
}

struct Collected {
    VideoEncoder::Output output() {
        return [this](std::optional<EncodedVideo> video) {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(video));
            arrived_.notify_all();
        };
    }
    std::vector<std::optional<EncodedVideo>> await(std::size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return results_.size() >= count; });
        return results_;
    }
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::optional<EncodedVideo>> results_;
};

// Decodes pictures given as parameter sets plus length-prefixed units; the luma PSNR of each against its source.
class Decoder {
public:
    explicit Decoder(ScreenCodec codec)
        : context_(avcodec_alloc_context3(
              avcodec_find_decoder(codec == ScreenCodec::hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264))) {
        avcodec_open2(context_, nullptr, nullptr);
    }
    ~Decoder() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&context_);
    }
    double psnr(const EncodedVideo& video, const PixelBuffer& source) {
        Bytes annexB;
        for (const auto& set : video.parameterSets) NalUnits::appendAnnexB(annexB, set);
        for (auto unit : NalUnits::splitLengthPrefixed(video.data)) NalUnits::appendAnnexB(annexB, unit);
        packet_->data = annexB.data();
        packet_->size = static_cast<int>(annexB.size());
        if (avcodec_send_packet(context_, packet_) < 0 || avcodec_receive_frame(context_, frame_) < 0) return 0;
        // What the SPS says: BT.709 limited range; H.264 Constrained Baseline, HEVC Main.
        EXPECT_EQ(frame_->color_range, AVCOL_RANGE_MPEG);
        EXPECT_EQ(frame_->colorspace, AVCOL_SPC_BT709);
        EXPECT_EQ(frame_->color_primaries, AVCOL_PRI_BT709);
        EXPECT_EQ(frame_->color_trc, AVCOL_TRC_BT709);
        EXPECT_EQ(context_->profile,
                  context_->codec_id == AV_CODEC_ID_H264 ? FF_PROFILE_H264_CONSTRAINED_BASELINE : FF_PROFILE_HEVC_MAIN);
        double squared = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double difference =
                    frame_->data[0][y * frame_->linesize[0] + x] -
                    source.plane(0)[static_cast<std::size_t>(y) * source.stride(0) + static_cast<std::size_t>(x)];
                squared += difference * difference;
            }
        }
        return 10 * std::log10(255.0 * 255.0 / std::max(squared / (width * height), 1e-9));
    }

private:
    AVCodecContext* context_;
    AVFrame* frame_ = av_frame_alloc();
    AVPacket* packet_ = av_packet_alloc();
};

bool isSlice(ScreenCodec codec, std::span<const std::uint8_t> unit) {
    if (codec == ScreenCodec::hevc) return NalUnits::hevcType(unit) < 32;
    return NalUnits::h264Type(unit) >= 1 && NalUnits::h264Type(unit) <= 5;
}

bool isIdr(ScreenCodec codec, std::span<const std::uint8_t> unit) {
    if (codec == ScreenCodec::hevc) return NalUnits::hevcType(unit) == 19 || NalUnits::hevcType(unit) == 20;
    return NalUnits::h264Type(unit) == 5;
}

class Encoder : public ::testing::TestWithParam<ScreenCodec> {};

TEST_P(Encoder, MakesOneDecodablePacketPerPictureWithParameterSetsApartAndIdrOnRequest) {
    const auto codec = GetParam();
    Collected collected;
    auto encoder = FfmpegVideoEncoder::make(EncoderSettings{codec, width, height, 30, 2'000'000}, collected.output());
    ASSERT_TRUE(encoder);
    std::mt19937 noise(1);
    std::vector<std::shared_ptr<PixelBuffer>> pictures;
    constexpr int count = 8;
    for (int i = 0; i < count; ++i) {
        pictures.push_back(picture(i, noise));
        encoder->encode(CapturedFrame{pictures.back(), 1000u + static_cast<std::uint64_t>(i)}, i == 0 || i == 5);
    }
    auto results = collected.await(count);
    ASSERT_EQ(results.size(), std::size_t{count});
    Decoder decoder(codec);
    const std::size_t setCount = codec == ScreenCodec::hevc ? 3 : 2;
    for (int i = 0; i < count; ++i) {
        const auto& video = results[static_cast<std::size_t>(i)];
        ASSERT_TRUE(video) << "picture " << i;
        EXPECT_EQ(video->captureTime, 1000u + static_cast<std::uint64_t>(i));
        EXPECT_EQ(video->isKeyframe, i == 0 || i == 5) << "picture " << i;
        ASSERT_EQ(video->parameterSets.size(), setCount);
        auto units = NalUnits::splitLengthPrefixed(video->data);
        ASSERT_FALSE(units.empty()) << "the length prefixes walk the whole picture";
        bool idr = false;
        for (auto unit : units) {
            idr = idr || isIdr(codec, unit);
            EXPECT_TRUE(isSlice(codec, unit)) << "only slices: parameter sets, SEI and delimiters are left out";
        }
        EXPECT_EQ(idr, video->isKeyframe) << "picture " << i;
        EXPECT_GT(decoder.psnr(*video, *pictures[static_cast<std::size_t>(i)]), 30.0) << "picture " << i;
    }
    encoder->invalidate();
    encoder->encode(CapturedFrame{pictures[0], 1}, false);
    EXPECT_EQ(collected.await(0).size(), std::size_t{count}) << "nothing after invalidation";
}

// libx264 takes the new rate at the next picture; libx265 is reopened there, starting with a keyframe.
TEST_P(Encoder, ALowerBitRateShrinksTheFollowingPictures) {
    Collected collected;
    auto encoder =
        FfmpegVideoEncoder::make(EncoderSettings{GetParam(), width, height, 30, 4'000'000}, collected.output());
    ASSERT_TRUE(encoder);
    std::mt19937 noise(2);
    constexpr std::size_t half = 30;
    for (std::size_t i = 0; i < 2 * half; ++i) {
        if (i == half && collected.await(half).size() == half) encoder->setBitRate(200'000);
        encoder->encode(CapturedFrame{picture(static_cast<int>(i), noise), i}, i == 0);
    }
    auto results = collected.await(2 * half);
    ASSERT_EQ(results.size(), 2 * half);
    EXPECT_EQ(results[half]->isKeyframe, GetParam() == ScreenCodec::hevc);
    std::size_t before = 0, after = 0;
    for (std::size_t i = 1; i < half; ++i) before += results[i]->data.size();
    for (std::size_t i = half + 1; i < 2 * half; ++i) after += results[i]->data.size();
    EXPECT_LT(after * 4, before) << "before " << before << " bytes, after " << after;
}

INSTANTIATE_TEST_SUITE_P(Codecs, Encoder, ::testing::Values(ScreenCodec::h264, ScreenCodec::hevc));

// Its destructor ends the worker thread: a copy going away would end the original's too.
TEST(EncoderOwnership, AnEncoderCannotBeCopied) {
    EXPECT_FALSE(std::is_copy_constructible_v<FfmpegVideoEncoder>);
    EXPECT_FALSE(std::is_copy_assignable_v<FfmpegVideoEncoder>);
}

TEST(EncoderSupport, HevcIsOfferedOnlyWhenAllowed) {
    EXPECT_TRUE(FfmpegVideoEncoder::supports(ScreenCodec::h264));
    EXPECT_FALSE(FfmpegVideoEncoder::supports(ScreenCodec::hevc));
    EXPECT_TRUE(FfmpegVideoEncoder::supports(ScreenCodec::hevc, true));
}

} // namespace
} // namespace orvik::helper
