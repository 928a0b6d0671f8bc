#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "screen/ScreenCaptureSource.hpp"

#include <functional>
#include <optional>

namespace orvik::helper {

// One viewer's capture and encoding pipeline, as the server drives it from its own thread. The stream sends its
// video straight to the viewer's connection; the server only hands it control calls and acknowledgements.
// Every completion is called exactly once, from any thread.
class ScreenStream {
public:
    // What to stream: the chosen display, the viewer's settings as sent, the chosen codec.
    struct Target {
        ScreenDisplay display;
        ScreenSettings settings;
        ScreenCodec codec = ScreenCodec::h264;
    };
    using Completion = std::function<void()>;
    using Send = std::function<void(OrvikMessage)>;
    using FailureHandler = std::function<void(ScreenCaptureFailure)>;
    // Absent: it runs. Present: why it could not.
    using StartCompletion = std::function<void(std::optional<ScreenCaptureFailure>)>;

    virtual ~ScreenStream() = default;

    // Starts or restarts streaming with this target (also for every reconfiguration).
    virtual void start(Target target, StartCompletion done) = 0;
    virtual void pause(Completion done) = 0;
    virtual void resume(StartCompletion done) = 0;
    virtual void stop(Completion done) = 0;
    virtual void ack(const ScreenFrameAck& ack) = 0;
    virtual void requestKeyframe() = 0;
    // What it streams now; absent before the first start and after a stop. Safe from any thread.
    virtual std::optional<Target> target() const = 0;
    // The encoder's bit rate now, bits per second; 0 while nothing is encoded. Safe from any thread.
    virtual int currentBitRate() const = 0;
};

} // namespace orvik::helper
