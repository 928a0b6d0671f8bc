// orvik-screen-bench: the screen pipeline on a live X display (DISPLAY), stage by stage. Prints the delivered
// frame rate, per-stage p50/p95, CPU per frame and resident memory at start and end. Run it under an X server
// with the release build; the figures are read, never asserted.
//
//   orvik-screen-bench [--source x11|synthetic] [--size WxH] [--fps N] [--seconds N] [--still]
//                      [--encode PRESET] [--bitrate BITS] [--threads N] [--excluded jump|drag|still|covered]
//                      [--small-drawings] [--server-pid PID]
//   orvik-screen-bench --stream PRESET [--viewer] [--source …] [--size WxH] [--fps N] [--seconds N] [--still]
//   orvik-screen-bench --paint-only [--seconds N]
//
// --stream runs the whole viewer pipeline (the stream with its window of three frames, bit-rate steps and
// fragments) into a viewer that acknowledges each frame as soon as its last fragment is sent: capture→sent is
// the time from capture to the last fragment leaving, and the bit rate is where the stream's steps took it.
// With --viewer the stream runs inside a real helper server and the viewer is a phone in this process over TLS
// on loopback: capture→received is the time from capture to the frame's last fragment read by the phone.
// --paint-only only paints the moving content, so another capturer (ffmpeg's x11grab) can be measured on the
// same picture.
// --excluded moves a window marked for exclusion from capture (as the pairing window is) over the screen while it
// is captured, or only shows it (still), or shows it with another window over half of it (covered); over a still
// screen every frame is looked at for a pixel of it.
// --small-drawings draws 4×4 grey rectangles as fast as the X server takes them, from a connection of its own.
// --server-pid names the X server's process, whose CPU time per frame is then printed too.
// Stages: grab (screen read, blackout and pointer), convert (to I420) and both together, reported by the X11
// source; with
// --encode, capture→encoded (from the frame's capture time to its encoded output, queueing included) and the
// delivered bit rate. All figures come from one run.
// The protocol's headers before Xlib's, whose macros clash with their names.
#include "screen/EncodingScreenStream.hpp"
#include "screen/ffmpeg/FfmpegVideoEncoder.hpp"

#include "ExcludedWindow.hpp"
#include "LoopbackViewer.hpp"
#include "MovingContent.hpp"
#include "SmallDrawings.hpp"
#include "StageTimes.hpp"
#include "platform/X11Display.hpp"
#include "platform/X11Monitors.hpp"
#include "screen/ScreenClock.hpp"
#include "screen/SyntheticCaptureSource.hpp"
#include "screen/x11/X11CaptureSource.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace orvik;
using namespace orvik::helper;

// Resident memory is read once the capture has settled (its buffers allocated) and again at the end.
constexpr auto settling = std::chrono::seconds(1);

struct Options {
    std::string source = "x11";
    int width = 1920;
    int height = 1080;
    int fps = 60;
    int seconds = 10;
    bool moving = true;
    bool paintOnly = false;
    // Absent: no stream.
    std::optional<std::string> streamPreset;
    // The stream through a real server to a phone over TLS.
    bool viewer = false;
    // Absent: capture only.
    std::optional<std::string> encoderPreset;
    int bitRate = 8'000'000;
    // Encoder threads; 0: libx264's own choice.
    int threads = 0;
    // Absent: no excluded window.
    std::optional<std::string> excludedMotion;
    bool smallDrawings = false;
    // The X server's process, to read its CPU time.
    std::optional<int> serverPid;
};

// One stage after capture, given each delivered frame on the capture thread.
using FrameStage = std::function<void(const CapturedFrame&, bench::StageTimes&)>;

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const char* value = index + 1 < argc ? argv[index + 1] : nullptr;
        if (argument == "--still") {
            options.moving = false;
        } else if (argument == "--viewer") {
            options.viewer = true;
        } else if (argument == "--small-drawings") {
            options.smallDrawings = true;
        } else if (argument == "--server-pid" && value) {
            options.serverPid = std::atoi(argv[++index]);
        } else if (argument == "--paint-only") {
            options.paintOnly = true;
        } else if (argument == "--source" && value) {
            options.source = argv[++index];
        } else if (argument == "--size" && value && std::sscanf(value, "%dx%d", &options.width, &options.height) == 2) {
            ++index;
        } else if (argument == "--fps" && value) {
            options.fps = std::atoi(argv[++index]);
        } else if (argument == "--seconds" && value) {
            options.seconds = std::atoi(argv[++index]);
        } else if (argument == "--stream" && value) {
            options.streamPreset = argv[++index];
        } else if (argument == "--encode" && value) {
            options.encoderPreset = argv[++index];
        } else if (argument == "--threads" && value) {
            options.threads = std::atoi(argv[++index]);
        } else if (argument == "--bitrate" && value) {
            options.bitRate = std::atoi(argv[++index]);
        } else if (argument == "--excluded" && value && bench::ExcludedWindow::knowsMotion(value)) {
            options.excludedMotion = argv[++index];
        } else {
            return std::nullopt;
        }
    }
    if (options.width < 2 || options.height < 2 || options.fps < 1 || options.seconds < 2) return std::nullopt;
    options.width &= ~1;
    options.height &= ~1;
    return options;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system CPU seconds of another process, from /proc.
double processCpuSecondsOf(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    // utime and stime are the 14th and 15th fields; the 2nd (the name) has no spaces for an X server.
    for (int index = 1; index < 14 && stat >> field; ++index) {
    }
    long user = 0;
    long system = 0;
    stat >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The source under test.
std::shared_ptr<ScreenCaptureSource> makeSource(const std::string& name, bench::StageTimes& times) {
    if (name == "synthetic") return std::make_shared<SyntheticCaptureSource>();
    if (name != "x11") return nullptr;
    auto source = std::make_shared<X11CaptureSource>();
    source->setStageObserver([&times](const CaptureStageTimes& stage) {
        times.add("grab", static_cast<double>(stage.grab) / 1e6);
        times.add("convert", static_cast<double>(stage.convert) / 1e6);
        times.add("grab+convert", static_cast<double>(stage.grab + stage.convert) / 1e6);
    });
    return source;
}

std::optional<std::uint32_t> mainDisplay(const std::string& source) {
    if (source == "synthetic") return SyntheticCaptureSource::defaultDisplay().id;
    auto display = X11Display::open();
    if (!display) return std::nullopt;
    auto monitors = X11Monitors::list(*display);
    if (monitors.empty()) return std::nullopt;
    return monitors.front().id;
}

int paint(const Options& options) {
    bench::MovingContent content("");
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    std::printf("painted %d s\n", options.seconds);
    content.stop();
    return 0;
}

std::optional<ScreenDisplay> mainDisplayOf(ScreenCaptureSource& source) {
    std::promise<ScreenCaptureSource::DisplaysResult> listed;
    source.displays([&listed](ScreenCaptureSource::DisplaysResult result) { listed.set_value(std::move(result)); });
    auto result = listed.get_future().get();
    auto* displays = std::get_if<std::vector<ScreenDisplay>>(&result);
    if (!displays || displays->empty()) return std::nullopt;
    return displays->front();
}

int runStream(const Options& options) {
    bench::StageTimes times;
    auto source = makeSource(options.source, times);
    const auto display = source ? mainDisplayOf(*source) : std::nullopt;
    if (!display) {
        std::fprintf(stderr, "no %s source here (--source x11 needs an X display)\n", options.source.c_str());
        return 2;
    }
    std::atomic<std::size_t> frames{0};
    std::atomic<std::uint64_t> bytes{0};
    std::weak_ptr<EncodingScreenStream> viewed;
    auto send = [&](OrvikMessage message) {
        const auto* fragment = message.get<ScreenFrame>();
        if (!fragment) return;
        bytes += fragment->data.size();
        if (fragment->fragmentIndex + 1 != fragment->fragmentCount) return;
        times.add("capture→sent", static_cast<double>(uptimeNanoseconds() - fragment->captureTime) / 1e6);
        ++frames;
        if (auto stream = viewed.lock()) stream->ack({fragment->sequence, fragment->captureTime});
    };
    auto failed = [](ScreenCaptureFailure) { std::fprintf(stderr, "capture ended by itself\n"); };
    auto stream = EncodingScreenStream::make(
        source, send, failed,
        FfmpegVideoEncoder::factory(FfmpegEncoderOptions{*options.streamPreset, options.threads}));
    viewed = stream;

    std::optional<bench::MovingContent> content;
    if (options.moving && options.source == "x11") content.emplace("");
    const double cpuStart = processCpuSeconds();
    std::promise<std::optional<ScreenCaptureFailure>> started;
    ScreenStream::Target target{*display, ScreenSettings{options.width, options.height, options.fps, std::nullopt},
                                ScreenCodec::h264};
    stream->start(target, [&started](std::optional<ScreenCaptureFailure> failure) { started.set_value(failure); });
    if (started.get_future().get()) {
        std::fprintf(stderr, "the stream did not start\n");
        return 1;
    }
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_until(begin + std::chrono::seconds(options.seconds));
    const int bitRate = stream->currentBitRate();
    std::promise<void> stopped;
    stream->stop([&stopped] { stopped.set_value(); });
    stopped.get_future().wait();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double painterCpu = content ? content->stop() : 0.0;
    const double cpu = processCpuSeconds() - cpuStart - painterCpu;

    const auto count = frames.load();
    std::printf("stream from %s, %s, at most %dx%d and %d fps, %.1f s\n", options.source.c_str(),
                options.streamPreset->c_str(), options.width, options.height, options.fps, elapsed);
    std::printf("frames %zu (%.1f fps), %.0f kbit/s sent, the stream's bit rate at the end %d bit/s\n", count,
                static_cast<double>(count) / elapsed, static_cast<double>(bytes.load()) * 8.0 / elapsed / 1000.0,
                bitRate);
    std::printf("%-14s %8s %8s\n", "stage", "p50 ms", "p95 ms");
    for (const auto& stage : times.summarise()) {
        std::printf("%-14s %8.2f %8.2f\n", stage.stage.c_str(), stage.p50, stage.p95);
    }
    std::printf("CPU per frame %.2f ms, %.1f %% of a core\n", count ? cpu * 1000.0 / static_cast<double>(count) : 0.0,
                cpu * 100.0 / elapsed);
    return 0;
}

int runViewer(const Options& options) {
    bench::StageTimes times;
    if (!makeSource(options.source, times)) return 2;
    std::optional<bench::MovingContent> content;
    if (options.moving && options.source == "x11") content.emplace("");
    const double cpuStart = processCpuSeconds();
    const auto figures = bench::viewOverLoopback(
        [&] { return makeSource(options.source, times); }, FfmpegEncoderOptions{*options.streamPreset, options.threads},
        ScreenSettings{options.width, options.height, options.fps, std::nullopt}, std::chrono::seconds(options.seconds),
        times);
    const double painterCpu = content ? content->stop() : 0.0;
    const double cpu = processCpuSeconds() - cpuStart - painterCpu;
    std::printf("viewer over TLS through the server, from %s, %s, at most %dx%d and %d fps, %.1f s\n",
                options.source.c_str(), options.streamPreset->c_str(), options.width, options.height, options.fps,
                figures.seconds);
    std::printf("frames %zu (%.1f fps), %.0f kbit/s delivered, the stream's bit rate at the end %d bit/s\n",
                figures.frames, static_cast<double>(figures.frames) / figures.seconds,
                static_cast<double>(figures.bytes) * 8.0 / figures.seconds / 1000.0, figures.bitRate);
    std::printf("%-17s %8s %8s\n", "stage", "p50 ms", "p95 ms");
    for (const auto& stage : times.summarise()) {
        std::printf("%-17s %8.2f %8.2f\n", stage.stage.c_str(), stage.p50, stage.p95);
    }
    std::printf("CPU per frame %.2f ms (server, TLS both ways and the phone included)\n",
                figures.frames ? cpu * 1000.0 / static_cast<double>(figures.frames) : 0.0);
    return 0;
}

int run(const Options& options) {
    if (options.paintOnly) return paint(options);
    if (options.streamPreset && options.viewer) return runViewer(options);
    if (options.streamPreset) return runStream(options);
    bench::StageTimes times;
    auto source = makeSource(options.source, times);
    const auto display = mainDisplay(options.source);
    if (!source || !display) {
        std::fprintf(stderr, "no %s source here (--source x11 needs an X display)\n", options.source.c_str());
        return 2;
    }
    std::vector<FrameStage> stages;
    std::atomic<std::uint64_t> encodedBytes{0};
    std::shared_ptr<VideoEncoder> encoder;
    if (options.encoderPreset) {
        auto output = [&times, &encodedBytes](std::optional<EncodedVideo> video) {
            if (!video) return;
            times.add("capture→encoded", static_cast<double>(uptimeNanoseconds() - video->captureTime) / 1e6);
            encodedBytes += video->data.size();
        };
        encoder =
            FfmpegVideoEncoder::make({ScreenCodec::h264, options.width, options.height, options.fps, options.bitRate},
                                     output, FfmpegEncoderOptions{*options.encoderPreset, options.threads});
        if (!encoder) {
            std::fprintf(stderr, "no encoder with preset %s\n", options.encoderPreset->c_str());
            return 2;
        }
        stages.push_back([encoder](const CapturedFrame& frame, bench::StageTimes&) { encoder->encode(frame, false); });
    }
    std::atomic<std::size_t> frames{0};
    std::atomic<std::size_t> showingExcluded{0};
    const bool lookForExcluded = options.excludedMotion && !options.moving;
    auto onFrame = [&](CapturedFrame frame) {
        if (lookForExcluded && bench::ExcludedWindow::showsColour(frame)) ++showingExcluded;
        for (auto& stage : stages) stage(frame, times);
        ++frames;
    };

    const double residentStart = residentMiB();
    std::optional<bench::MovingContent> content;
    if (options.moving) content.emplace("");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Above the moving content, which is shown by now.
    std::optional<bench::ExcludedWindow> excluded;
    if (options.excludedMotion) excluded.emplace("", *options.excludedMotion);
    std::optional<bench::SmallDrawings> drawings;
    if (options.smallDrawings) drawings.emplace("");
    const double cpuStart = processCpuSeconds();
    const double serverCpuStart = options.serverPid ? processCpuSecondsOf(*options.serverPid) : 0.0;
    std::promise<std::optional<ScreenCaptureFailure>> started;
    source->start(
        {*display, options.width, options.height, options.fps, NormalizedRect::full()}, onFrame,
        [](ScreenCaptureFailure) { std::fprintf(stderr, "capture stopped by the X server\n"); },
        [&started](std::optional<ScreenCaptureFailure> failure) { started.set_value(failure); });
    if (started.get_future().get()) {
        std::fprintf(stderr, "capture did not start\n");
        return 1;
    }
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(settling);
    const double residentRunning = residentMiB();
    std::this_thread::sleep_until(begin + std::chrono::seconds(options.seconds));
    const double residentEnd = residentMiB();
    std::promise<void> stopped;
    source->stop([&stopped] { stopped.set_value(); });
    stopped.get_future().wait();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (encoder) encoder->invalidate();
    const double serverCpu = options.serverPid ? processCpuSecondsOf(*options.serverPid) - serverCpuStart : 0.0;
    const std::size_t drawn = drawings ? drawings->stop() : 0;
    const std::size_t moves = excluded ? excluded->stop() : 0;
    const double painterCpu = content ? content->stop() : 0.0;
    const double cpu = processCpuSeconds() - cpuStart - painterCpu;

    const auto count = frames.load();
    std::printf("source %s, %dx%d at most %d fps, %s screen, %.1f s\n", options.source.c_str(), options.width,
                options.height, options.fps, options.moving ? "moving" : "still", elapsed);
    std::printf("frames %zu (%.1f fps)\n", count, static_cast<double>(count) / elapsed);
    if (excluded && lookForExcluded) {
        std::printf("excluded window (%s) moved %zu times; frames showing it: %zu of %zu\n",
                    options.excludedMotion->c_str(), moves, showingExcluded.load(), count);
    } else if (excluded) {
        std::printf("excluded window (%s) moved %zu times; frames not looked at over moving content\n",
                    options.excludedMotion->c_str(), moves);
    }
    if (drawings) std::printf("small drawings %.0f a second\n", static_cast<double>(drawn) / elapsed);
    std::printf("%-12s %8s %8s\n", "stage", "p50 ms", "p95 ms");
    for (const auto& stage : times.summarise()) {
        std::printf("%-12s %8.2f %8.2f\n", stage.stage.c_str(), stage.p50, stage.p95);
    }
    if (options.serverPid) {
        std::printf("X server CPU per frame %.2f ms, %.1f %% of a core\n",
                    count ? serverCpu * 1000.0 / static_cast<double>(count) : 0.0, serverCpu * 100.0 / elapsed);
    }
    std::printf("CPU per frame %.2f ms, %.1f %% of a core (the X server's own work not counted)\n",
                count ? cpu * 1000.0 / static_cast<double>(count) : 0.0, cpu * 100.0 / elapsed);
    if (encoder) {
        std::printf("encoded %s at %d bit/s asked: %.0f kbit/s delivered\n", options.encoderPreset->c_str(),
                    options.bitRate, static_cast<double>(encodedBytes.load()) * 8.0 / elapsed / 1000.0);
    }
    std::printf("resident memory %.1f MiB before capture, %.1f MiB after 1 s, %.1f MiB at the end\n", residentStart,
                residentRunning, residentEnd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: orvik-screen-bench [--source x11|synthetic] [--size WxH] [--fps N] [--seconds N] "
                     "[--still] [--encode PRESET] [--bitrate BITS] [--threads N] [--excluded jump|drag|still|covered] "
                     "[--small-drawings] [--server-pid PID] "
                     "[--stream PRESET [--viewer]] "
                     "| --paint-only [--seconds N]\n");
        return 2;
    }
    return run(*options);
}
