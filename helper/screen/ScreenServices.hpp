#pragma once

#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "screen/ScreenCaptureSource.hpp"
#include "screen/ScreenStream.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvik::helper {

// The question put to the local user before a device may view the screen.
struct ScreenViewingRequest {
    Uuid deviceID;
    std::string deviceName;
};

enum class ScreenViewingDecision { deny, allowOnce, alwaysAllow };

// What screen viewing needs from outside the server; held in HelperServices::screen, whose absence means the
// computer offers no screen viewing. Every callable may be called from any thread.
struct ScreenServices {
    using CanCapture = std::function<bool()>;
    using MakeSource = std::function<std::shared_ptr<ScreenCaptureSource>()>;
    // A viewer's stream over its own capture source, sending on the viewer's connection through `send` (from
    // any thread) and reporting a capture that ended by itself through `onFailure` (from any thread). A factory
    // rather than a constructor call: the encoder is the platform's, chosen where the services are composed.
    using MakeStream = std::function<std::shared_ptr<ScreenStream>(
        std::shared_ptr<ScreenCaptureSource> source, ScreenStream::Send send, ScreenStream::FailureHandler onFailure)>;
    // Returns only when the local user has answered, through `done`, called exactly once from any thread.
    using Approve = std::function<void(ScreenViewingRequest request, std::function<void(ScreenViewingDecision)> done)>;

    // Whether capture is permitted now; asked afresh for every listing and every start.
    CanCapture canCapture;
    // A fresh, idle capture source.
    MakeSource makeSource;
    Approve approve;
    // The codecs this computer can encode, used as a set: the phone's order decides.
    std::vector<ScreenCodec> codecs;
    MakeStream makeStream;
};

} // namespace orvik::helper
