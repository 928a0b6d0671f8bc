#pragma once

#include "core/Date.hpp"
#include "core/EventStream.hpp"
#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "pairing/PairedDeviceStore.hpp"
#include "pairing/PairingSession.hpp"
#include "server/HelperIdentity.hpp"
#include "server/ServerTypes.hpp"
#include "server/SystemInfo.hpp"

#include <asio.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// The pairing window and the requests that pair through it. At most one window is open: opening another replaces
// it, and it closes when cancelled, when it expires and when a request passes its checks (it is used up before
// the local user is asked, so no other phone can pair through it meanwhile). A request is checked against the
// window, put to the local user unless a scanned code may pair without asking, and the new device is stored and
// sent its key. Publishes the pairing, paired and devices events.
//
// Threading: every operation runs on the server's thread, the Host's too. handleRequest suspends while the store
// looks the device's key up and while it stores the device (both off the server's thread: a keyring that does not
// answer holds up no other phone), and while the local user is asked; after each it looks the session, and before
// the question the window, up again. Each window's expiry waits on the boot-time clock, is never cancelled, and
// closes only the window it was started for.
class PairingFlow {
public:
    // What the flow needs of the server that owns it.
    class Host {
    public:
        // The peer address of a session; absent once the session has ended.
        virtual std::optional<std::string> requesterAddress(const Uuid& sessionID) const = 0;
        // The session waits for the local user from now on: the approval time-out applies to it.
        virtual void awaitApproval(const Uuid& sessionID) = 0;
        // Sends the answer, then ends the session.
        virtual void answerRequester(OrvikMessage answer, const Uuid& sessionID) = 0;
        // A wrong proof counts as a failed handshake of its address; a pairing as a successful one.
        virtual void proofFailed(const std::string& address) = 0;
        virtual void pairedFrom(const std::string& address) = 0;
        // The listener's keys changed (a window opened or closed, a device was stored): it takes them up.
        virtual void pairingKeysChanged() = 0;
        // The listener's port; absent while it has none.
        virtual std::optional<std::uint16_t> listenerPort() const = 0;
        // What this computer offers now; sent with the new device's key.
        virtual Capabilities offeredCapabilities() const = 0;
        // Whether a scanned code pairs without asking the local user; read at each request.
        virtual bool pairsScansWithoutAsking() const = 0;
        // Asks the local user whether the device may pair; `done` is called once, from any thread.
        virtual void askPairingApproval(PairingApprovalRequest request, std::function<void(bool)> done) = 0;
        // Leads a window's expiry to cancel(id) on the server's thread, as long as the server exists.
        virtual std::function<void(const Uuid&)> expiryHandler() = 0;

    protected:
        ~Host() = default;
    };

    // What the flow keeps for its whole life.
    struct Configuration {
        asio::any_io_executor executor;
        std::shared_ptr<EventStream<ServerEvent>> events;
        std::shared_ptr<PairedDeviceStore> store;
        HelperIdentity identity;
        // Wall-clock dates: a window's expiry and a device's pairing date.
        std::function<Date()> wallClock;
        // How long a window stays open, in seconds.
        double lifetime = PairingSession::lifetime;
        // Host queries for a window's addresses.
        std::shared_ptr<SystemInfo> systemInfo;
    };

    PairingFlow(Host& host, Configuration configuration);

    PairingFlow(const PairingFlow&) = delete;
    PairingFlow& operator=(const PairingFlow&) = delete;

    // Opens a new window in place of the open one; absent when no secret could be drawn (the open one stays).
    std::optional<PairingInfo> open();
    // Closes the open window, if any.
    void cancel();
    // Closes the window only while it is the one with this identifier.
    void cancel(const Uuid& id);
    // The open window's keys while it is valid, for the listener to offer beside the devices' keys; else none.
    std::vector<PreSharedKey> listenerKeys() const;

    // Answers a session's pairRequest, proved over `challenge`, and ends the session.
    asio::awaitable<void> handleRequest(PairRequest request, Bytes challenge, Uuid sessionID);

private:
    // Whether the request may go on by the window and its proof; if not, the session has been answered.
    bool admits(const PairRequest& request, const Bytes& challenge, const Uuid& sessionID, const std::string& address);
    // Whether no paired device has this identifier, and the session and the window the request came through are
    // still there; if not, the session (if any) has been answered.
    asio::awaitable<bool> identifierIsFree(Uuid deviceID, Uuid sessionID, Uuid windowID);
    // True when the device may be paired: without asking, or by the local user's yes while the session lasts.
    asio::awaitable<bool> approves(PairingMethod method, PairingApprovalRequest question, Uuid sessionID);
    // Stores the device under a new key and sends the key.
    asio::awaitable<void> pair(PairRequest request, PairingApprovalRequest names, Uuid sessionID, std::string address);
    // What the pairing window on screen shows of this window; the addresses are those reachable now.
    PairingInfo info(const PairingSession& window) const;
    // A window is there and has not run out (one that has may not be closed yet).
    bool windowIsOpen() const;
    void scheduleExpiry(const PairingSession& window);
    void publish(ServerEvent event) { events_->publish(std::move(event)); }

    Host& host_;
    asio::any_io_executor executor_;
    std::shared_ptr<EventStream<ServerEvent>> events_;
    std::shared_ptr<PairedDeviceStore> store_;
    HelperIdentity identity_;
    std::function<Date()> wallClock_;
    double lifetime_;
    std::shared_ptr<SystemInfo> systemInfo_;
    std::optional<PairingSession> window_;
};

} // namespace orvik::helper
