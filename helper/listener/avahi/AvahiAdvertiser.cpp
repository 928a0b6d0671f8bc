#include "listener/avahi/AvahiAdvertiser.hpp"

#include "core/Log.hpp"
#include "core/PathAppearance.hpp"

#include <asio/post.hpp>
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>

#include <pthread.h>

#include <mutex>
#include <optional>

namespace orvik::helper {
namespace {
constexpr const char* logCategory = "Listener";
constexpr const char* threadName = "Orvik.Avahi";
// Without a system bus the client cannot even wait for the daemon's name; it waits for the bus's socket to appear
// instead, and tries once more this long after a socket appeared (or the watch began) without taking it.
constexpr unsigned socketSettlesMilliseconds = 1000;
// A system bus at an address without a socket file to watch is tried this often.
constexpr unsigned unwatchedBusRetryMilliseconds = 60'000;
} // namespace

// All Avahi objects live on the library's own poll thread. Callbacks run there with the poll lock held; the
// owner's calls take the lock. Reports hop to the owner's executor and are dropped there when a newer
// `advertise`/`withdraw` happened meanwhile (the generation check), so no stale state ever reaches the owner.
class AvahiAdvertiser::Engine : public std::enable_shared_from_this<Engine> {
public:
    explicit Engine(asio::any_io_executor executor) : executor_(std::move(executor)) {}

    void open() {
        poll_ = avahi_threaded_poll_new();
        if (!poll_) {
            Log::error(logCategory, "Bonjour advertising unavailable: no poll");
            return;
        }
        avahi_threaded_poll_lock(poll_);
        const AvahiPoll* api = avahi_threaded_poll_get(poll_);
        struct timeval now {};
        api->timeout_new(api, &now, &Engine::nameThread, this);
        createClient();
        avahi_threaded_poll_unlock(poll_);
        avahi_threaded_poll_start(poll_);
    }

    void close() {
        if (!poll_) return;
        avahi_threaded_poll_stop(poll_);
        stopWatchingBus();
        if (retry_) avahi_threaded_poll_get(poll_)->timeout_free(retry_);
        if (client_) avahi_client_free(client_); // frees the entry group too
        avahi_threaded_poll_free(poll_);
        poll_ = nullptr;
        client_ = nullptr;
        group_ = nullptr;
        retry_ = nullptr;
    }

    void advertise(BonjourService service, StateHandler onState) {
        if (!poll_) return;
        avahi_threaded_poll_lock(poll_);
        {
            std::lock_guard lock(ownerMutex_);
            ++generation_;
            handler_ = std::move(onState);
        }
        currentName_ = service.name;
        service_ = std::move(service);
        if (group_) avahi_entry_group_reset(group_);
        auto state = client_ ? avahi_client_get_state(client_) : AVAHI_CLIENT_CONNECTING;
        if (state == AVAHI_CLIENT_S_RUNNING) {
            registerService();
        } else if (state == AVAHI_CLIENT_CONNECTING) {
            report({BonjourState::Kind::daemonUnavailable, {}, {}, {}});
        }
        avahi_threaded_poll_unlock(poll_);
    }

    void withdraw() {
        if (!poll_) return;
        avahi_threaded_poll_lock(poll_);
        {
            std::lock_guard lock(ownerMutex_);
            ++generation_;
            handler_ = {};
        }
        service_.reset();
        if (group_) avahi_entry_group_reset(group_);
        avahi_threaded_poll_unlock(poll_);
    }

private:
    // Runs first on the poll's thread.
    static void nameThread(AvahiTimeout* timeout, void* context) {
        pthread_setname_np(pthread_self(), threadName);
        avahi_threaded_poll_get(static_cast<Engine*>(context)->poll_)->timeout_free(timeout);
    }

    // With a system bus, NO_FAIL makes a client that waits for the daemon's name on the bus by itself. Without
    // one, the client cannot be made: then the engine waits for the bus's socket to appear.
    void createClient() {
        int error = 0;
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), AVAHI_CLIENT_NO_FAIL, &Engine::onClientState, this,
                                   &error);
        if (client_) {
            stopWatchingBus();
            unavailableError_.reset();
            return;
        }
        // Logged once for each new reason, not at every attempt.
        if (unavailableError_ != error) {
            Log::error(logCategory, std::string("Bonjour advertising unavailable: ") + avahi_strerror(error));
            unavailableError_ = error;
        }
        if (service_) report({BonjourState::Kind::daemonUnavailable, {}, avahi_strerror(error), {}});
        if (!busWatch_ && !unwatchedBus_) watchForBus();
    }

    void watchForBus() {
        const AvahiPoll* api = avahi_threaded_poll_get(poll_);
        if (auto socket = PathAppearance::systemBusSocket()) busSocket_.emplace(*socket);
        if (!busSocket_ || busSocket_->descriptor() < 0) {
            busSocket_.reset();
            unwatchedBus_ = true;
            retryIn(unwatchedBusRetryMilliseconds);
            return;
        }
        busWatch_ = api->watch_new(api, busSocket_->descriptor(), AVAHI_WATCH_IN, &Engine::onBusFolder, this);
        // The bus may have come between the failed attempt and the watch.
        retryIn(socketSettlesMilliseconds);
    }

    void stopWatchingBus() {
        if (busWatch_) avahi_threaded_poll_get(poll_)->watch_free(busWatch_);
        busWatch_ = nullptr;
        busSocket_.reset();
        unwatchedBus_ = false;
    }

    static void onBusFolder(AvahiWatch* /*watch*/, int /*fd*/, AvahiWatchEvent /*event*/, void* context) {
        auto* self = static_cast<Engine*>(context);
        if (!self->busSocket_ || !self->busSocket_->appeared() || self->client_) return;
        self->createClient();
        // A daemon makes its socket a moment before it listens.
        if (!self->client_) self->retryIn(socketSettlesMilliseconds);
    }

    void retryIn(unsigned milliseconds) {
        if (retry_) return;
        struct timeval when {};
        avahi_elapse_time(&when, milliseconds, 0);
        retry_ =
            avahi_threaded_poll_get(poll_)->timeout_new(avahi_threaded_poll_get(poll_), &when, &Engine::onRetry, this);
    }

    static void onRetry(AvahiTimeout* timeout, void* context) {
        auto* self = static_cast<Engine*>(context);
        avahi_threaded_poll_get(self->poll_)->timeout_free(timeout);
        self->retry_ = nullptr;
        if (self->client_) return;
        self->createClient();
        if (!self->client_ && self->unwatchedBus_) self->retryIn(unwatchedBusRetryMilliseconds);
    }

    static void onClientState(AvahiClient* client, AvahiClientState state, void* context) {
        auto* self = static_cast<Engine*>(context);
        self->client_ = client; // first call happens inside avahi_client_new, before it returns
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING: self->registerService(); break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The host name changes; services are published again once the client runs.
            if (self->group_) avahi_entry_group_reset(self->group_);
            break;
        case AVAHI_CLIENT_CONNECTING:
            Log::notice(logCategory, "avahi-daemon not running; waiting for it");
            if (self->service_) self->report({BonjourState::Kind::daemonUnavailable, {}, {}, {}});
            break;
        case AVAHI_CLIENT_FAILURE: self->handleClientFailure(client); break;
        }
    }

    void handleClientFailure(AvahiClient* client) {
        int error = avahi_client_errno(client);
        Log::error(logCategory, std::string("Bonjour advertising failed: ") + avahi_strerror(error));
        if (error != AVAHI_ERR_DISCONNECTED) {
            if (service_) report({BonjourState::Kind::failed, {}, avahi_strerror(error), {}});
            return;
        }
        // The daemon went away: start over and wait for it to come back.
        avahi_client_free(client);
        client_ = nullptr;
        group_ = nullptr;
        if (service_) report({BonjourState::Kind::daemonUnavailable, {}, avahi_strerror(error), {}});
        createClient();
    }

    void registerService() {
        if (!service_ || !client_) return;
        if (!group_) {
            group_ = avahi_entry_group_new(client_, &Engine::onGroupState, this);
            if (!group_) {
                reportFailure(avahi_client_errno(client_));
                return;
            }
        }
        if (!avahi_entry_group_is_empty(group_)) return;
        if (currentName_.empty()) {
            const char* hostName = avahi_client_get_host_name(client_);
            currentName_ = hostName ? hostName : "Orvik Helper";
        }
        AvahiStringList* txt = nullptr;
        for (const auto& [key, value] : service_->txt) {
            txt = avahi_string_list_add_pair(txt, key.c_str(), value.c_str());
        }
        int result = avahi_entry_group_add_service_strlst(
            group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), currentName_.c_str(),
            service_->type.c_str(), nullptr, nullptr, service_->port, txt);
        avahi_string_list_free(txt);
        if (result == AVAHI_ERR_COLLISION) {
            takeAlternativeName();
            return;
        }
        if (result < 0 || (result = avahi_entry_group_commit(group_)) < 0) reportFailure(result);
    }

    static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context) {
        auto* self = static_cast<Engine*>(context);
        self->group_ = group;
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            if (self->service_) {
                const char* hostName = avahi_client_get_host_name(avahi_entry_group_get_client(group));
                self->report({BonjourState::Kind::registered, self->currentName_, {}, hostName ? hostName : ""});
            }
            break;
        case AVAHI_ENTRY_GROUP_COLLISION: self->takeAlternativeName(); break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->reportFailure(avahi_client_errno(avahi_entry_group_get_client(group)));
            break;
        case AVAHI_ENTRY_GROUP_UNCOMMITED:
        case AVAHI_ENTRY_GROUP_REGISTERING: break;
        }
    }

    void takeAlternativeName() {
        char* alternative = avahi_alternative_service_name(currentName_.c_str());
        if (!alternative) { // out of memory
            reportFailure(AVAHI_ERR_NO_MEMORY);
            return;
        }
        Log::notice(logCategory, "Bonjour name collision; renaming to " + std::string(alternative));
        currentName_ = alternative;
        avahi_free(alternative);
        avahi_entry_group_reset(group_);
        registerService();
    }

    void reportFailure(int error) {
        Log::error(logCategory, std::string("Bonjour advertising failed: ") + avahi_strerror(error));
        if (service_) report({BonjourState::Kind::failed, {}, avahi_strerror(error), {}});
    }

    // Called on the poll thread with the poll lock held.
    void report(BonjourState state) {
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(ownerMutex_);
            generation = generation_;
        }
        asio::post(executor_, [weak = weak_from_this(), generation, state = std::move(state)] {
            auto self = weak.lock();
            if (!self) return;
            StateHandler handler;
            {
                std::lock_guard lock(self->ownerMutex_);
                if (generation == self->generation_) handler = self->handler_;
            }
            if (handler) handler(state);
        });
    }

    asio::any_io_executor executor_;
    AvahiThreadedPoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    AvahiTimeout* retry_ = nullptr;
    // While no system bus takes the client: the watch on its socket's folder.
    std::optional<PathAppearance> busSocket_;
    AvahiWatch* busWatch_ = nullptr;
    bool unwatchedBus_ = false;
    std::optional<int> unavailableError_;
    std::optional<BonjourService> service_;
    std::string currentName_;
    std::mutex ownerMutex_; // guards handler_ and generation_, read from both threads
    StateHandler handler_;
    std::uint64_t generation_ = 0;
};

AvahiAdvertiser::AvahiAdvertiser(asio::any_io_executor executor)
    : engine_(std::make_shared<Engine>(std::move(executor))) {
    engine_->open();
}

AvahiAdvertiser::~AvahiAdvertiser() {
    engine_->close();
}

void AvahiAdvertiser::advertise(BonjourService service, StateHandler onState) {
    engine_->advertise(std::move(service), std::move(onState));
}

void AvahiAdvertiser::withdraw() {
    engine_->withdraw();
}

BonjourAdvertiserFactory AvahiAdvertiser::factory() {
    return [](asio::any_io_executor executor) -> std::unique_ptr<BonjourAdvertising> {
        return std::make_unique<AvahiAdvertiser>(std::move(executor));
    };
}

} // namespace orvik::helper
