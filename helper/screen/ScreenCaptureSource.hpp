#pragma once

#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "screen/PixelBuffer.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace orvik::helper {

// Why capture could not run; the only failure that crosses the capture interface.
enum class ScreenCaptureFailure { permissionDenied, displayUnavailable, failed };

// One picture delivered by a source. `time` is CLOCK_MONOTONIC in nanoseconds when the source delivered it (the
// screen stream's clock); it travels on as the frame's capture time and comes back in the viewer's ack.
struct CapturedFrame {
    std::shared_ptr<PixelBuffer> pixelBuffer;
    std::uint64_t time = 0;
};

// What a source is asked to produce: pictures of exactly width×height (even) of `region` of the display,
// letterboxed where the aspect differs, at most `frameRate` (5…60) a second.
struct CaptureConfiguration {
    std::uint32_t displayID = 0;
    int width = 0;
    int height = 0;
    int frameRate = 30;
    NormalizedRect region;

    bool operator==(const CaptureConfiguration&) const = default;
};

// Something that can picture the displays of this computer. The screen-viewing flow only lists displays through
// a fresh source; each viewer's ScreenStream drives a source of its own through start, update and stop, awaiting
// each call before making the next. Every completion is called exactly once, from any thread.
class ScreenCaptureSource {
public:
    using DisplaysResult = std::variant<std::vector<ScreenDisplay>, ScreenCaptureFailure>;
    // Absent: done. Present: why not.
    using Completion = std::function<void(std::optional<ScreenCaptureFailure>)>;
    using FrameHandler = std::function<void(CapturedFrame)>;
    using StopHandler = std::function<void(ScreenCaptureFailure)>;

    virtual ~ScreenCaptureSource() = default;

    // The displays that can be captured, main display first where the platform says so.
    virtual void displays(std::function<void(DisplaysResult)> done) = 0;
    // Starts capturing; `done` reports once capture runs (or why it cannot, and then nothing runs). From then on
    // pictures go to `onFrame` on the source's own thread until `stop` completes; `onStop` reports, once, a
    // capture the platform ended by itself. Called only when no capture of this source runs.
    virtual void start(CaptureConfiguration configuration, FrameHandler onFrame, StopHandler onStop,
                       Completion done) = 0;
    // A new size, frame rate or region for the running capture of the same display, without a restart.
    virtual void update(CaptureConfiguration configuration, Completion done) = 0;
    // Ends frame delivery; never fails and never hangs, also when the display server has gone. May arrive while
    // a start is still in progress: no frame is delivered after `done`.
    virtual void stop(std::function<void()> done) = 0;
};

} // namespace orvik::helper
