#include "audio/PulseVolume.hpp"

#include "core/Log.hpp"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "System";
constexpr const char* applicationName = "Orvik Helper";
constexpr const char* loopName = "Orvik.Volume";

float levelOf(const pa_cvolume& volume) {
    float level = static_cast<float>(pa_cvolume_max(&volume)) / static_cast<float>(PA_VOLUME_NORM);
    // The server accepts up to 150 %; reported above 1, a volume-up would lower it.
    return std::clamp(level, 0.0f, 1.0f);
}

} // namespace

// The outstanding requests of one setLevel or setMuted call, touched only under the loop's lock (on its thread,
// or by the caller while it issues them). Each request and the time-out hold it through a heap-allocated shared
// pointer that libpulse's state or destroy callback frees, so whichever ends first leaves nothing dangling.
struct PulseVolume::Confirmation {
    using Holder = std::shared_ptr<Confirmation>;

    PulseVolume* owner = nullptr;
    pa_mainloop_api* api = nullptr;
    Done done;
    bool reported = false;
    int pending = 0;
    bool succeeded = true;
    // The status the cache takes once every request succeeded.
    std::optional<VolumeStatus> expected;
    pa_time_event* timeout = nullptr;

    static void onSuccess(pa_context*, int success, void* userdata) {
        if (!success) (*static_cast<Holder*>(userdata))->succeeded = false;
    }

    static void onState(pa_operation* operation, void* userdata) {
        auto* holder = static_cast<Holder*>(userdata);
        auto state = pa_operation_get_state(operation);
        if (state == PA_OPERATION_RUNNING) return;
        auto self = *holder;
        pa_operation_set_state_callback(operation, nullptr, nullptr);
        delete holder;
        if (state == PA_OPERATION_CANCELLED) self->succeeded = false;
        if (--self->pending == 0) self->finish(self->succeeded);
    }

    static void onTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
        auto self = *static_cast<Holder*>(userdata);
        Log::error(logCategory, "Volume: the sound server did not confirm in time");
        self->finish(false);
    }

    static void onTimeoutFreed(pa_mainloop_api*, pa_time_event*, void* userdata) {
        delete static_cast<Holder*>(userdata);
    }

    void startTimeout(const Holder& self) {
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, static_cast<pa_usec_t>(
                                  std::chrono::duration_cast<std::chrono::microseconds>(confirmationTimeout).count()));
        auto* holder = new Holder(self);
        timeout = api->time_new(api, &when, &Confirmation::onTimeout, holder);
        if (!timeout) {
            delete holder;
            return;
        }
        api->time_set_destroy(timeout, &Confirmation::onTimeoutFreed);
    }

    // Makes one request whose callbacks hold `self`; false when libpulse refused to make it.
    bool issue(const Holder& self, const std::function<pa_operation*(void* userdata)>& make) {
        auto* holder = new Holder(self);
        pa_operation* operation = make(holder);
        if (!operation) {
            delete holder;
            succeeded = false;
            return false;
        }
        ++pending;
        pa_operation_set_state_callback(operation, &Confirmation::onState, holder);
        pa_operation_unref(operation);
        return true;
    }

    // Reports once: an answer that comes after the time-out changes nothing.
    void finish(bool confirmed) {
        if (std::exchange(reported, true)) return;
        if (timeout) api->time_free(std::exchange(timeout, nullptr));
        // Going away: whoever waited is going away too, and must not hear from a half-destroyed service.
        if (owner->closing_) return;
        if (confirmed && expected) {
            std::lock_guard cache(owner->mutex_);
            if (owner->status_) owner->status_ = expected;
        }
        auto report = std::exchange(done, nullptr);
        if (report) report(confirmed);
    }
};

PulseVolume::PulseVolume(std::optional<std::string> server) : server_(std::move(server)) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) {
        Log::error(logCategory, "Volume: no sound-server main loop");
        return;
    }
    pa_threaded_mainloop_set_name(loop_, loopName);
    pa_threaded_mainloop_lock(loop_);
    connect();
    pa_threaded_mainloop_unlock(loop_);
    if (pa_threaded_mainloop_start(loop_) < 0) Log::error(logCategory, "Volume: the main loop did not start");
}

PulseVolume::~PulseVolume() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    closing_ = true;
    if (reconnectTimer_) pa_threaded_mainloop_get_api(loop_)->time_free(reconnectTimer_);
    reconnectTimer_ = nullptr;
    stopWatchingSocket();
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

void PulseVolume::connect() {
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), applicationName);
    if (!context_) return scheduleReconnect();
    pa_context_set_state_callback(
        context_, [](pa_context*, void* self) { static_cast<PulseVolume*>(self)->contextStateChanged(); }, this);
    pa_context_set_subscribe_callback(
        context_,
        [](pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
            // Any sink or server change may concern the default sink (a switch is a server change).
            static_cast<PulseVolume*>(self)->refresh();
        },
        this);
    // The helper never starts a sound server of its own: it connects again when one appears.
    // A refused connection may already have failed through the state callback, which dropped the context.
    if (pa_context_connect(context_, server_ ? server_->c_str() : nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
        context_) {
        dropContext();
    }
}

// The context is gone for good (libpulse never reconnects one): a new one is made after a while.
void PulseVolume::dropContext() {
    // Logged once per loss, not at every attempt to connect again.
    if (!std::exchange(lossLogged_, true)) {
        Log::notice(logCategory, std::string("Volume: no sound server: ") + pa_strerror(pa_context_errno(context_)));
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    publish(std::nullopt, {}, PA_INVALID_INDEX);
    scheduleReconnect();
}

void PulseVolume::contextStateChanged() {
    switch (pa_context_get_state(context_)) {
    case PA_CONTEXT_READY: {
        if (std::exchange(lossLogged_, false)) Log::notice(logCategory, "Volume: sound server connected");
        stopWatchingSocket();
        auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER);
        if (auto* operation = pa_context_subscribe(context_, mask, nullptr, nullptr)) pa_operation_unref(operation);
        refresh();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: dropContext(); break;
    default: break;
    }
}

// Waits for the server's socket to appear (made anew when a server starts), with one more attempt a moment after
// a failed one: the socket may have come just before the watch, or its server may not listen yet.
void PulseVolume::scheduleReconnect() {
    auto* api = pa_threaded_mainloop_get_api(loop_);
    if (!socketWatch_) {
        if (auto socket = socketOf(server_)) serverSocket_.emplace(*socket);
        if (serverSocket_ && serverSocket_->descriptor() >= 0) {
            socketWatch_ = api->io_new(
                api, serverSocket_->descriptor(), PA_IO_EVENT_INPUT,
                [](pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* userdata) {
                    auto* self = static_cast<PulseVolume*>(userdata);
                    if (!self->serverSocket_->appeared() || self->context_) return;
                    self->retriedSinceAppearance_ = false;
                    self->connect();
                },
                this);
        } else {
            serverSocket_.reset();
        }
    }
    if (!socketWatch_) return reconnectIn(reconnectInterval);
    if (std::exchange(retriedSinceAppearance_, true)) return;
    reconnectIn(socketSettles);
}

void PulseVolume::reconnectIn(std::chrono::milliseconds delay) {
    if (reconnectTimer_) return;
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(std::chrono::duration_cast<std::chrono::microseconds>(delay).count()));
    auto* api = pa_threaded_mainloop_get_api(loop_);
    reconnectTimer_ = api->time_new(
        api, &when,
        [](pa_mainloop_api* loopApi, pa_time_event* event, const timeval*, void* userdata) {
            auto* self = static_cast<PulseVolume*>(userdata);
            loopApi->time_free(event);
            self->reconnectTimer_ = nullptr;
            if (!self->context_) self->connect();
        },
        this);
}

void PulseVolume::stopWatchingSocket() {
    if (socketWatch_) pa_threaded_mainloop_get_api(loop_)->io_free(socketWatch_);
    socketWatch_ = nullptr;
    serverSocket_.reset();
    retriedSinceAppearance_ = false;
}

std::optional<std::filesystem::path> PulseVolume::socketOf(const std::optional<std::string>& server) {
    std::string address = server.value_or("");
    if (address.empty()) {
        if (const char* fromEnvironment = std::getenv("PULSE_SERVER")) address = fromEnvironment;
    }
    if (address.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') return std::nullopt;
        return std::filesystem::path(runtime) / "pulse" / "native";
    }
    // A list of addresses: the first, without its "{machine id}" prefix.
    address = address.substr(0, address.find(' '));
    if (!address.empty() && address.front() == '{') address.erase(0, address.find('}') + 1);
    if (address.rfind("unix:", 0) == 0) address.erase(0, 5);
    if (address.empty() || address.front() != '/') return std::nullopt;
    return std::filesystem::path(address);
}

void PulseVolume::refresh() {
    if (!context_) return;
    auto* operation = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* self) {
            static_cast<PulseVolume*>(self)->serverInfoArrived(info);
        },
        this);
    if (operation) pa_operation_unref(operation);
}

void PulseVolume::serverInfoArrived(const pa_server_info* info) {
    if (!info || !info->default_sink_name || !*info->default_sink_name) {
        publish(std::nullopt, {}, PA_INVALID_INDEX);
        return;
    }
    auto* operation = pa_context_get_sink_info_by_name(
        context_, info->default_sink_name,
        [](pa_context*, const pa_sink_info* sink, int, void* self) {
            if (sink) static_cast<PulseVolume*>(self)->sinkInfoArrived(sink);
        },
        this);
    if (operation) pa_operation_unref(operation);
}

void PulseVolume::sinkInfoArrived(const pa_sink_info* info) {
    channelVolumes_.assign(info->volume.values, info->volume.values + info->volume.channels);
    publish(VolumeStatus{levelOf(info->volume), info->mute != 0, true}, info->name ? info->name : "", info->index);
}

void PulseVolume::publish(std::optional<VolumeStatus> status, std::string sinkName, std::uint32_t sinkIndex) {
    std::function<void()> handler;
    {
        std::lock_guard guard(mutex_);
        if (status_ == status && sinkName_ == sinkName) return;
        status_ = status;
        sinkName_ = std::move(sinkName);
        sinkIndex_ = sinkIndex;
        handler = handler_;
    }
    if (!status) channelVolumes_.clear();
    if (handler) handler();
}

std::optional<VolumeStatus> PulseVolume::status() const {
    std::lock_guard guard(mutex_);
    return status_;
}

std::string PulseVolume::sinkName() const {
    std::lock_guard guard(mutex_);
    return sinkName_;
}

void PulseVolume::observeChanges(std::function<void()> handler) {
    std::lock_guard guard(mutex_);
    handler_ = std::move(handler);
}

void PulseVolume::setLevel(float level, Done done) {
    if (std::isnan(level)) return done(false);
    const float clamped = std::clamp(level, 0.0f, 1.0f);
    auto request = [&](const std::shared_ptr<Confirmation>& confirmation) {
        if (channelVolumes_.empty()) return false;
        pa_cvolume volume{};
        volume.channels = static_cast<std::uint8_t>(channelVolumes_.size());
        std::copy(channelVolumes_.begin(), channelVolumes_.end(), volume.values);
        // Scaling keeps the balance: the loudest channel gets the level, the others keep their ratio to it.
        pa_cvolume_scale(&volume, static_cast<pa_volume_t>(std::lround(clamped * static_cast<float>(PA_VOLUME_NORM))));
        auto& expected = *confirmation->expected;
        expected.level = levelOf(volume);
        const bool unmute = clamped > 0 && expected.isMuted;
        if (unmute) expected.isMuted = false;
        bool issued = confirmation->issue(confirmation, [&](void* userdata) {
            return pa_context_set_sink_volume_by_index(context_, sinkIndex_, &volume, &Confirmation::onSuccess,
                                                       userdata);
        });
        if (issued && unmute) {
            issued = confirmation->issue(confirmation, [&](void* userdata) {
                return pa_context_set_sink_mute_by_index(context_, sinkIndex_, 0, &Confirmation::onSuccess, userdata);
            });
        }
        return issued;
    };
    confirm(request, std::move(done));
}

void PulseVolume::setMuted(bool muted, Done done) {
    auto request = [&](const std::shared_ptr<Confirmation>& confirmation) {
        confirmation->expected->isMuted = muted;
        return confirmation->issue(confirmation, [&](void* userdata) {
            return pa_context_set_sink_mute_by_index(context_, sinkIndex_, muted ? 1 : 0, &Confirmation::onSuccess,
                                                     userdata);
        });
    };
    confirm(request, std::move(done));
}

void PulseVolume::confirm(const std::function<bool(const std::shared_ptr<Confirmation>&)>& request, Done done) {
    // From the loop's own thread the lock below is already held by libpulse's dispatch.
    if (!loop_ || pa_threaded_mainloop_in_thread(loop_)) return done(false);
    auto confirmation = std::make_shared<Confirmation>();
    confirmation->owner = this;
    confirmation->api = pa_threaded_mainloop_get_api(loop_);
    confirmation->done = std::move(done);
    pa_threaded_mainloop_lock(loop_);
    {
        std::lock_guard guard(mutex_);
        confirmation->expected = status_;
    }
    const bool ready = context_ && pa_context_get_state(context_) == PA_CONTEXT_READY && confirmation->expected;
    if (ready) {
        confirmation->startTimeout(confirmation);
        request(confirmation);
    }
    // The answers come on the loop's thread, which needs the lock: none has come yet.
    if (confirmation->pending == 0) confirmation->finish(false);
    pa_threaded_mainloop_unlock(loop_);
}

std::unique_ptr<VolumeControlling> makePulseVolume(std::optional<std::string> server) {
    return std::make_unique<PulseVolume>(std::move(server));
}

} // namespace orvik::helper
