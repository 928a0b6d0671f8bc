#include "screen/ffmpeg/FfmpegVideoEncoder.hpp"

#include "screen/ffmpeg/CodecSession.hpp"

extern "C" {
#include <libavutil/log.h>
}

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace orvik::helper {

namespace {

constexpr const char* threadName = "orvik-encoder";
// An HEVC encoder reopens for a new rate at most this often (nanoseconds of the pictures' capture clock).
constexpr std::uint64_t reopenSpacing = 1'000'000'000;
// The probe's modest encoder.
constexpr EncoderSettings probeSettings{ScreenCodec::h264, 640, 360, 30, 1'000'000};

} // namespace

// The encoder's thread and everything it touches. The thread holds the worker strongly, so an encoder destroyed
// from its own output only tells the thread to end.
class FfmpegVideoEncoder::Worker : public std::enable_shared_from_this<Worker> {
public:
    Worker(std::unique_ptr<CodecSession> session, EncoderSettings settings, Output output, Options options)
        : session_(std::move(session)), settings_(settings), output_(std::move(output)), options_(std::move(options)) {}

    void startThread() {
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }

    void submit(CapturedFrame frame, bool forceKeyframe) {
        {
            std::lock_guard lock(mutex_);
            if (ended_) return;
            queue_.push_back(Job{std::move(frame), forceKeyframe});
        }
        wake_.notify_one();
    }

    void setBitRate(int bitRate) {
        std::lock_guard lock(mutex_);
        requestedBitRate_ = bitRate;
    }

    void end() {
        {
            std::lock_guard lock(mutex_);
            if (ended_) return;
            ended_ = true;
            queue_.clear();
        }
        wake_.notify_one();
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    struct Job {
        CapturedFrame frame;
        bool forceKeyframe = false;
    };

    void run() {
        pthread_setname_np(pthread_self(), threadName);
        for (;;) {
            Job job;
            std::optional<int> bitRate;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return ended_ || !queue_.empty(); });
                if (ended_) break;
                job = std::move(queue_.front());
                queue_.pop_front();
                bitRate = requestedBitRate_;
            }
            applyBitRate(bitRate, job);
            auto encoded = session_ ? session_->encode(job.frame, job.forceKeyframe) : std::nullopt;
            job.frame.pixelBuffer.reset();
            {
                // After `end` nothing more reaches the output.
                std::lock_guard lock(mutex_);
                if (ended_) break;
            }
            output_(std::move(encoded));
        }
        session_.reset();
    }

    void applyBitRate(std::optional<int> bitRate, Job& job) {
        if (!bitRate || *bitRate == settings_.bitRate || !session_) return;
        if (session_->changesRateLive()) {
            settings_.bitRate = *bitRate;
            session_->setBitRate(*bitRate);
            return;
        }
        if (lastReopen_ && job.frame.time - *lastReopen_ < reopenSpacing) return;
        settings_.bitRate = *bitRate;
        lastReopen_ = job.frame.time;
        session_ = CodecSession::open(settings_, options_.preset, options_.threads);
        job.forceKeyframe = true;
    }

    std::unique_ptr<CodecSession> session_;
    EncoderSettings settings_;
    const Output output_;
    const Options options_;
    std::optional<std::uint64_t> lastReopen_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::optional<int> requestedBitRate_;
    bool ended_ = false;
};

FfmpegVideoEncoder::FfmpegVideoEncoder(EncoderSettings settings, std::shared_ptr<Worker> worker)
    : settings_(settings), worker_(std::move(worker)) {}

FfmpegVideoEncoder::~FfmpegVideoEncoder() {
    worker_->end();
}

std::shared_ptr<VideoEncoder> FfmpegVideoEncoder::make(const EncoderSettings& settings, Output output,
                                                       Options options) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    auto session = CodecSession::open(settings, options.preset, options.threads);
    if (!session) return nullptr;
    auto worker = std::make_shared<Worker>(std::move(session), settings, std::move(output), std::move(options));
    worker->startThread();
    return std::shared_ptr<VideoEncoder>(new FfmpegVideoEncoder(settings, std::move(worker)));
}

VideoEncoder::Factory FfmpegVideoEncoder::factory(Options options) {
    return [options](const EncoderSettings& settings, Output output) {
        return make(settings, std::move(output), options);
    };
}

bool FfmpegVideoEncoder::supports(ScreenCodec codec, bool allowHevc) {
    if (codec == ScreenCodec::hevc && !allowHevc) return false;
    auto settings = probeSettings;
    settings.codec = codec;
    auto probe = make(settings, [](std::optional<EncodedVideo>) {});
    if (!probe) return false;
    probe->invalidate();
    return true;
}

void FfmpegVideoEncoder::encode(CapturedFrame frame, bool forceKeyframe) {
    worker_->submit(std::move(frame), forceKeyframe);
}

void FfmpegVideoEncoder::setBitRate(int bitRate) {
    worker_->setBitRate(bitRate);
}

void FfmpegVideoEncoder::invalidate() {
    worker_->end();
}

} // namespace orvik::helper
