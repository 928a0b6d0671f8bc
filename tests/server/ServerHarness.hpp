#pragma once

#include "TestPhone.hpp"
#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "core/ServerClock.hpp"
#include "injection/RecordingSink.hpp"
#include "listener/BonjourRecorder.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "server/HelperServer.hpp"

#include <asio.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <vector>

namespace orvik::helper {

// The in-memory store, whose keys a test can make unreadable (as a locked keyring is) or hold back until released
// (as a store loading its keys in the background does), and which counts its flushes.
class TestDeviceStore final : public PairedDeviceStore {
public:
    std::vector<PairedDevice> devices() const override { return inner_.devices(); }
    KeyLookup lookupKey(const Uuid& deviceID) override {
        if (keysUnavailable) return KeyLookup::unavailable();
        return inner_.lookupKey(deviceID);
    }
    void add(const PairedDevice& device, ByteView key) override {
        if (failWrites) throw DeviceStoreError("the keyring refused the item");
        inner_.add(device, key);
    }
    void remove(const Uuid& deviceID) override { inner_.remove(deviceID); }
    void updateLastSeen(const Uuid& deviceID, Date at) override { inner_.updateLastSeen(deviceID, at); }
    std::vector<PreSharedKey> sessionKeys() override {
        if (keysPending) return {};
        return PairedDeviceStore::sessionKeys();
    }
    bool keysLoaded() const override { return !keysPending; }
    void setKeysChangedHandler(std::function<void()> handler) override {
        std::lock_guard lock(handlerMutex_);
        keysChanged_ = std::move(handler);
    }
    void flush() override { ++flushes; }

    // Ends keysPending and tells the server.
    void releaseKeys() {
        keysPending = false;
        std::function<void()> handler;
        {
            std::lock_guard lock(handlerMutex_);
            handler = keysChanged_;
        }
        if (handler) handler();
    }

    std::atomic<bool> keysUnavailable = false;
    std::atomic<bool> failWrites = false;
    std::atomic<bool> keysPending = false;
    std::atomic<int> flushes = 0;

private:
    InMemoryDeviceStore inner_;
    std::mutex handlerMutex_;
    std::function<void()> keysChanged_;
};

// A wall clock that moves only when told to.
class ManualDate {
public:
    ManualDate() : now_(std::chrono::system_clock::now().time_since_epoch().count()) {}
    Date now() const { return Date(Date::duration(now_.load())); }
    void advance(std::chrono::seconds by) { now_ += std::chrono::duration_cast<Date::duration>(by).count(); }
    std::function<Date()> function() const {
        return [this] { return now(); };
    }

private:
    std::atomic<Date::rep> now_;
};

} // namespace orvik::helper

namespace orvik::test {

using helper::HelperServer;
using helper::ServerEvent;

// A paired device as a phone knows it.
struct TestDevice {
    Uuid id;
    Bytes key;
    PreSharedKey sessionKey() const { return test::sessionKey(id, key); }
};

// A server on loopback with the in-memory stores, the recording sink, fake pasteboards, a manual clock and a
// Bonjour recorder, on its own thread; plus the thread of the test's phones.
class ServerHarness {
public:
    struct Options {
        helper::HelperServices services;
        helper::HelperPreferences preferences;
        std::chrono::milliseconds pasteRestoreDelay{20};
        double pairingLifetime = helper::PairingSession::lifetime;
        std::chrono::milliseconds keyLoadWait{2000};
        helper::ListenerOptions listenerOptions = helper::ListenerOptions::loopbackTest();
        // Absent: the Bonjour recorder below.
        helper::BonjourAdvertiserFactory makeAdvertiser;
        // Absent: the fake pasteboard below.
        std::shared_ptr<helper::PasteboardAccess> pasteboard;
        // Absent: the test store below, which this one replaces for the server.
        std::shared_ptr<helper::PairedDeviceStore> deviceStore;
    };

    ServerHarness();
    explicit ServerHarness(Options options);
    ~ServerHarness();

    // Starts the server and waits until it listens.
    void start();

    // Runs `operation` on the server's thread and returns its result.
    template <class F> auto onServer(F operation) -> std::invoke_result_t<F, HelperServer&>;
    // Runs an awaitable operation of the server on its thread to its end.
    template <class F> void awaitOnServer(F operation);

    // A device stored as paired, with a fresh key.
    TestDevice addPairedDevice(std::string name);
    // A phone that connected with the device's session key and authenticated (status consumed).
    std::unique_ptr<TestPhone> authenticatedPhone(const TestDevice& device);
    std::unique_ptr<TestPhone> connect(PreSharedKey key, std::string_view ciphers = OrvikTLS::cipherSuites);

    // Every event published so far, oldest first.
    std::vector<ServerEvent> events();
    // Waits until an event satisfies `matches`; events before it are consumed.
    std::optional<ServerEvent> waitForEvent(const std::function<bool(const ServerEvent&)>& matches,
                                            std::chrono::milliseconds wait = TestPhone::defaultWait);
    template <class T> std::optional<T> waitForEvent(std::chrono::milliseconds wait = TestPhone::defaultWait);
    // Waits until the listener reports it is ready again (after a change of its keys).
    void waitForListenerReady();
    // Runs one maintenance pass now.
    void maintenancePass();
    // Waits until the sink has recorded at least `count` events.
    std::vector<helper::RecordedInput> waitForInput(std::size_t count,
                                                    std::chrono::milliseconds wait = TestPhone::defaultWait);
    // Waits until `condition`, checked on the server's thread, holds.
    bool waitUntil(const std::function<bool(HelperServer&)>& condition,
                   std::chrono::milliseconds wait = TestPhone::defaultWait);

    helper::ManualClock clock{1000};
    helper::ManualDate date;
    std::shared_ptr<helper::TestDeviceStore> store = std::make_shared<helper::TestDeviceStore>();
    std::shared_ptr<helper::InMemoryPreferencesStore> preferencesStore;
    std::shared_ptr<helper::RecordingSink> sink = std::make_shared<helper::RecordingSink>();
    std::shared_ptr<helper::FakePasteboard> pasteboard = std::make_shared<helper::FakePasteboard>();
    std::shared_ptr<helper::FakePasteboard> primarySelection = std::make_shared<helper::FakePasteboard>();
    std::shared_ptr<helper::InMemoryUserDefaults> defaults = std::make_shared<helper::InMemoryUserDefaults>();
    std::shared_ptr<helper::BonjourRecorder> bonjour = helper::BonjourRecorder::make();
    helper::HelperIdentity identity;
    std::uint16_t port = 0;

    PhoneThread phones;
    std::unique_ptr<helper::IoThread> thread;
    std::shared_ptr<HelperServer> server;

private:
    void collectEvents();

    std::mutex eventsMutex_;
    std::condition_variable eventsChanged_;
    std::vector<ServerEvent> allEvents_;
    std::size_t consumed_ = 0;
};

// A started server with one paired device, Anna.
class ServerWithDevice : public ::testing::Test {
protected:
    void SetUp() override {
        harness.start();
        device = harness.addPairedDevice("Anna");
    }

    // How many failed handshakes the server has logged so far.
    std::size_t failuresRecorded() {
        return harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).size();
    }

    ServerHarness harness;
    TestDevice device;
};

template <class F> auto ServerHarness::onServer(F operation) -> std::invoke_result_t<F, HelperServer&> {
    using Result = std::invoke_result_t<F, HelperServer&>;
    std::packaged_task<Result()> task([&] { return operation(*server); });
    auto result = task.get_future();
    asio::post(thread->executor(), [&task] { task(); });
    return result.get();
}

template <class F> void ServerHarness::awaitOnServer(F operation) {
    auto done = asio::co_spawn(
        thread->executor(), [&]() -> asio::awaitable<void> { co_await operation(*server); }, asio::use_future);
    done.get();
}

template <class T> std::optional<T> ServerHarness::waitForEvent(std::chrono::milliseconds wait) {
    auto event =
        waitForEvent([](const ServerEvent& candidate) { return candidate.template get<T>() != nullptr; }, wait);
    if (!event) return std::nullopt;
    return *event->template get<T>();
}

} // namespace orvik::test
