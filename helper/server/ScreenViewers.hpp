#pragma once

#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "preferences/HelperPreferences.hpp"
#include "screen/ScreenServices.hpp"
#include "server/ServerTypes.hpp"

#include <asio.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// One registered viewer, keyed in the server by the identifier of the session that views.
struct ActiveScreen {
    std::shared_ptr<ScreenStream> stream;
    Uuid deviceID;
    std::string deviceName;
    // The start request as received; a configure replaces its display and settings, its codecs stay.
    ScreenStart start;
};

// The screen viewers of the server: answers a session's screen messages, asks the local user before a device
// may watch, keeps one stream per watching session, tells each viewer the state of its stream, and pauses,
// resumes and stops them all together.
//
// Threading: every operation runs on the server's thread, the Host's too. Awaitable operations suspend while
// the user is asked, while displays are listed and while a stream starts, pauses, resumes or stops; they look
// the viewer up again afterwards. Video never passes through here: each stream sends straight to its viewer.
class ScreenViewers {
public:
    // What the viewers need of the server that owns them.
    class Host {
    public:
        // A session as a viewer needs it: its device's name, its address and a send straight to its
        // connection, callable from any thread.
        struct Viewing {
            std::string deviceName;
            std::string address;
            ScreenStream::Send send;
        };

        // Absent: screen viewing is not offered. Read at each use.
        virtual std::shared_ptr<const ScreenServices> screenServices() const = 0;
        // Absent once the session has ended.
        virtual std::optional<Viewing> viewingSession(const Uuid& sessionID) const = 0;
        // The session serves a viewer from now on: it leaves the connected devices.
        virtual void markScreenSession(const Uuid& sessionID) = 0;
        virtual const HelperPreferences& viewingPreferences() const = 0;
        // Adds the device to those that may watch without being asked, and saves the preferences.
        virtual void allowViewerAlways(const Uuid& deviceID) = 0;
        virtual bool controlPaused() const = 0;
        virtual void sendToViewer(OrvikMessage message, const Uuid& sessionID) = 0;
        // Publishes viewers() to whoever shows them: after a viewer was registered or removed.
        virtual void emitScreenViewers() = 0;
        // Leads a capture failure reported from any thread to captureFailed() on the server's thread, as long
        // as the server exists.
        virtual ScreenStream::FailureHandler captureFailureHandler(const Uuid& sessionID) = 0;

    protected:
        ~Host() = default;
    };

    explicit ScreenViewers(Host& host) : host_(host) {}

    ScreenViewers(const ScreenViewers&) = delete;
    ScreenViewers& operator=(const ScreenViewers&) = delete;

    // True for the six screen messages, which it has then served; false for every other message.
    asio::awaitable<bool> handleScreenMessage(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    // Tells every viewer `state`, then stops it.
    asio::awaitable<void> stopAll(ScreenStreamState state);
    // Brings every stream to the server's pause state as it stands, and tells each viewer.
    asio::awaitable<void> pauseChanged();
    // A running stream's capture ended: tells the viewer why and stops it.
    asio::awaitable<void> captureFailed(Uuid sessionID, ScreenCaptureFailure failure);
    // The session is gone: its stream is stopped without waiting, and the viewers are published if it had one.
    void sessionEnded(const Uuid& sessionID);

    // Current viewers by device name.
    std::vector<ConnectedDevice> viewers() const;

private:
    struct Viewer {
        ActiveScreen screen;
        std::string address;
    };

    asio::awaitable<void> sendDisplays(const ScreenDisplaysRequest& request, Uuid sessionID);
    asio::awaitable<void> startViewing(ScreenStart start, Uuid sessionID, Uuid deviceID);
    // Asks the local user unless the device may always watch; true when the viewer may be built.
    asio::awaitable<bool> approveViewer(Uuid sessionID, Uuid deviceID);
    std::shared_ptr<ScreenStream> makeStream(const ScreenServices& screen, const Uuid& sessionID,
                                             const ScreenStream::Send& send);
    asio::awaitable<void> startStreaming(std::shared_ptr<ScreenStream> stream, Uuid sessionID);
    asio::awaitable<void> configureViewer(ScreenConfigure configure, Uuid sessionID);
    asio::awaitable<void> stopViewer(Uuid sessionID);
    void sendScreenState(ScreenStreamState state, const Uuid& sessionID);
    bool hasStream(const Uuid& sessionID, const std::shared_ptr<ScreenStream>& stream) const;

    Host& host_;
    std::map<Uuid, Viewer> viewers_;
    // Pause changes are applied one pass at a time; a change during a pass is applied by another pass.
    bool applyingPause_ = false;
};

} // namespace orvik::helper
