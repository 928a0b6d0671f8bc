#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "server/SystemInfo.hpp"
#include "server/tests/FakeSystemInfoSource.hpp"

#include <algorithm>

namespace orvik::test {

ServerHarness::ServerHarness() : ServerHarness(Options{}) {}

ServerHarness::ServerHarness(Options options)
    : preferencesStore(std::make_shared<helper::InMemoryPreferencesStore>(options.preferences)),
      thread(std::make_unique<helper::IoThread>(helper::HelperServer::threadName)) {
    identity.helperID = Uuid::random();
    identity.macName = "Test Computer";
    identity.model = "TestModel1,1";
    identity.helperVersion = "1.0";

    HelperServer::Configuration configuration;
    configuration.identity = identity;
    configuration.store = options.deviceStore ? options.deviceStore : store;
    configuration.preferencesStore = preferencesStore;
    configuration.services = std::move(options.services);
    configuration.sink = sink;
    configuration.pasteboard = options.pasteboard ? options.pasteboard : pasteboard;
    configuration.primarySelection = primarySelection;
    configuration.listenerOptions = options.listenerOptions;
    configuration.clock = clock.function();
    configuration.wallClock = date.function();
    configuration.pasteRestoreDelay = options.pasteRestoreDelay;
    configuration.pairingLifetime = options.pairingLifetime;
    configuration.keyLoadWait = options.keyLoadWait;
    configuration.defaults = defaults;
    configuration.makeAdvertiser = options.makeAdvertiser ? options.makeAdvertiser : bonjour->factory();
    // A host with no network interfaces and the kernel name "testhost".
    auto host = std::make_shared<helper::testing::FakeSystemInfoSource>();
    host->host = "testhost";
    configuration.systemInfo = std::make_shared<helper::SystemInfo>(std::move(host));
    server = HelperServer::create(thread->executor(), std::move(configuration));

    server->events()->setWake([this] { collectEvents(); });
}

ServerHarness::~ServerHarness() {
    onServer([](HelperServer& s) { s.stop(); });
    server->events()->setWake(nullptr);
    server.reset();
    thread.reset();
}

void ServerHarness::collectEvents() {
    auto drained = server->events()->drain();
    std::lock_guard lock(eventsMutex_);
    for (auto& event : drained) allEvents_.push_back(std::move(event));
    eventsChanged_.notify_all();
}

namespace {

bool isListenerReady(const ServerEvent& event) {
    auto* status = event.get<ServerEvent::ListenerStatusChanged>();
    return status && status->status.readyPort();
}

} // namespace

void ServerHarness::start() {
    onServer([](HelperServer& s) { s.start(); });
    auto ready = waitForEvent(isListenerReady);
    if (!ready) throw std::runtime_error("the server did not start listening");
    port = *ready->get<ServerEvent::ListenerStatusChanged>()->status.readyPort();
}

void ServerHarness::waitForListenerReady() {
    if (!waitForEvent(isListenerReady)) throw std::runtime_error("the listener did not become ready");
}

void ServerHarness::maintenancePass() {
    onServer([](HelperServer& s) { s.runMaintenance(); });
}

TestDevice ServerHarness::addPairedDevice(std::string name) {
    TestDevice device{Uuid::random(), *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength)};
    const auto now = std::chrono::system_clock::now();
    store->add(helper::PairedDevice{device.id, std::move(name), "Phone15,2", now, std::nullopt}, device.key);
    onServer([](HelperServer& s) { s.restartListener(); });
    // The new key is offered once the listener has been bound again.
    waitForListenerReady();
    return device;
}

std::unique_ptr<TestPhone> ServerHarness::connect(PreSharedKey key, std::string_view ciphers) {
    return TestPhone::connect(phones, port, std::move(key), ciphers);
}

std::unique_ptr<TestPhone> ServerHarness::authenticatedPhone(const TestDevice& device) {
    auto phone = connect(device.sessionKey());
    phone->authenticate(device.id, device.key);
    phone->expect<HelperStatus>();
    return phone;
}

std::vector<ServerEvent> ServerHarness::events() {
    std::lock_guard lock(eventsMutex_);
    return allEvents_;
}

std::optional<ServerEvent> ServerHarness::waitForEvent(const std::function<bool(const ServerEvent&)>& matches,
                                                       std::chrono::milliseconds wait) {
    std::unique_lock lock(eventsMutex_);
    std::optional<ServerEvent> found;
    eventsChanged_.wait_for(lock, wait, [&] {
        while (consumed_ < allEvents_.size()) {
            const auto& event = allEvents_[consumed_++];
            if (matches(event)) {
                found = event;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<helper::RecordedInput> ServerHarness::waitForInput(std::size_t count, std::chrono::milliseconds wait) {
    test::waitUntil([&] { return sink->events().size() >= count; }, wait);
    return sink->events();
}

bool ServerHarness::waitUntil(const std::function<bool(HelperServer&)>& condition, std::chrono::milliseconds wait) {
    return test::waitUntil([&] { return onServer([&](HelperServer& s) { return condition(s); }); }, wait);
}

} // namespace orvik::test
