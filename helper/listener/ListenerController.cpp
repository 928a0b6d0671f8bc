#include "listener/ListenerController.hpp"

#include "core/Log.hpp"
#include "listener/CloseOnExecSockets.hpp"
#include "orvik/protocol/pairing/OrvikService.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"

#include <algorithm>
#include <cerrno>
#include <limits>

namespace orvik::helper {

namespace {

constexpr const char* category = "Listener";

// Accept errors that concern one incoming connection only; the acceptor goes on after them.
bool concernsOneConnection(const std::error_code& error) {
    return error == asio::error::connection_aborted || error == asio::error::connection_reset ||
           error == asio::error::try_again || error == asio::error::would_block || error == asio::error::interrupted ||
           error == asio::error::no_permission ||
           (error.category() == asio::system_category() && error.value() == EPROTO);
}

// Accept errors that say the process (or the system) has no descriptor or buffer left for one more connection: the
// listener is sound, and the connection waits in its backlog until one is free.
bool meansNoRoom(const std::error_code& error) {
    if (error.category() != asio::system_category()) return false;
    return error.value() == EMFILE || error.value() == ENFILE || error.value() == ENOBUFS || error.value() == ENOMEM;
}

// A bind on the IPv6 wildcard that fails for one of these means the machine has IPv6 switched off.
bool meansNoIPv6(const std::error_code& error) {
    return error == asio::error::address_family_not_supported ||
           (error.category() == asio::system_category() && error.value() == EADDRNOTAVAIL);
}

} // namespace

struct ListenerController::Listener {
    explicit Listener(const asio::any_io_executor& executor) : acceptor(executor), roomWait(executor) {}

    asio::ip::tcp::acceptor acceptor;
    // While accepting waits for a free descriptor.
    asio::steady_timer roomWait;
    std::shared_ptr<asio::ssl::context> tls;
    ConnectionHandler onConnection;
    StateHandler onState;
    bool ipv6 = false;
    bool cancelled = false;
    bool accepting = false;

    void deliver(State state, std::error_code error = {}) {
        if (auto handler = onState) handler(state, error);
    }
};

std::shared_ptr<ListenerController> ListenerController::make(asio::any_io_executor executor, ListenerOptions options,
                                                             std::shared_ptr<UserDefaults> defaults,
                                                             BonjourAdvertiserFactory makeAdvertiser) {
    return std::shared_ptr<ListenerController>(new ListenerController(std::move(executor), std::move(options),
                                                                      std::move(defaults), std::move(makeAdvertiser)));
}

ListenerController::ListenerController(asio::any_io_executor executor, ListenerOptions options,
                                       std::shared_ptr<UserDefaults> defaults, BonjourAdvertiserFactory makeAdvertiser)
    : executor_(std::move(executor)), options_(std::move(options)), defaults_(std::move(defaults)),
      tls_(OrvikTLS::serverContext(OrvikTLS::lookupIn({}))) {
    if (options_.advertise && makeAdvertiser) advertiser_ = makeAdvertiser(executor_);
    if (options_.portDefaultsKey && defaults_) {
        auto stored = defaults_->integer(*options_.portDefaultsKey).value_or(0);
        if (stored >= 1 && stored <= std::numeric_limits<std::uint16_t>::max()) {
            port_ = static_cast<std::uint16_t>(stored);
        }
    }
    onConnection = [](IncomingConnection connection) {
        std::error_code ignored;
        connection.socket.close(ignored);
    };
}

ListenerController::~ListenerController() {
    // The acceptors would otherwise outlive their owner inside their accept loops.
    for (auto* listener : {&listener_, &closing_}) {
        if (!*listener) continue;
        (*listener)->onState = nullptr;
        cancel(*listener);
    }
}

double ListenerController::nextRetryDelay(double delay) {
    return std::min(delay * 2, maxRetryDelay);
}

void ListenerController::start(std::vector<PreSharedKey> keys, std::map<std::string, std::string> txt) {
    ++generation_;
    OrvikTLS::setKeyLookup(*tls_, OrvikTLS::lookupIn(keys));
    desired_ = Desired{std::move(keys), std::move(txt)};
    if (listener_) {
        retire(std::exchange(listener_, nullptr));
    } else if (!closing_) {
        bindDesired();
    }
}

void ListenerController::stop() {
    ++generation_;
    desired_.reset();
    OrvikTLS::setKeyLookup(*tls_, OrvikTLS::lookupIn({}));
    for (auto* listener : {&listener_, &closing_}) {
        if (!*listener) continue;
        (*listener)->onState = nullptr;
        (*listener)->onConnection = nullptr;
        cancel(*listener);
        listener->reset();
    }
    withdrawAdvertisement();
}

void ListenerController::retire(std::shared_ptr<Listener> listener) {
    closing_ = listener;
    listener->onConnection = nullptr;
    std::weak_ptr<ListenerController> weakSelf = weak_from_this();
    std::weak_ptr<Listener> weakListener = listener;
    listener->onState = [weakSelf, weakListener](State state, std::error_code) {
        if (state != State::cancelled) return;
        auto self = weakSelf.lock();
        auto retiredListener = weakListener.lock();
        if (self && retiredListener) self->retired(retiredListener);
    };
    cancel(listener);
    auto fallback = std::make_shared<asio::steady_timer>(executor_, retireFallback);
    fallback->async_wait([weakSelf, weakListener, fallback](std::error_code) {
        auto self = weakSelf.lock();
        auto retiredListener = weakListener.lock();
        if (self && retiredListener) self->retired(retiredListener);
    });
}

void ListenerController::retired(const std::shared_ptr<Listener>& listener) {
    if (closing_ != listener) return;
    closing_ = nullptr;
    bindDesired();
}

void ListenerController::bindDesired() {
    if (listener_ || closing_ || !desired_) return;
    bind(*desired_, generation_);
}

void ListenerController::bind(const Desired& desired, std::int64_t generation) {
    auto listener = std::make_shared<Listener>(executor_);
    listener->tls = tls_;
    std::error_code error;
    listener->ipv6 = !options_.loopbackOnly;
    CloseOnExecSockets::open(listener->acceptor, listener->ipv6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4(), error);
    if (error && listener->ipv6) {
        error.clear();
        listener->ipv6 = false;
        CloseOnExecSockets::open(listener->acceptor, asio::ip::tcp::v4(), error);
    }
    if (error) {
        Log::error(category, "Listener creation failed: " + error.message());
        report(ListenerStatus::failed(error.message()));
        scheduleRetry(desired, generation, true);
        return;
    }
    listener->onConnection = onConnection;
    std::weak_ptr<ListenerController> weakSelf = weak_from_this();
    std::weak_ptr<Listener> weakListener = listener;
    listener->onState = [weakSelf, weakListener, desired, generation](State state, std::error_code stateError) {
        auto self = weakSelf.lock();
        auto current = weakListener.lock();
        if (self && current) self->handle(state, stateError, current, desired, generation);
    };
    listener_ = listener;
    report(ListenerStatus::starting());

    open(*listener, error);
    // Like any listener, this one reports how its start went as its first state, from the executor.
    asio::post(executor_, [listener, error] {
        if (listener->cancelled) return;
        listener->deliver(error ? State::failed : State::ready, error);
    });
}

void ListenerController::open(Listener& listener, std::error_code& error) const {
    auto& acceptor = listener.acceptor;
    const std::uint16_t port = port_.value_or(0);
    acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (error) return;
    if (options_.loopbackOnly) {
        acceptor.bind({asio::ip::address_v4::loopback(), port}, error);
    } else if (listener.ipv6) {
        // One dual-stack socket serves IPv4 peers too; they show as IPv4-mapped addresses.
        acceptor.set_option(asio::ip::v6_only(false), error);
        if (!error) acceptor.bind({asio::ip::address_v6::any(), port}, error);
        if (meansNoIPv6(error)) {
            acceptor.close(error);
            CloseOnExecSockets::open(acceptor, asio::ip::tcp::v4(), error);
            if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
            if (!error) acceptor.bind({asio::ip::address_v4::any(), port}, error);
        }
    } else {
        acceptor.bind({asio::ip::address_v4::any(), port}, error);
    }
    if (!error) OrvikTLS::configureAcceptor(acceptor);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
}

void ListenerController::handle(State state, std::error_code error, const std::shared_ptr<Listener>& listener,
                                const Desired& desired, std::int64_t generation) {
    if (generation != generation_) return;
    switch (state) {
    case State::ready: becameReady(listener, desired); break;
    case State::failed:
        Log::error(category, "Listener failed: " + error.message());
        report(ListenerStatus::failed(error.message()));
        withdrawAdvertisement();
        scheduleRetry(desired, generation, error == asio::error::address_in_use);
        break;
    case State::cancelled: break;
    }
}

void ListenerController::becameReady(const std::shared_ptr<Listener>& listener, const Desired& desired) {
    retryDelay_ = initialRetryDelay;
    std::error_code error;
    auto endpoint = listener->acceptor.local_endpoint(error);
    if (error) return;
    port_ = endpoint.port();
    if (options_.portDefaultsKey && defaults_) defaults_->setInteger(*options_.portDefaultsKey, *port_);
    report(ListenerStatus::ready(*port_));
    advertise(*port_, desired.txt);
    listener->accepting = true;
    asio::co_spawn(executor_, acceptLoop(listener), asio::detached);
}

asio::awaitable<void> ListenerController::acceptLoop(std::shared_ptr<Listener> listener) {
    std::chrono::milliseconds roomDelay{0};
    for (;;) {
        auto accepted = co_await CloseOnExecSockets::accept(listener->acceptor);
        const auto error = accepted.error;
        if (listener->cancelled || error == asio::error::operation_aborted) break;
        if (meansNoRoom(error)) {
            // The waiting connection keeps the acceptor readable: asking again at once would spin.
            if (roomDelay.count() == 0) {
                Log::error(category, "Accepting waits for a free descriptor: " + error.message());
            }
            roomDelay = std::clamp(roomDelay * 2, firstRoomWait, longestRoomWait);
            listener->roomWait.expires_after(roomDelay);
            std::error_code ignored;
            co_await listener->roomWait.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
            if (listener->cancelled) break;
            continue;
        }
        roomDelay = {};
        if (error) {
            if (concernsOneConnection(error)) continue;
            listener->accepting = false;
            listener->deliver(State::failed, error);
            co_return;
        }
        if (auto handler = listener->onConnection) {
            IncomingConnection incoming{std::move(accepted.socket), listener->tls, accepted.peer};
            // A handler that throws loses that one connection; the listener goes on accepting.
            try {
                handler(std::move(incoming));
            } catch (const std::exception& failure) {
                Log::error(category, std::string("Connection not taken: ") + failure.what());
            }
        }
    }
    listener->accepting = false;
    listener->deliver(State::cancelled);
}

void ListenerController::cancel(const std::shared_ptr<Listener>& listener) {
    if (listener->cancelled) return;
    listener->cancelled = true;
    std::error_code ignored;
    listener->acceptor.close(ignored);
    listener->roomWait.cancel();
    // A listener whose accept loop runs reports its cancellation when the loop ends; any other does it here.
    if (!listener->accepting) {
        asio::post(listener->acceptor.get_executor(), [listener] { listener->deliver(State::cancelled); });
    }
}

void ListenerController::scheduleRetry(Desired desired, std::int64_t generation, bool resetPort) {
    if (resetPort) port_.reset();
    const double delay = retryDelay_;
    retryDelay_ = nextRetryDelay(retryDelay_);
    auto timer = std::make_shared<asio::steady_timer>(
        executor_, std::chrono::duration_cast<asio::steady_timer::duration>(std::chrono::duration<double>(delay)));
    timer->async_wait([weakSelf = weak_from_this(), desired = std::move(desired), generation, timer](std::error_code) {
        auto self = weakSelf.lock();
        if (!self || self->generation_ != generation) return;
        if (auto failed = std::exchange(self->listener_, nullptr)) cancel(failed);
        self->bind(desired, generation);
    });
}

void ListenerController::advertise(std::uint16_t port, const std::map<std::string, std::string>& txt) {
    if (!advertiser_) return;
    BonjourService service{"", std::string(OrvikService::bonjourType), port, txt};
    if (advertised_ == service) return;
    advertised_ = service;
    std::weak_ptr<ListenerController> weakSelf = weak_from_this();
    advertiser_->advertise(std::move(service), [weakSelf](const BonjourState& state) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->logAdvertising(state);
        if (auto hostNameChanged = self->onAdvertisedHostName) {
            if (state.kind == BonjourState::Kind::registered && !state.hostName.empty())
                hostNameChanged(state.hostName);
            if (state.kind == BonjourState::Kind::daemonUnavailable) hostNameChanged(std::nullopt);
        }
    });
}

void ListenerController::logAdvertising(const BonjourState& state) {
    if (loggedAdvertising_ == state) return;
    loggedAdvertising_ = state;
    switch (state.kind) {
    case BonjourState::Kind::registered: Log::info(category, "Advertising as " + state.name); break;
    case BonjourState::Kind::daemonUnavailable: Log::notice(category, "Advertising waits for the mDNS daemon"); break;
    case BonjourState::Kind::failed: Log::error(category, "Advertising failed: " + state.detail); break;
    }
}

void ListenerController::withdrawAdvertisement() {
    if (!advertiser_ || !advertised_) return;
    advertised_.reset();
    advertiser_->withdraw();
}

void ListenerController::report(ListenerStatus status) {
    if (auto handler = onStatus) handler(std::move(status));
}

} // namespace orvik::helper
