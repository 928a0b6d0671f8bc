#include "screen/ffmpeg/CodecSession.hpp"

#include "core/Log.hpp"
#include "screen/NalUnits.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace orvik::helper {

namespace {

// H.264 unit types: 6 SEI, 7 SPS, 8 PPS, 9 access unit delimiter. HEVC: 32 VPS, 33 SPS, 34 PPS, 35 AUD,
// 39/40 SEI.
constexpr std::uint8_t h264Sei = 6, h264Sps = 7, h264Pps = 8, h264Aud = 9;
constexpr std::uint8_t hevcVps = 32, hevcPps = 34, hevcAud = 35, hevcPrefixSei = 39, hevcSuffixSei = 40;
// Keyframes come on request; this only bounds how long a viewer that lost its decoder state waits.
constexpr int keyframeSeconds = 10;
// The rate cap: at most 1.5 × the average within the buffer.
constexpr std::int64_t capNumerator = 3, capDenominator = 2;

const char* encoderName(ScreenCodec codec) {
    return codec == ScreenCodec::hevc ? "libx265" : "libx264";
}

} // namespace

CodecSession::CodecSession(const EncoderSettings& settings) : settings_(settings) {}

CodecSession::~CodecSession() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

std::unique_ptr<CodecSession> CodecSession::open(const EncoderSettings& settings, const std::string& preset,
                                                 int threads) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName(settings.codec));
    if (!codec || settings.width <= 0 || settings.height <= 0 || settings.frameRate <= 0) return nullptr;
    std::unique_ptr<CodecSession> session(new CodecSession(settings));
    session->context_ = avcodec_alloc_context3(codec);
    session->frame_ = av_frame_alloc();
    session->packet_ = av_packet_alloc();
    if (!session->context_ || !session->frame_ || !session->packet_) return nullptr;
    AVCodecContext& c = *session->context_;
    c.width = settings.width;
    c.height = settings.height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = AVRational{1, settings.frameRate};
    c.framerate = AVRational{settings.frameRate, 1};
    c.gop_size = settings.frameRate * keyframeSeconds;
    c.max_b_frames = 0;
    c.thread_count = threads;
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_BT709;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    session->setBitRate(settings.bitRate);
    av_opt_set(c.priv_data, "preset", preset.c_str(), 0);
    av_opt_set(c.priv_data, "tune", "zerolatency", 0);
    // A picture forced to be a keyframe is an IDR, decodable with nothing before it.
    av_opt_set(c.priv_data, "forced-idr", "1", 0);
    // Constrained Baseline whatever the preset, as viewers are promised; closed GOPs for HEVC (IDR, not CRA),
    // one frame thread, or pictures come out late; no log chatter.
    if (settings.codec == ScreenCodec::h264) av_opt_set(c.priv_data, "profile", "baseline", 0);
    if (settings.codec == ScreenCodec::hevc) {
        av_opt_set(c.priv_data, "x265-params", "open-gop=0:frame-threads=1:log-level=error", 0);
    }
    if (const int status = avcodec_open2(&c, codec, nullptr); status < 0) {
        Log::error("Screen", "Encoder not opened: " + std::to_string(status));
        return nullptr;
    }
    auto extradata =
        std::span<const std::uint8_t>(c.extradata, static_cast<std::size_t>(std::max(c.extradata_size, 0)));
    for (auto unit : NalUnits::splitAnnexB(extradata)) {
        if (session->isParameterSet(unit)) session->parameterSets_.emplace_back(unit.begin(), unit.end());
    }
    if (session->parameterSets_.empty()) return nullptr;
    session->frame_->format = AV_PIX_FMT_YUV420P;
    session->frame_->width = settings.width;
    session->frame_->height = settings.height;
    return session;
}

bool CodecSession::changesRateLive() const {
    return settings_.codec == ScreenCodec::h264;
}

void CodecSession::setBitRate(int bitRate) {
    settings_.bitRate = bitRate;
    const std::int64_t cap = std::int64_t{bitRate} * capNumerator / capDenominator;
    context_->bit_rate = bitRate;
    context_->rc_max_rate = cap;
    context_->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(cap, INT32_MAX));
}

std::optional<EncodedVideo> CodecSession::encode(const CapturedFrame& frame, bool forceKeyframe) {
    const PixelBuffer* picture = frame.pixelBuffer.get();
    if (!picture || picture->width() != settings_.width || picture->height() != settings_.height) return std::nullopt;
    for (std::size_t plane = 0; plane < 3; ++plane) {
        // The codec copies the picture into its own buffers while sending; ours is only borrowed.
        frame_->data[plane] = const_cast<std::uint8_t*>(picture->plane(plane));
        frame_->linesize[plane] = static_cast<int>(picture->stride(plane));
    }
    frame_->pts = nextPts_++;
    frame_->pict_type = forceKeyframe ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    frame_->key_frame = forceKeyframe ? 1 : 0;
    frame_->color_range = AVCOL_RANGE_MPEG;
    frame_->colorspace = AVCOL_SPC_BT709;
    const int sent = avcodec_send_frame(context_, frame_);
    for (auto& plane : frame_->data) plane = nullptr;
    if (sent < 0) {
        Log::error("Screen", "Encode failed: " + std::to_string(sent));
        return std::nullopt;
    }
    std::optional<EncodedVideo> result;
    // Zero latency gives one packet per picture; anything more would be joined into this picture's data.
    while (avcodec_receive_packet(context_, packet_) == 0) {
        auto packaged = package(*packet_, frame.time);
        av_packet_unref(packet_);
        if (!packaged) continue;
        if (!result) {
            result = std::move(packaged);
        } else {
            result->data.insert(result->data.end(), packaged->data.begin(), packaged->data.end());
        }
    }
    return result;
}

std::optional<EncodedVideo> CodecSession::package(const AVPacket& packet, std::uint64_t captureTime) const {
    EncodedVideo video;
    video.isKeyframe = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    video.captureTime = captureTime;
    video.parameterSets = parameterSets_;
    video.data.reserve(static_cast<std::size_t>(packet.size) + 16);
    const std::span<const std::uint8_t> stream(packet.data, static_cast<std::size_t>(packet.size));
    for (auto unit : NalUnits::splitAnnexB(stream)) {
        if (!isDropped(unit)) NalUnits::appendLengthPrefixed(video.data, unit);
    }
    if (video.data.empty()) return std::nullopt;
    return video;
}

bool CodecSession::isParameterSet(std::span<const std::uint8_t> unit) const {
    if (settings_.codec == ScreenCodec::hevc) {
        const auto type = NalUnits::hevcType(unit);
        return type >= hevcVps && type <= hevcPps;
    }
    const auto type = NalUnits::h264Type(unit);
    return type == h264Sps || type == h264Pps;
}

// Parameter sets travel only in the format; delimiters and SEI (the encoder's banner) carry nothing a viewer needs.
bool CodecSession::isDropped(std::span<const std::uint8_t> unit) const {
    if (isParameterSet(unit)) return true;
    if (settings_.codec == ScreenCodec::hevc) {
        const auto type = NalUnits::hevcType(unit);
        return type == hevcAud || type == hevcPrefixSei || type == hevcSuffixSei;
    }
    const auto type = NalUnits::h264Type(unit);
    return type == h264Aud || type == h264Sei;
}

} // namespace orvik::helper
