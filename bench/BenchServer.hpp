#pragma once

#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "preferences/PreferencesStore.hpp"
#include "server/HelperServer.hpp"
#include "server/linux/LinuxSystemInfoSource.hpp"

#include <asio/post.hpp>

#include <chrono>
#include <future>
#include <thread>
#include <type_traits>

namespace orvik::bench {

// Runs `work` on `thread` and waits for its result.
template <class F> auto onThread(helper::IoThread& thread, F work) {
    std::packaged_task<std::invoke_result_t<F>()> task(std::move(work));
    auto result = task.get_future();
    asio::post(thread.executor(), [&task] { task(); });
    return result.get();
}

// A server for the benches over the given store and sink: in-memory preferences and defaults, a fake pasteboard,
// the real host's addresses, listening on loopback.
inline helper::HelperServer::Configuration benchServerConfiguration(std::shared_ptr<helper::PairedDeviceStore> store,
                                                                    std::shared_ptr<helper::InputSink> sink) {
    helper::HelperServer::Configuration configuration;
    configuration.identity = helper::HelperIdentity{Uuid::random(), "Bench", "Bench1,1", "0.0", std::nullopt};
    configuration.store = std::move(store);
    configuration.systemInfo = helper::hostSystemInfo();
    configuration.preferencesStore = std::make_shared<helper::InMemoryPreferencesStore>();
    configuration.sink = std::move(sink);
    configuration.pasteboard = std::make_shared<helper::FakePasteboard>();
    configuration.listenerOptions = helper::ListenerOptions::loopbackTest();
    configuration.defaults = std::make_shared<helper::InMemoryUserDefaults>();
    return configuration;
}

// Starts the server on its thread and returns its port once it listens.
inline std::uint16_t startListening(helper::IoThread& thread, helper::HelperServer& server) {
    onThread(thread, [&server] { server.start(); });
    for (;;) {
        if (auto port = onThread(thread, [&server] { return server.port(); })) return *port;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace orvik::bench
