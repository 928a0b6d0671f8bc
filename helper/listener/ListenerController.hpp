#pragma once

#include "core/UserDefaults.hpp"
#include "listener/BonjourAdvertising.hpp"
#include "listener/ListenerOptions.hpp"
#include "listener/ListenerStatus.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace orvik::helper {

// A TCP connection the listener accepted, not yet started, with the TLS context that knows the listener's keys.
struct IncomingConnection {
    asio::ip::tcp::socket socket;
    std::shared_ptr<asio::ssl::context> tls;
    // Where it came from.
    asio::ip::tcp::endpoint peer;
};

// Owns the one network listener: a TCP acceptor whose connections speak TLS with the pre-shared keys it was
// given, advertised by Bonjour. A new key set retires the current acceptor and binds a new one on the same port;
// a failed acceptor is bound again after a growing delay. Everything runs on the executor it was made with (the
// server's thread), so it holds no lock; both callbacks are called there.
class ListenerController : public std::enable_shared_from_this<ListenerController> {
public:
    using ConnectionHandler = std::function<void(IncomingConnection)>;
    using StatusHandler = std::function<void(ListenerStatus)>;

    static constexpr double initialRetryDelay = 1.0;
    static constexpr double maxRetryDelay = 30.0;
    // How long a retired acceptor may take to report its cancellation before the next one is bound anyway.
    static constexpr std::chrono::milliseconds retireFallback{1000};
    // Out of descriptors, accepting tries again after these, doubling, until a connection is taken; the listener
    // stays bound meanwhile.
    static constexpr std::chrono::milliseconds firstRoomWait{50};
    static constexpr std::chrono::milliseconds longestRoomWait{1000};

    // Restores the port stored under options.portDefaultsKey when it lies in 1...65535. `makeAdvertiser` is used
    // only when options.advertise is set; without one the listener is not advertised.
    static std::shared_ptr<ListenerController> make(asio::any_io_executor executor, ListenerOptions options,
                                                    std::shared_ptr<UserDefaults> defaults,
                                                    BonjourAdvertiserFactory makeAdvertiser = {});

    ListenerController(const ListenerController&) = delete;
    ListenerController& operator=(const ListenerController&) = delete;
    ~ListenerController();

    // Binds a listener for these keys and TXT record now, or once the previous one has been retired. The keys
    // take effect at once for every handshake that has not yet chosen its key.
    void start(std::vector<PreSharedKey> keys, std::map<std::string, std::string> txt);
    // Closes the current and the retiring listener, withdraws the advertisement, forgets the configuration.
    void stop();

    // The last port a listener became ready on, or the restored one; absent means any free port.
    std::optional<std::uint16_t> port() const { return port_; }
    // The delay before the next retry after a failure.
    double retryDelay() const { return retryDelay_; }
    // The delay after `delay`: doubled, at most maxRetryDelay.
    static double nextRetryDelay(double delay);

    // Set before the first start(). A listener calls the connection handler that was set when it was bound.
    ConnectionHandler onConnection;
    StatusHandler onStatus;
    // The host name the mDNS daemon publishes while the advertisement is registered; absent without a daemon.
    std::function<void(std::optional<std::string>)> onAdvertisedHostName;

private:
    enum class State { ready, failed, cancelled };
    struct Listener;
    struct Desired {
        std::vector<PreSharedKey> keys;
        std::map<std::string, std::string> txt;
    };
    using StateHandler = std::function<void(State, std::error_code)>;

    ListenerController(asio::any_io_executor executor, ListenerOptions options, std::shared_ptr<UserDefaults> defaults,
                       BonjourAdvertiserFactory makeAdvertiser);

    void retire(std::shared_ptr<Listener> listener);
    void retired(const std::shared_ptr<Listener>& listener);
    void bindDesired();
    void bind(const Desired& desired, std::int64_t generation);
    void open(Listener& listener, std::error_code& error) const;
    void handle(State state, std::error_code error, const std::shared_ptr<Listener>& listener, const Desired& desired,
                std::int64_t generation);
    void becameReady(const std::shared_ptr<Listener>& listener, const Desired& desired);
    void scheduleRetry(Desired desired, std::int64_t generation, bool resetPort);
    void advertise(std::uint16_t port, const std::map<std::string, std::string>& txt);
    void withdrawAdvertisement();
    void report(ListenerStatus status);
    void logAdvertising(const BonjourState& state);
    static void cancel(const std::shared_ptr<Listener>& listener);
    static asio::awaitable<void> acceptLoop(std::shared_ptr<Listener> listener);

    asio::any_io_executor executor_;
    ListenerOptions options_;
    std::shared_ptr<UserDefaults> defaults_;
    std::unique_ptr<BonjourAdvertising> advertiser_;
    std::optional<BonjourService> advertised_;
    // The advertising state last logged: each state is logged once, however often it is reported.
    std::optional<BonjourState> loggedAdvertising_;
    // One context for the controller's life: its key lookup is replaced with every start().
    std::shared_ptr<asio::ssl::context> tls_;
    std::shared_ptr<Listener> listener_;
    std::shared_ptr<Listener> closing_;
    std::optional<Desired> desired_;
    std::int64_t generation_ = 0;
    double retryDelay_ = initialRetryDelay;
    std::optional<std::uint16_t> port_;
};

} // namespace orvik::helper
