#pragma once

#include "clipboard/PasteboardAccess.hpp"
#include "core/BootTimer.hpp"
#include "core/EventStream.hpp"
#include "core/IoThread.hpp"
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
#include "preferences/PreferencesStore.hpp"
#include "server/CommandOutcome.hpp"
#include "server/HandshakeRateLimiter.hpp"
#include "server/HelperIdentity.hpp"
#include "server/HelperServices.hpp"
#include "server/ScreenServices.hpp"
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

struct HelperServerProbe;

// The computer's end of every phone connection: it owns the listener, every session, the pairing window, the
// handshake rate limiter, the working copy of the preferences, the input controller, the screen viewers and the
// paste flow, and publishes ServerEvents.
//
// Threading: all state is touched only on the executor given at creation, which must be a single-threaded
// io_context (an IoThread); the listener, every connection and every timer run there too. Functions
// below must be called on that executor; callers on other threads reach them with asio::co_spawn or
// asio::post onto executor(). Awaitable operations may suspend; other work runs meanwhile, so every step after
// a co_await looks the session up again by its identifier. Each session's task holds the server strongly; the
// listener's callbacks, the maintenance loop and the pairing expiry hold it weakly.
class HelperServer : public std::enable_shared_from_this<HelperServer> {
public:
    // The name of the thread the server runs on (its serial queue).
    static constexpr const char* threadName = "Orvik.HelperServer";

    // Limits and time-outs (seconds on the server clock unless a duration).
    static constexpr double handshakeTimeout = 10;
    static constexpr double approvalTimeout = 60;
    static constexpr double idleTimeout = 20;
    static constexpr std::size_t maxSessions = 8;
    static constexpr std::size_t maxPendingHandshakes = 4;
    static constexpr std::size_t maxPendingPerAddress = 2;
    static constexpr std::chrono::seconds tlsTimeout{3};
    static constexpr std::chrono::seconds maintenanceInterval{2};
    static constexpr std::size_t eventCapacity = 64;
    // The command token bucket of each session.
    static constexpr double commandBurst = 40;
    static constexpr double commandRate = 20;
    // Most characters (grapheme clusters) one text message may carry.
    static constexpr std::size_t maxTextLength = 20000;
    // Longest wait for one call to the pasteboard, which runs on a thread of its own.
    static constexpr std::chrono::seconds pasteboardTimeout{2};

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
        double openedAt = 0;
        double lastActivity = 0;
        std::string deviceName;
        bool requestedUpdateCheck = false;
        bool isScreen = false;
        double commandTokens = commandBurst;
        // Server-clock time of the last token request; absent until the first (the clock may read 0).
        std::optional<double> tokensUpdatedAt;

        std::optional<Uuid> deviceID() const;
    };

    struct Configuration {
        HelperIdentity identity;
        std::shared_ptr<PairedDeviceStore> store;
        std::shared_ptr<PreferencesStore> preferencesStore;
        HelperServices services;
        std::shared_ptr<InputSink> sink;
        std::shared_ptr<PasteboardAccess> pasteboard;
        ListenerOptions listenerOptions = ListenerOptions::production();
        ServerClock clock = systemUptimeClock();
        // Wall-clock dates: the pairing window's expiry and stored or logged times.
        std::function<Date()> wallClock = [] { return std::chrono::system_clock::now(); };
        std::chrono::milliseconds pasteRestoreDelay{400};
        // Where the listener remembers its port (the application's user defaults); absent: not remembered.
        std::shared_ptr<UserDefaults> defaults;
        // Makes the Bonjour advertiser when the options ask for advertising; absent: not advertised.
        BonjourAdvertiserFactory makeAdvertiser;
        // Host queries for the pairing window's addresses.
        std::shared_ptr<SystemInfo> systemInfo = SystemInfo::shared();
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
    std::optional<PairingInfo> startPairing();
    void cancelPairing();
    PairingInfo pairingInfo(const PairingSession& session) const;

    // Devices, pause and preferences.
    std::vector<PairedDevice> pairedDevices() const;
    void removeDevice(const Uuid& deviceID);
    std::vector<ConnectedDevice> connectedDevices() const;
    void emitConnections();
    asio::awaitable<void> setPaused(bool paused);
    bool isPaused() const { return isPaused_; }
    asio::awaitable<void> updatePreferences(HelperPreferences preferences);
    HelperPreferences currentPreferences() const { return preferences_; }
    std::vector<HandshakeRateLimiter::LoggedFailure> recentHandshakeFailures() const { return rateLimiter_.log(); }
    std::int64_t pendingHandshakeCount() const;
    void configureRateLimiter(HandshakeRateLimiter limiter);

    // Sending; used by every part of the server and by the command handlers.
    void send(OrvikMessage message, const Uuid& sessionID);
    void closeAfterSending(OrvikMessage message, const Uuid& sessionID);
    void end(const Uuid& sessionID);
    // The error-reply rule: a commandResult when the message carries a request identifier, else an error.
    void reply(const OrvikMessage& message, const Uuid& sessionID, ErrorCode error,
               std::optional<std::string> detail = std::nullopt);
    // An action's outcome as a commandResult.
    void reply(std::uint32_t requestID, const Uuid& sessionID, const CommandOutcome& outcome);

    // Status.
    HelperStatus currentStatus() const;
    void pushStatusIfChanged(bool force = false);
    void broadcast(const OrvikMessage& message);
    Capabilities capabilities() const;
    // Control is not paused and posting events is permitted now.
    bool canInject() const;

    // Screen viewing.
    asio::awaitable<void> stopAllScreens(ScreenStreamState state);
    std::vector<ConnectedDevice> screenViewers() const;
    void emitScreenViewers();

    // The peer address of a connection: IPv4 in dotted form (also when it arrived IPv4-mapped on a dual-stack
    // socket), IPv6 in its standard text, "unknown" when there is none.
    static std::string address(const std::optional<asio::ip::tcp::endpoint>& endpoint);

private:
    friend struct HelperServerProbe;

    struct MaintenanceTask;

    HelperServer(asio::any_io_executor executor, Configuration configuration);

    void listenerStatusChanged(ListenerStatus status);
    Session* findSession(const Uuid& id);
    const Session* findSession(const Uuid& id) const;
    void publish(ServerEvent event);

    // Admission and session loop (HelperServerSessions.cpp).
    void accept(IncomingConnection connection);
    asio::awaitable<void> run(Uuid id);
    void tlsHandshakeFailed(const Uuid& id, const ConnectionError& error);
    void recordAuthenticationFailure(const std::string& address);
    asio::awaitable<void> handle(const OrvikMessage& message, Uuid id);
    void handleUndecodable(std::uint16_t type, const Uuid& id);
    asio::awaitable<void> handleUpdateCheckRequest(Uuid id);
    void sessionEnded(const Session& session);

    // Handshake (HelperServerHandshake.cpp).
    void handleHello(const Hello& hello, const Uuid& sessionID);
    void handleAuthenticate(const Authenticate& message, const Bytes& challenge, const Uuid& sessionID);

    // Pairing (HelperServerPairing.cpp).
    asio::awaitable<void> handlePairRequest(PairRequest request, Bytes challenge, Uuid sessionID);
    asio::awaitable<bool> askApproval(PairingApprovalRequest request);
    void expirePairing(const Uuid& id);
    void scheduleExpiry(const PairingSession& session);

    // Maintenance (HelperServerMaintenance.cpp).
    void ensureMaintenance();
    static asio::awaitable<void> maintenanceLoop(std::weak_ptr<HelperServer> weakServer,
                                                 std::shared_ptr<MaintenanceTask> task);
    bool runMaintenance();
    void stopMaintenanceIfIdle();

    // Commands (HelperServerCommands.cpp, HelperServerText.cpp).
    asio::awaitable<void> handleCommand(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    bool handleLiveInput(const OrvikMessage& message);
    asio::awaitable<void> handleInPlace(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    asio::awaitable<void> handleBySystem(const OrvikMessage& message, Uuid sessionID);
    bool takeCommandToken(const Uuid& sessionID);
    asio::awaitable<void> insertText(TextInput input);
    asio::awaitable<void> paste(std::string text);
    template <class T, class Call> asio::awaitable<std::optional<T>> onPasteboard(Call call);
    asio::awaitable<void> waitForPasteRestore();

    // Screen viewing (HelperServerScreen.cpp).
    asio::awaitable<bool> handleScreenMessage(const OrvikMessage& message, Uuid sessionID, Uuid deviceID);
    asio::awaitable<void> sendDisplays(const ScreenDisplaysRequest& request, Uuid sessionID);
    asio::awaitable<void> startScreen(ScreenStart start, Uuid sessionID, Uuid deviceID);
    asio::awaitable<void> begin(std::shared_ptr<ScreenStream> stream, std::optional<std::uint32_t> displayID,
                                ScreenSettings settings, std::vector<ScreenCodec> codecs, Uuid sessionID);
    asio::awaitable<void> configureScreen(ScreenConfigure configure, Uuid sessionID);
    asio::awaitable<void> screenFailed(Uuid sessionID, ScreenCaptureFailure failure);
    asio::awaitable<void> stopScreen(Uuid sessionID);
    asio::awaitable<void> screensPausedChanged();
    void refuse(ScreenStreamState state, const Uuid& sessionID);

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
    std::chrono::milliseconds pasteRestoreDelay_;
    std::shared_ptr<SystemInfo> systemInfo_;
    // The pasteboard is called on a thread of its own: it may block briefly while it talks to the X server or
    // another client, and the server thread must never wait for that.
    std::shared_ptr<IoThread> pasteboardThread_;

    HelperIdentity identity_;
    HelperPreferences preferences_;
    HelperServices services_;
    InputController input_;
    HandshakeRateLimiter rateLimiter_;
    std::optional<PairingSession> pairing_;
    std::map<Uuid, Session> sessions_;
    std::map<Uuid, ActiveScreen> screens_;
    bool isPaused_ = false;
    ListenerStatus listenerStatus_ = ListenerStatus::starting();
    std::shared_ptr<MaintenanceTask> maintenanceTask_;
    std::optional<HelperStatus> lastPushedStatus_;
    std::int64_t pasteGeneration_ = 0;
    std::optional<PasteboardSnapshot> pasteOriginal_;
    // A run of overlapping pastes is under way: its first paste takes (or took) the snapshot to restore.
    bool pasteRunOpen_ = false;
    // Pending restore waits, so that a test can end them early.
    std::vector<std::weak_ptr<BootTimer>> pasteWaits_;
    bool isRunning_ = false;
    // Pause changes are applied to the viewers one pass at a time; a change during a pass asks for another.
    bool applyingScreenPause_ = false;
    bool screenPauseChangedAgain_ = false;
};

} // namespace orvik::helper
