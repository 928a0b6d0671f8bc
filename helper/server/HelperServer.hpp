#pragma once

#include "clipboard/PasteboardAccess.hpp"
#include "core/EventStream.hpp"
#include "core/LogLimiter.hpp"
#include "core/ServerClock.hpp"
#include "core/UserDefaults.hpp"
#include "injection/InputController.hpp"
#include "injection/InputSink.hpp"
#include "listener/BonjourAdvertising.hpp"
#include "listener/ListenerController.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "pairing/PairedDeviceStore.hpp"
#include "pairing/PairingSession.hpp"
#include "preferences/HelperPreferences.hpp"
#include "preferences/PreferenceChange.hpp"
#include "preferences/PreferencesStore.hpp"
#include "screen/ScreenServices.hpp"
#include "server/CommandOutcome.hpp"
#include "server/CommandTokenBucket.hpp"
#include "server/FloodMemoryRelease.hpp"
#include "server/HandshakeRateLimiter.hpp"
#include "server/HelperIdentity.hpp"
#include "server/HelperServices.hpp"
#include "server/PairingFlow.hpp"
#include "server/PasteFlow.hpp"
#include "server/ScreenViewers.hpp"
#include "server/ServerTypes.hpp"
#include "server/SystemInfo.hpp"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orvik::helper {

// The computer's end of every phone connection: it owns the listener, every session, the handshake rate limiter,
// the preferences (their one owner: it publishes every record it stores) and the input controller, and publishes
// ServerEvents. The pairing window, the paste flow and the screen viewers are collaborators it owns; command
// handlers reach it only through a CommandSession.
//
// Threading: all state is touched only on the executor given at creation, which must be a single-threaded
// io_context (an IoThread); the listener, every connection and every timer run there too. Functions
// below must be called on that executor; callers on other threads reach them with asio::co_spawn or
// asio::post onto executor(). Awaitable operations may suspend; other work runs meanwhile, so every step after
// a co_await looks the session up again by its identifier. Each session's task holds the server strongly; the
// listener's callbacks, the maintenance loop, the pairing expiry and command sessions hold it weakly.
class HelperServer : public std::enable_shared_from_this<HelperServer>,
                     private ScreenViewers::Host,
                     private PairingFlow::Host {
public:
    // The name of the thread the server runs on (its serial queue).
    static constexpr const char* threadName = "Orvik.HelperServer";

    // Limits and time-outs (seconds on the server clock unless a duration).
    static constexpr double handshakeTimeout = 10;
    static constexpr double approvalTimeout = 60;
    static constexpr double idleTimeout = 20;
    static constexpr std::size_t maxSessions = 8;
    // Pending sessions past TLS (they hold a key): beyond these, one whose TLS completes is closed; none is displaced.
    static constexpr std::size_t maxPendingHandshakes = 4;
    static constexpr std::size_t maxPendingPerAddress = 2;
    // Connections still inside TLS. Nothing tells a phone from a stranger before the client's second flight, so they
    // have a pool of their own, large enough that strangers churning it displace each other (PendingEviction) and
    // not a phone whose handshake is slow on its link. Each costs a descriptor and its TLS state (docs/protocol.md).
    static constexpr std::size_t maxInsideTLS = 256;
    static constexpr std::size_t maxInsideTLSPerAddress = 4;
    static constexpr std::chrono::seconds tlsTimeout{3};
    static constexpr std::chrono::seconds maintenanceInterval{2};
    static constexpr std::size_t eventCapacity = 64;
    // Most characters (grapheme clusters) one text message may carry.
    static constexpr std::size_t maxTextLength = 20000;

    // One connection. An authenticated session has a device identifier; every other one is pending.
    struct Session {
        struct AwaitingProof {
            Bytes challenge;
        };
        struct Authenticated {
            Uuid deviceID;
        };
        struct AwaitingHello {};
        struct AwaitingApproval {};
        using Stage = std::variant<AwaitingProof, Authenticated, AwaitingHello, AwaitingApproval>;

        Uuid id;
        std::shared_ptr<FramedConnection> connection;
        std::string address;
        Stage stage = AwaitingHello{};
        // The TLS handshake is complete and the session has its place among those past TLS: the phone holds a key,
        // and a newcomer never displaces the session.
        bool finishedTLS = false;
        // While the store still loads its keys at start, the handshake waits on this timer (cancelled once they
        // are there); a handshake that began before them does not count an unknown identity as a failure.
        std::shared_ptr<asio::steady_timer> keyWait;
        bool startedBeforeKeys = false;
        double openedAt = 0;
        double lastActivity = 0;
        std::string deviceName;
        bool requestedUpdateCheck = false;
        bool isScreen = false;
        CommandTokenBucket commands;

        std::optional<Uuid> deviceID() const;
    };

    struct Configuration {
        HelperIdentity identity;
        std::shared_ptr<PairedDeviceStore> store;
        std::shared_ptr<PreferencesStore> preferencesStore;
        HelperServices services;
        std::shared_ptr<InputSink> sink;
        // The clipboard: the paste flow and the clipboard commands use it.
        std::shared_ptr<PasteboardAccess> pasteboard;
        // The primary selection, which terminals paste: the paste flow fills it too. Absent where there is none.
        std::shared_ptr<PasteboardAccess> primarySelection;
        ListenerOptions listenerOptions = ListenerOptions::production();
        ServerClock clock = systemUptimeClock();
        // Wall-clock dates: the pairing window's expiry and stored or logged times.
        std::function<Date()> wallClock = [] { return std::chrono::system_clock::now(); };
        std::chrono::milliseconds pasteRestoreDelay{400};
        // How long a pairing window stays open, in seconds.
        double pairingLifetime = PairingSession::lifetime;
        // Where the listener remembers its port (the application's user defaults); absent: not remembered.
        std::shared_ptr<UserDefaults> defaults;
        // Makes the Bonjour advertiser when the options ask for advertising; absent: not advertised.
        BonjourAdvertiserFactory makeAdvertiser;
        // Host queries for the pairing window's addresses (required; the platform's hostSystemInfo() in production).
        std::shared_ptr<SystemInfo> systemInfo;
        // The longest a new connection's TLS handshake waits for the keys the store still loads at start.
        std::chrono::milliseconds keyLoadWait{2000};
    };

    // Builds the server; starts nothing and publishes nothing.
    static std::shared_ptr<HelperServer> create(asio::any_io_executor executor, Configuration configuration);
    ~HelperServer();

    HelperServer(const HelperServer&) = delete;
    HelperServer& operator=(const HelperServer&) = delete;

    // Readable from any thread.
    const asio::any_io_executor& executor() const { return executor_; }
    const std::shared_ptr<EventStream<ServerEvent>>& events() const { return events_; }

    // Lifecycle.
    void start();
    void stop();
    std::optional<std::uint16_t> port() const;
    void restartListener();
    void setServices(HelperServices services);
    const ListenerStatus& listenerStatus() const { return listenerStatus_; }
    bool isRunning() const { return isRunning_; }

    // Pairing window.
    std::optional<PairingInfo> startPairing() { return pairing_.open(); }
    void cancelPairing() { pairing_.cancel(); }
    // Closes the window only while it is the one with this identifier: what its expiry does, and what the one
    // who opened it does when done with it (a newer window someone else opened stays).
    void cancelPairing(const Uuid& id) { pairing_.cancel(id); }
    void expirePairing(const Uuid& id) { cancelPairing(id); }

    // Devices, pause and preferences.
    std::vector<PairedDevice> pairedDevices() const;
    void removeDevice(const Uuid& deviceID);
    std::vector<ConnectedDevice> connectedDevices() const;
    void emitConnections();
    asio::awaitable<void> setPaused(bool paused);
    bool isPaused() const { return isPaused_; }
    // Merges one field into the record the server holds (the others stay as they are here, whoever set them last),
    // stores and publishes the result; an equal value changes nothing.
    asio::awaitable<void> updatePreferences(PreferenceChange change);
    HelperPreferences currentPreferences() const { return preferences_; }
    std::vector<HandshakeRateLimiter::LoggedFailure> recentHandshakeFailures() const { return rateLimiter_.log(); }
    std::int64_t pendingHandshakeCount() const;
    std::size_t sessionCount() const { return sessions_.size(); }
    bool hasSession(const Uuid& sessionID) const { return sessions_.contains(sessionID); }
    void configureRateLimiter(HandshakeRateLimiter limiter);

    // Sending; used by every part of the server and by the command sessions.
    void send(OrvikMessage message, const Uuid& sessionID);
    void closeAfterSending(OrvikMessage message, const Uuid& sessionID);
    void endSession(const Uuid& sessionID);
    // The error-reply rule: a commandResult when the message carries a request identifier, else an error.
    void reply(const OrvikMessage& message, const Uuid& sessionID, ErrorCode error,
               std::optional<std::string> detail = std::nullopt);
    // An action's outcome as a commandResult.
    void reply(std::uint32_t requestID, const Uuid& sessionID, const CommandOutcome& outcome);

    // Keys on behalf of command handlers, when input may be posted at that moment (canInject).
    bool press(const KeyCombo& combo);
    void postMediaKey(MediaKey key);

    // Status.
    HelperStatus currentStatus() const;
    void pushStatusIfChanged(bool force = false);
    void broadcast(const OrvikMessage& message);
    Capabilities capabilities() const;
    // Control is not paused and posting events is permitted now.
    bool canInject() const;

    // Maintenance: one pass now (the loop runs one every maintenanceInterval while sessions exist).
    bool runMaintenance();
    bool isMaintenanceRunning() const { return maintenanceTask_ != nullptr; }

    // Screen viewing.
    asio::awaitable<void> stopAllScreens(ScreenStreamState state);
    std::vector<ConnectedDevice> screenViewers() const { return viewers_.viewers(); }
    // Publishes the viewers list as ServerEvent::screenViewers; the viewers call it whenever the list changed.
    void emitScreenViewers() override;

    // The peer address of a connection: IPv4 in dotted form (also when it arrived IPv4-mapped on a dual-stack
    // socket), IPv6 in its standard text, "unknown" when there is none.
    static std::string address(const std::optional<asio::ip::tcp::endpoint>& endpoint);

private:
    struct MaintenanceTask;

    HelperServer(asio::any_io_executor executor, Configuration configuration);

    void listenerStatusChanged(ListenerStatus status);
    Session* findSession(const Uuid& id);
    const Session* findSession(const Uuid& id) const;
    void publish(ServerEvent event);
    // The server is the one owner of the preferences: every record it takes, from the user or of its own accord,
    // goes through here to be saved and published, and the application shows what was published.
    void storePreferences(HelperPreferences preferences);

    // Admission and session loop (HelperServerSessions.cpp).
    void acceptConnection(IncomingConnection connection);
    asio::awaitable<void> runSession(Uuid id);
    asio::awaitable<void> waitForKeys(Uuid id);
    void keysArrived();
    // Moves a session that finished TLS among the pending sessions past TLS, if their limits allow.
    bool admitPastTLS(const Uuid& id);
    // A session left the connections inside TLS.
    void leftTLSPool();
    void tlsHandshakeFailed(const Uuid& id, const ConnectionError& error);
    void recordAuthenticationFailure(const std::string& address);
    // True when a failed handshake offered the identity of a device the list names.
    bool namesListedDevice(const ConnectionError& error) const;
    asio::awaitable<void> handleSessionMessage(const OrvikMessage& message, Uuid id);
    asio::awaitable<void> handleProofStage(const OrvikMessage& message, Bytes challenge, Uuid id);
    void handleUndecodable(std::uint16_t type, const Uuid& id);
    // The message's frame, or the refusal sent in its place when it cannot be one frame (logged).
    Frame frameFor(const OrvikMessage& message);
    asio::awaitable<void> handleUpdateCheckRequest(Uuid id);
    void sessionEnded(const Session& session);

    // Handshake (HelperServerHandshake.cpp).
    void handleHello(const Hello& hello, const Uuid& sessionID);
    void handleAuthenticate(const Authenticate& message, const Bytes& challenge, const Uuid& sessionID);
    bool identityAllows(const Session& session, const OrvikMessage& message) const;

    // What the pairing flow uses of the server (HelperServerPairing.cpp).
    std::optional<std::string> requesterAddress(const Uuid& sessionID) const override;
    void awaitApproval(const Uuid& sessionID) override;
    void answerRequester(OrvikMessage answer, const Uuid& sessionID) override {
        closeAfterSending(std::move(answer), sessionID);
    }
    void proofFailed(const std::string& address) override { recordAuthenticationFailure(address); }
    void pairedFrom(const std::string& address) override { rateLimiter_.recordSuccess(address); }
    void pairingKeysChanged() override { restartListener(); }
    std::optional<std::uint16_t> listenerPort() const override { return port(); }
    Capabilities offeredCapabilities() const override { return capabilities(); }
    bool pairsScansWithoutAsking() const override { return preferences_.autoAllowOnScan; }
    void askPairingApproval(PairingApprovalRequest request, std::function<void(bool)> done) override;
    std::function<void(const Uuid&)> expiryHandler() override;

    // Maintenance (HelperServerMaintenance.cpp).
    void ensureMaintenance();
    static asio::awaitable<void> maintenanceLoop(std::weak_ptr<HelperServer> weakServer,
                                                 std::shared_ptr<MaintenanceTask> task);
    void stopMaintenanceIfIdle();

    // Commands (HelperServerCommands.cpp).
    asio::awaitable<void> handleCommand(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    void handleLiveInput(const OrvikMessage& message);
    // Serves text and the housekeeping messages, before the pause gate; false for every other message.
    asio::awaitable<bool> handleInPlace(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    asio::awaitable<void> handleBySystem(const OrvikMessage& message, Uuid sessionID);
    bool takeCommandToken(const Uuid& sessionID);
    asio::awaitable<void> insertText(TextInput input);

    // What the screen viewers use of the server (HelperServerScreens.cpp).
    std::shared_ptr<const ScreenServices> screenServices() const override { return services_.screen; }
    std::optional<Viewing> viewingSession(const Uuid& sessionID) const override;
    void markScreenSession(const Uuid& sessionID) override;
    const HelperPreferences& viewingPreferences() const override { return preferences_; }
    void allowViewerAlways(const Uuid& deviceID) override;
    bool controlPaused() const override { return isPaused_; }
    void sendToViewer(OrvikMessage message, const Uuid& sessionID) override { send(std::move(message), sessionID); }
    ScreenStream::FailureHandler captureFailureHandler(const Uuid& sessionID) override;
    asio::awaitable<void> reportCaptureFailure(Uuid sessionID, ScreenCaptureFailure failure);

    // Constant after construction.
    asio::any_io_executor executor_;
    std::shared_ptr<EventStream<ServerEvent>> events_;
    std::shared_ptr<PairedDeviceStore> store_;
    std::shared_ptr<PreferencesStore> preferencesStore_;
    std::shared_ptr<InputSink> sink_;
    std::shared_ptr<PasteboardAccess> pasteboard_;
    std::shared_ptr<ListenerController> listener_;
    ServerClock clock_;
    std::function<Date()> wallClock_;
    std::shared_ptr<SystemInfo> systemInfo_;
    std::chrono::milliseconds keyLoadWait_;

    HelperIdentity identity_;
    HelperPreferences preferences_;
    HelperServices services_;
    InputController input_;
    HandshakeRateLimiter rateLimiter_;
    PairingFlow pairing_;
    std::map<Uuid, Session> sessions_;
    bool isPaused_ = false;
    ListenerStatus listenerStatus_ = ListenerStatus::starting();
    std::shared_ptr<MaintenanceTask> maintenanceTask_;
    std::optional<HelperStatus> lastPushedStatus_;
    bool isRunning_ = false;
    // The listener has every key the store holds: its start's load has ended.
    bool keysLoaded_ = false;
    PasteFlow pasteFlow_;
    ScreenViewers viewers_;
    // Lines that a phone can repeat at will (reconnecting in a loop, asking again and again).
    LogLimiter repeatedLines_;
    FloodMemoryRelease floodMemory_;
};

} // namespace orvik::helper
