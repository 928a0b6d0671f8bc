#include "server/HelperServer.hpp"

#include "core/CallbackAwait.hpp"

#include <algorithm>

namespace orvik::helper {

namespace {

ScreenStreamState state(ScreenCaptureFailure failure) {
    switch (failure) {
    case ScreenCaptureFailure::permissionDenied: return ScreenStreamState::permissionMissing;
    case ScreenCaptureFailure::displayUnavailable: return ScreenStreamState::displayUnavailable;
    case ScreenCaptureFailure::failed: break;
    }
    return ScreenStreamState::locked;
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
        if (std::find(supported.begin(), supported.end(), codec) != supported.end()) return codec;
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

asio::awaitable<bool> HelperServer::handleScreenMessage(const OrvikMessage& message, Uuid sessionID, Uuid deviceID) {
    auto viewer = screens_.find(sessionID);
    std::shared_ptr<ScreenStream> stream = viewer != screens_.end() ? viewer->second.stream : nullptr;
    if (auto* request = message.get<ScreenDisplaysRequest>()) {
        co_await sendDisplays(*request, sessionID);
    } else if (auto* start = message.get<ScreenStart>()) {
        co_await startScreen(*start, sessionID, deviceID);
    } else if (auto* configure = message.get<ScreenConfigure>()) {
        co_await configureScreen(*configure, sessionID);
    } else if (auto* ack = message.get<ScreenFrameAck>()) {
        if (stream) stream->ack(*ack);
    } else if (message.get<ScreenStop>()) {
        co_await stopScreen(sessionID);
    } else if (message.get<ScreenKeyframeRequest>()) {
        if (stream) stream->requestKeyframe();
    } else {
        co_return false;
    }
    co_return true;
}

void HelperServer::refuse(ScreenStreamState state, const Uuid& sessionID) {
    send(ScreenState{state}, sessionID);
}

asio::awaitable<void> HelperServer::sendDisplays(const ScreenDisplaysRequest& request, Uuid sessionID) {
    auto screen = services_.screen;
    if (!screen) {
        send(ErrorMessage{ErrorCode::unsupported, std::nullopt, request.requestID}, sessionID);
        co_return;
    }
    if (!screen->canCapture()) {
        send(ErrorMessage{ErrorCode::permissionMissing, std::nullopt, request.requestID}, sessionID);
        co_return;
    }
    auto displays = co_await listDisplays(*screen);
    send(ScreenDisplays{request.requestID, std::move(displays)}, sessionID);
}

asio::awaitable<void> HelperServer::startScreen(ScreenStart start, Uuid sessionID, Uuid deviceID) {
    auto screen = services_.screen;
    if (!screen) {
        send(ErrorMessage{ErrorCode::unsupported, std::nullopt, std::nullopt}, sessionID);
        co_return;
    }
    auto* session = findSession(sessionID);
    if (!session || screens_.contains(sessionID)) {
        send(ErrorMessage{ErrorCode::invalidRequest, "already streaming", std::nullopt}, sessionID);
        co_return;
    }
    session->isScreen = true;
    emitConnections();
    if (!preferences_.screenViewingEnabled) {
        refuse(ScreenStreamState::notAllowed, sessionID);
        co_return;
    }
    if (!screen->canCapture()) {
        refuse(ScreenStreamState::permissionMissing, sessionID);
        co_return;
    }

    auto& allowed = preferences_.screenViewingDevices;
    if (std::find(allowed.begin(), allowed.end(), deviceID) == allowed.end()) {
        refuse(ScreenStreamState::awaitingApproval, sessionID);
        auto approve = screen->approve;
        ScreenViewingRequest request{deviceID, session->deviceName};
        auto ask = [approve, request](std::function<void(ScreenViewingDecision)> done) {
            approve(request, std::move(done));
        };
        auto decision = co_await awaitResult<ScreenViewingDecision>(std::move(ask));
        if (!findSession(sessionID) || screens_.contains(sessionID)) co_return;
        if (decision == ScreenViewingDecision::deny || !preferences_.screenViewingEnabled) {
            refuse(ScreenStreamState::notAllowed, sessionID);
            co_return;
        }
        auto& devices = preferences_.screenViewingDevices;
        if (decision == ScreenViewingDecision::alwaysAllow &&
            std::find(devices.begin(), devices.end(), deviceID) == devices.end()) {
            devices.push_back(deviceID);
            preferencesStore_->save(preferences_);
        }
    }

    session = findSession(sessionID);
    auto connection = session ? session->connection : nullptr;
    std::weak_ptr<HelperServer> weakSelf = weak_from_this();
    auto stream = screen->makeStream(
        screen->makeSource(),
        [connection](OrvikMessage message) {
            if (connection) connection->send(std::move(message));
        },
        [weakSelf, sessionID, executor = executor_](ScreenCaptureFailure failure) {
            asio::post(executor, [weakSelf, sessionID, failure] {
                auto self = weakSelf.lock();
                if (!self) return;
                asio::co_spawn(self->executor_, self->screenFailed(sessionID, failure), asio::detached);
            });
        });
    screens_[sessionID] = ActiveScreen{stream, deviceID, session ? session->deviceName : std::string(), start};
    emitScreenViewers();
    if (isPaused_) {
        co_await pauseStream(stream);
    }
    co_await begin(stream, start.displayID, start.settings, start.codecs, sessionID);
}

asio::awaitable<void> HelperServer::begin(std::shared_ptr<ScreenStream> stream, std::optional<std::uint32_t> displayID,
                                          ScreenSettings settings, std::vector<ScreenCodec> codecs, Uuid sessionID) {
    auto screen = services_.screen;
    if (!screen) co_return;
    auto displays = co_await listDisplays(*screen);
    auto isCurrentViewer = [&] {
        auto viewer = screens_.find(sessionID);
        return viewer != screens_.end() && viewer->second.stream == stream;
    };
    if (!isCurrentViewer()) co_return;
    auto display = chooseDisplay(displays, displayID);
    if (!display) {
        refuse(ScreenStreamState::displayUnavailable, sessionID);
        co_return;
    }
    const auto codec = chooseCodec(codecs, screen->codecs);
    ScreenStream::Target target{*display, settings, codec};
    const auto failure = co_await startStream(stream, std::move(target));
    if (failure) {
        refuse(state(*failure), sessionID);
        co_return;
    }
    if (!isCurrentViewer()) co_return;
    send(ScreenStarted{*display, codec, settings.frameRate}, sessionID);
    refuse(isPaused_ ? ScreenStreamState::paused : ScreenStreamState::streaming, sessionID);
}

asio::awaitable<void> HelperServer::configureScreen(ScreenConfigure configure, Uuid sessionID) {
    auto viewer = screens_.find(sessionID);
    if (viewer == screens_.end()) co_return;
    viewer->second.start.displayID = configure.displayID;
    viewer->second.start.settings = configure.settings;
    const auto start = viewer->second.start;
    co_await begin(viewer->second.stream, start.displayID, start.settings, start.codecs, sessionID);
}

asio::awaitable<void> HelperServer::screenFailed(Uuid sessionID, ScreenCaptureFailure failure) {
    if (!screens_.contains(sessionID)) co_return;
    refuse(state(failure), sessionID);
    co_await stopScreen(sessionID);
}

asio::awaitable<void> HelperServer::stopScreen(Uuid sessionID) {
    auto viewer = screens_.find(sessionID);
    if (viewer == screens_.end()) co_return;
    auto stream = viewer->second.stream;
    screens_.erase(viewer);
    co_await stopStream(stream);
    emitScreenViewers();
}

asio::awaitable<void> HelperServer::stopAllScreens(ScreenStreamState state) {
    std::vector<Uuid> ids;
    for (const auto& [id, viewer] : screens_) ids.push_back(id);
    for (const auto& id : ids) {
        refuse(state, id);
        co_await stopScreen(id);
    }
}

asio::awaitable<void> HelperServer::screensPausedChanged() {
    // Two quick pause changes must not interleave over the viewers and leave them in the older state: one pass
    // at a time applies the flag as it is then, and passes repeat until the flag holds still.
    if (applyingScreenPause_) co_return;
    applyingScreenPause_ = true;
    std::optional<bool> applied;
    while (applied != isPaused_) {
        const bool paused = isPaused_;
        applied = paused;
        auto viewers = screens_;
        for (const auto& [id, viewer] : viewers) {
            auto stream = viewer.stream;
            if (paused) {
                co_await pauseStream(stream);
                refuse(ScreenStreamState::paused, id);
            } else {
                auto failure = co_await resumeStream(stream);
                refuse(failure ? state(*failure) : ScreenStreamState::streaming, id);
            }
        }
    }
    applyingScreenPause_ = false;
}

std::vector<ConnectedDevice> HelperServer::screenViewers() const {
    std::vector<ConnectedDevice> viewers;
    for (const auto& [id, viewer] : screens_) {
        auto* session = findSession(id);
        if (!session) continue;
        viewers.push_back(ConnectedDevice{id, viewer.deviceID, viewer.deviceName, session->address});
    }
    std::stable_sort(viewers.begin(), viewers.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return viewers;
}

void HelperServer::emitScreenViewers() {
    publish(ServerEvent::screenViewers(screenViewers()));
}

} // namespace orvik::helper
