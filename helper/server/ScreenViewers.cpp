#include "server/ScreenViewers.hpp"

#include "core/CallbackAwait.hpp"

#include <algorithm>

namespace orvik::helper {

namespace {

ScreenStreamState stateOf(ScreenCaptureFailure failure) {
    switch (failure) {
    case ScreenCaptureFailure::permissionDenied: return ScreenStreamState::permissionMissing;
    case ScreenCaptureFailure::displayUnavailable: return ScreenStreamState::displayUnavailable;
    case ScreenCaptureFailure::failed: break;
    }
    return ScreenStreamState::locked;
}

template <class T> bool contains(const std::vector<T>& values, const T& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

asio::awaitable<std::vector<ScreenDisplay>> listDisplays(const ScreenServices& screen) {
    auto source = screen.makeSource ? screen.makeSource() : nullptr;
    if (!source) co_return std::vector<ScreenDisplay>{};
    auto list = [source](std::function<void(ScreenCaptureSource::DisplaysResult)> done) {
        source->displays(std::move(done));
    };
    auto listed = co_await awaitResult<ScreenCaptureSource::DisplaysResult>(std::move(list));
    if (auto* displays = std::get_if<std::vector<ScreenDisplay>>(&listed)) co_return std::move(*displays);
    co_return std::vector<ScreenDisplay>{};
}

// The requested display when listed, else the main display, else the first.
std::optional<ScreenDisplay> chooseDisplay(const std::vector<ScreenDisplay>& displays,
                                           std::optional<std::uint32_t> requested) {
    if (requested) {
        auto found = std::find_if(displays.begin(), displays.end(), [&](const auto& d) { return d.id == *requested; });
        if (found != displays.end()) return *found;
    }
    auto main = std::find_if(displays.begin(), displays.end(), [](const auto& d) { return d.isMain; });
    if (main != displays.end()) return *main;
    if (!displays.empty()) return displays.front();
    return std::nullopt;
}

// The first of the phone's codecs that this computer encodes; H.264 when none is.
ScreenCodec chooseCodec(const std::vector<ScreenCodec>& offered, const std::vector<ScreenCodec>& supported) {
    for (auto codec : offered) {
        if (contains(supported, codec)) return codec;
    }
    return ScreenCodec::h264;
}

asio::awaitable<std::optional<ScreenCaptureFailure>> startStream(std::shared_ptr<ScreenStream> stream,
                                                                 ScreenStream::Target target) {
    auto start = [stream, target = std::move(target)](ScreenStream::StartCompletion done) mutable {
        stream->start(std::move(target), std::move(done));
    };
    co_return co_await awaitResult<std::optional<ScreenCaptureFailure>>(std::move(start));
}

asio::awaitable<void> pauseStream(std::shared_ptr<ScreenStream> stream) {
    auto pause = [stream](std::function<void()> done) { stream->pause(std::move(done)); };
    co_await awaitCompletion(std::move(pause));
}

asio::awaitable<std::optional<ScreenCaptureFailure>> resumeStream(std::shared_ptr<ScreenStream> stream) {
    auto resume = [stream](ScreenStream::StartCompletion done) { stream->resume(std::move(done)); };
    co_return co_await awaitResult<std::optional<ScreenCaptureFailure>>(std::move(resume));
}

asio::awaitable<void> stopStream(std::shared_ptr<ScreenStream> stream) {
    auto stop = [stream](std::function<void()> done) { stream->stop(std::move(done)); };
    co_await awaitCompletion(std::move(stop));
}

} // namespace

asio::awaitable<bool> ScreenViewers::handleScreenMessage(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    auto viewer = viewers_.find(sessionID);
    std::shared_ptr<ScreenStream> stream = viewer != viewers_.end() ? viewer->second.screen.stream : nullptr;
    if (auto* request = message.get<ScreenDisplaysRequest>()) {
        co_await sendDisplays(*request, sessionID);
    } else if (auto* start = message.get<ScreenStart>()) {
        co_await startViewing(*start, sessionID, deviceID);
    } else if (auto* configure = message.get<ScreenConfigure>()) {
        co_await configureViewer(*configure, sessionID);
    } else if (auto* ack = message.get<ScreenFrameAck>()) {
        if (stream) stream->ack(*ack);
    } else if (message.get<ScreenStop>()) {
        co_await stopViewer(sessionID);
    } else if (message.get<ScreenKeyframeRequest>()) {
        if (stream) stream->requestKeyframe();
    } else {
        co_return false;
    }
    co_return true;
}

void ScreenViewers::sendScreenState(ScreenStreamState state, const Uuid& sessionID) {
    host_.sendToViewer(ScreenState{state}, sessionID);
}

asio::awaitable<void> ScreenViewers::sendDisplays(const ScreenDisplaysRequest& request, Uuid sessionID) {
    auto screen = host_.screenServices();
    if (!screen) {
        host_.sendToViewer(ErrorMessage{ErrorCode::unsupported, std::nullopt, request.requestID}, sessionID);
        co_return;
    }
    if (!screen->canCapture()) {
        host_.sendToViewer(ErrorMessage{ErrorCode::permissionMissing, std::nullopt, request.requestID}, sessionID);
        co_return;
    }
    auto displays = co_await listDisplays(*screen);
    host_.sendToViewer(ScreenDisplays{request.requestID, std::move(displays)}, sessionID);
}

asio::awaitable<void> ScreenViewers::startViewing(ScreenStart start, Uuid sessionID, Uuid deviceID) {
    auto screen = host_.screenServices();
    if (!screen) {
        host_.sendToViewer(ErrorMessage{ErrorCode::unsupported, std::nullopt, std::nullopt}, sessionID);
        co_return;
    }
    if (!host_.viewingSession(sessionID) || viewers_.contains(sessionID)) {
        host_.sendToViewer(ErrorMessage{ErrorCode::invalidRequest, "already streaming", std::nullopt}, sessionID);
        co_return;
    }
    host_.markScreenSession(sessionID);
    if (!host_.viewingPreferences().screenViewingEnabled) {
        sendScreenState(ScreenStreamState::notAllowed, sessionID);
        co_return;
    }
    if (!screen->canCapture()) {
        sendScreenState(ScreenStreamState::permissionMissing, sessionID);
        co_return;
    }
    const bool approved = co_await approveViewer(sessionID, deviceID);
    if (!approved) co_return;

    auto viewing = host_.viewingSession(sessionID);
    auto stream = viewing ? makeStream(*screen, sessionID, viewing->send) : nullptr;
    if (!stream) {
        // Services that cannot make a stream refuse the viewer as a stream that failed to start.
        sendScreenState(stateOf(ScreenCaptureFailure::failed), sessionID);
        co_return;
    }
    viewers_[sessionID] = Viewer{ActiveScreen{stream, deviceID, viewing->deviceName, start}, viewing->address};
    host_.emitScreenViewers();
    if (host_.controlPaused()) co_await pauseStream(stream);
    co_await startStreaming(stream, sessionID);
}

asio::awaitable<bool> ScreenViewers::approveViewer(Uuid sessionID, Uuid deviceID) {
    if (contains(host_.viewingPreferences().screenViewingDevices, deviceID)) co_return true;
    sendScreenState(ScreenStreamState::awaitingApproval, sessionID);
    auto approve = host_.screenServices()->approve;
    ScreenViewingRequest request{deviceID, host_.viewingSession(sessionID)->deviceName};
    auto ask = [approve, request](std::function<void(ScreenViewingDecision)> done) {
        approve(request, std::move(done));
    };
    auto decision = co_await awaitResult<ScreenViewingDecision>(std::move(ask));
    // The question may have outlived the session, or the session found a viewer meanwhile.
    if (!host_.viewingSession(sessionID) || viewers_.contains(sessionID)) co_return false;
    if (decision == ScreenViewingDecision::deny || !host_.viewingPreferences().screenViewingEnabled) {
        sendScreenState(ScreenStreamState::notAllowed, sessionID);
        co_return false;
    }
    if (decision == ScreenViewingDecision::alwaysAllow &&
        !contains(host_.viewingPreferences().screenViewingDevices, deviceID)) {
        host_.allowViewerAlways(deviceID);
    }
    co_return true;
}

std::shared_ptr<ScreenStream> ScreenViewers::makeStream(const ScreenServices& screen, const Uuid& sessionID,
                                                        const ScreenStream::Send& send) {
    auto source = screen.makeSource ? screen.makeSource() : nullptr;
    if (!source || !screen.makeStream) return nullptr;
    return screen.makeStream(std::move(source), send, host_.captureFailureHandler(sessionID));
}

bool ScreenViewers::hasStream(const Uuid& sessionID, const std::shared_ptr<ScreenStream>& stream) const {
    auto viewer = viewers_.find(sessionID);
    return viewer != viewers_.end() && viewer->second.screen.stream == stream;
}

asio::awaitable<void> ScreenViewers::startStreaming(std::shared_ptr<ScreenStream> stream, Uuid sessionID) {
    auto screen = host_.screenServices();
    if (!screen) co_return;
    auto displays = co_await listDisplays(*screen);
    if (!hasStream(sessionID, stream)) co_return;
    const auto start = viewers_.at(sessionID).screen.start;
    auto display = chooseDisplay(displays, start.displayID);
    if (!display) {
        sendScreenState(ScreenStreamState::displayUnavailable, sessionID);
        co_return;
    }
    const auto codec = chooseCodec(start.codecs, screen->codecs);
    ScreenStream::Target target{*display, start.settings, codec};
    const auto failure = co_await startStream(stream, std::move(target));
    if (failure) {
        sendScreenState(stateOf(*failure), sessionID);
        co_return;
    }
    if (!hasStream(sessionID, stream)) co_return;
    host_.sendToViewer(ScreenStarted{*display, codec, start.settings.frameRate}, sessionID);
    sendScreenState(host_.controlPaused() ? ScreenStreamState::paused : ScreenStreamState::streaming, sessionID);
}

asio::awaitable<void> ScreenViewers::configureViewer(ScreenConfigure configure, Uuid sessionID) {
    auto viewer = viewers_.find(sessionID);
    if (viewer == viewers_.end()) co_return;
    viewer->second.screen.start.displayID = configure.displayID;
    viewer->second.screen.start.settings = configure.settings;
    co_await startStreaming(viewer->second.screen.stream, sessionID);
}

asio::awaitable<void> ScreenViewers::captureFailed(Uuid sessionID, ScreenCaptureFailure failure) {
    if (!viewers_.contains(sessionID)) co_return;
    sendScreenState(stateOf(failure), sessionID);
    co_await stopViewer(sessionID);
}

asio::awaitable<void> ScreenViewers::stopViewer(Uuid sessionID) {
    auto viewer = viewers_.find(sessionID);
    if (viewer == viewers_.end()) co_return;
    auto stream = viewer->second.screen.stream;
    // Removed before the stream winds down: a new start of the same session is accepted from now on.
    viewers_.erase(viewer);
    co_await stopStream(stream);
    host_.emitScreenViewers();
}

asio::awaitable<void> ScreenViewers::stopAll(ScreenStreamState state) {
    std::vector<Uuid> ids;
    for (const auto& [id, viewer] : viewers_) ids.push_back(id);
    for (const auto& id : ids) {
        sendScreenState(state, id);
        co_await stopViewer(id);
    }
}

asio::awaitable<void> ScreenViewers::pauseChanged() {
    // Two quick pause changes must not interleave over the viewers and leave them in the older state: one pass
    // at a time applies the flag as it is then, and passes repeat until the flag holds still.
    if (applyingPause_) co_return;
    applyingPause_ = true;
    std::optional<bool> applied;
    while (applied != host_.controlPaused()) {
        const bool paused = host_.controlPaused();
        applied = paused;
        auto viewers = viewers_;
        for (const auto& [id, viewer] : viewers) {
            auto stream = viewer.screen.stream;
            if (paused) {
                co_await pauseStream(stream);
                sendScreenState(ScreenStreamState::paused, id);
            } else {
                auto failure = co_await resumeStream(stream);
                // A viewer whose stream never started (no display, a failed start) has nothing to resume.
                if (failure) {
                    sendScreenState(stateOf(*failure), id);
                } else if (stream->target()) {
                    sendScreenState(ScreenStreamState::streaming, id);
                }
            }
        }
    }
    applyingPause_ = false;
}

void ScreenViewers::sessionEnded(const Uuid& sessionID) {
    auto viewer = viewers_.find(sessionID);
    if (viewer == viewers_.end()) return;
    auto stream = viewer->second.screen.stream;
    viewers_.erase(viewer);
    // Nothing waits for the stream to wind down.
    stream->stop([stream] {});
    host_.emitScreenViewers();
}

std::vector<ConnectedDevice> ScreenViewers::viewers() const {
    std::vector<ConnectedDevice> listed;
    for (const auto& [id, viewer] : viewers_) {
        listed.push_back(ConnectedDevice{id, viewer.screen.deviceID, viewer.screen.deviceName, viewer.address});
    }
    std::stable_sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return listed;
}

} // namespace orvik::helper
