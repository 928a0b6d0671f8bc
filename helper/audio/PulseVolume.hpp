#pragma once

#include "core/PathAppearance.hpp"
#include "system/VolumeControlling.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_server_info;
struct pa_sink_info;
struct pa_time_event;
struct pa_io_event;

namespace orvik::helper {

// The output volume of the sound server's default sink (PulseAudio, or PipeWire's pulse server), through
// libpulse's threaded main loop.
//
// Threading: the main loop runs on a thread of its own ("Orvik.Volume"); every libpulse callback and the change
// handler run there. The status is a cache the loop keeps fresh from the server's change events, so `status()`
// answers from memory. `setLevel` and `setMuted` only send their requests: their completion comes on the loop's
// thread once the server confirmed, or with false after `confirmationTimeout` (a stalled server holds no caller),
// and must not wait there; a completion still waiting when the service is destroyed is dropped. Called from the
// loop's own thread (the change handler, a completion) they answer false at once. When the server goes away the
// status becomes absent and the loop waits for the server's socket to appear again (an inotify watch,
// `PathAppearance`), trying once more a moment after a failed attempt; a server reached otherwise than through a
// socket file is tried every `reconnectInterval`.
class PulseVolume final : public VolumeControlling {
public:
    static constexpr std::chrono::milliseconds confirmationTimeout{1000};
    static constexpr std::chrono::milliseconds reconnectInterval{500};
    static constexpr std::chrono::milliseconds socketSettles{1000};

    // `server` is a libpulse server address ("unix:/run/user/1000/pulse/native"); absent: the user's default.
    explicit PulseVolume(std::optional<std::string> server);
    ~PulseVolume() override;
    PulseVolume(const PulseVolume&) = delete;
    PulseVolume& operator=(const PulseVolume&) = delete;

    std::optional<VolumeStatus> status() const override;
    void setLevel(float level, Done done) override;
    void setMuted(bool muted, Done done) override;
    void observeChanges(std::function<void()> handler) override;

    // The name of the default sink as last heard; empty while there is none.
    std::string sinkName() const;

    // The socket file of a server address ("unix:/run/user/1000/pulse/native", a plain path, or a list whose first
    // entry is one); absent: the default server's ($PULSE_SERVER, else $XDG_RUNTIME_DIR/pulse/native). Absent too
    // for servers reached otherwise (TCP).
    static std::optional<std::filesystem::path> socketOf(const std::optional<std::string>& server);

private:
    struct Confirmation;

    // The loop's thread only.
    void connect();
    void contextStateChanged();
    void dropContext();
    void scheduleReconnect();
    void reconnectIn(std::chrono::milliseconds delay);
    void stopWatchingSocket();
    void refresh();
    void serverInfoArrived(const pa_server_info* info);
    void sinkInfoArrived(const pa_sink_info* info);
    void publish(std::optional<VolumeStatus> status, std::string sinkName, std::uint32_t sinkIndex);

    // Issues the requests under the loop's lock; `done` hears of their confirmation or of the time-out.
    void confirm(const std::function<bool(const std::shared_ptr<Confirmation>&)>& request, Done done);

    const std::optional<std::string> server_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* reconnectTimer_ = nullptr;
    // While no server answers: the watch on its socket, and whether the one retry after a failure was made.
    std::optional<PathAppearance> serverSocket_;
    pa_io_event* socketWatch_ = nullptr;
    bool retriedSinceAppearance_ = false;
    // The default sink's channel volumes, to scale when setting; touched under the loop's lock only.
    std::vector<std::uint32_t> channelVolumes_;
    bool lossLogged_ = false;
    // Set under the loop's lock when the service goes: completions still waiting are dropped, not called.
    bool closing_ = false;

    mutable std::mutex mutex_;
    std::optional<VolumeStatus> status_;
    std::string sinkName_;
    std::uint32_t sinkIndex_ = 0;
    std::function<void()> handler_;
};

// The production volume service; `server` as for PulseVolume.
std::unique_ptr<VolumeControlling> makePulseVolume(std::optional<std::string> server);

} // namespace orvik::helper
