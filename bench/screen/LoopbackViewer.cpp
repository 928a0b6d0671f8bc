#include "LoopbackViewer.hpp"

#include "clipboard/FakePasteboard.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "injection/RecordingSink.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"
#include "orvik/protocol/transport/FramedConnection.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "screen/ScreenClock.hpp"
#include "screen/ffmpeg/ProductionScreenServices.hpp"
#include "server/HelperServer.hpp"
#include "server/linux/LinuxSystemInfoSource.hpp"

#include <future>
#include <mutex>
#include <thread>

ORVIK_COROUTINE_CODE_BEGIN

namespace orvik::bench {

namespace {

using namespace orvik::helper;
using namespace std::chrono_literals;

constexpr auto connectTimeout = 5s;

// The stream the server made, kept weakly to read its bit rate.
struct ViewedStream {
    std::mutex mutex;
    std::weak_ptr<ScreenStream> stream;

    int bitRate() {
        std::lock_guard lock(mutex);
        auto viewed = stream.lock();
        return viewed ? viewed->currentBitRate() : 0;
    }
};

struct Phone {
    std::uint16_t port = 0;
    Uuid deviceID;
    Bytes deviceKey;
};

asio::awaitable<ReceivedMessage> next(const std::shared_ptr<FramedConnection>& connection) {
    auto receiving = connection->receive();
    co_return co_await std::move(receiving);
}

asio::awaitable<std::shared_ptr<FramedConnection>> authenticate(Phone phone) {
    PreSharedKey key{OrvikKeys::sessionPSK(phone.deviceKey, phone.deviceID),
                     OrvikKeys::sessionIdentity(phone.deviceID)};
    auto connecting = FramedConnection::connect("127.0.0.1", phone.port, key, connectTimeout);
    auto connection = co_await std::move(connecting);
    auto starting = connection->start(connectTimeout);
    co_await std::move(starting);
    connection->send(Hello{1, 1, "bench", Capabilities{}});
    auto ack = co_await next(connection);
    const auto* hello = ack.message() ? ack.message()->get<HelloAck>() : nullptr;
    if (!hello) throw std::runtime_error("no helloAck");
    auto proofKey = OrvikKeys::authenticationKey(phone.deviceKey, phone.deviceID);
    connection->send(Authenticate{phone.deviceID, OrvikKeys::proof(proofKey, hello->challenge)});
    auto authenticated = co_await next(connection);
    if (!authenticated.message() || !authenticated.message()->get<Authenticated>()) {
        throw std::runtime_error("not authenticated");
    }
    co_return connection;
}

asio::awaitable<LoopbackFigures> view(Phone phone, ScreenSettings settings, std::chrono::seconds duration,
                                      StageTimes* times, std::shared_ptr<ViewedStream> viewed) {
    auto authenticating = authenticate(phone);
    auto connection = co_await std::move(authenticating);
    connection->send(ScreenStart{std::nullopt, settings, {ScreenCodec::h264}});
    ScreenFrameAssembler assembler;
    LoopbackFigures figures;
    std::optional<std::chrono::steady_clock::time_point> first;
    while (!first || std::chrono::steady_clock::now() - *first < duration) {
        auto received = co_await next(connection);
        const auto* message = received.message();
        if (!message) continue;
        if (message->get<ScreenFormat>()) assembler.reset();
        const auto* fragment = message->get<ScreenFrame>();
        auto frame = fragment ? assembler.add(*fragment) : std::nullopt;
        if (!frame) continue;
        connection->send(ScreenFrameAck{frame->sequence, frame->captureTime});
        times->add("capture→received", static_cast<double>(uptimeNanoseconds() - frame->captureTime) / 1e6);
        if (!first) first = std::chrono::steady_clock::now();
        ++figures.frames;
        figures.bytes += frame->data.size();
    }
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - *first).count();
    figures.bitRate = viewed->bitRate();
    connection->send(ScreenStop{});
    connection->cancel();
    co_return figures;
}

std::shared_ptr<const ScreenServices> servicesOver(std::function<std::shared_ptr<ScreenCaptureSource>()> makeSource,
                                                   FfmpegEncoderOptions encoder,
                                                   const std::shared_ptr<ViewedStream>& viewed) {
    ScreenServicesParts parts;
    parts.canCapture = [] { return true; };
    parts.makeSource = std::move(makeSource);
    parts.approve = [](ScreenViewingRequest, std::function<void(ScreenViewingDecision)> done) {
        done(ScreenViewingDecision::allowOnce);
    };
    parts.encoder = std::move(encoder);
    auto services = std::make_shared<ScreenServices>(*makeScreenServices(std::move(parts)));
    services->makeStream = [make = services->makeStream, viewed](auto source, auto send, auto onFailure) {
        auto stream = make(std::move(source), std::move(send), std::move(onFailure));
        std::lock_guard lock(viewed->mutex);
        viewed->stream = stream;
        return stream;
    };
    return services;
}

template <class F> auto onThread(IoThread& thread, F operation) -> std::invoke_result_t<F> {
    std::packaged_task<std::invoke_result_t<F>()> task(std::move(operation));
    auto result = task.get_future();
    asio::post(thread.executor(), [&task] { task(); });
    return result.get();
}

} // namespace

LoopbackFigures viewOverLoopback(std::function<std::shared_ptr<ScreenCaptureSource>()> makeSource,
                                 FfmpegEncoderOptions encoder, ScreenSettings settings, std::chrono::seconds duration,
                                 StageTimes& times) {
    Phone phone{0, Uuid::random(), *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength)};
    auto store = std::make_shared<InMemoryDeviceStore>();
    store->add(PairedDevice{phone.deviceID, "Bench", "Phone", std::chrono::system_clock::now(), std::nullopt},
               phone.deviceKey);
    HelperPreferences preferences;
    preferences.screenViewingEnabled = true;
    auto viewed = std::make_shared<ViewedStream>();

    HelperServer::Configuration configuration;
    configuration.identity = HelperIdentity{Uuid::random(), "Bench", "Bench1,1", "0.0", std::nullopt};
    configuration.store = store;
    configuration.systemInfo = hostSystemInfo();
    configuration.preferencesStore = std::make_shared<InMemoryPreferencesStore>(preferences);
    configuration.sink = std::make_shared<RecordingSink>();
    configuration.pasteboard = std::make_shared<FakePasteboard>();
    configuration.listenerOptions = ListenerOptions::loopbackTest();
    configuration.defaults = std::make_shared<InMemoryUserDefaults>();
    configuration.services.screen = servicesOver(std::move(makeSource), std::move(encoder), viewed);

    IoThread serverThread{HelperServer::threadName};
    auto server = HelperServer::create(serverThread.executor(), std::move(configuration));
    onThread(serverThread, [&] { server->start(); });
    while (phone.port == 0) {
        std::this_thread::sleep_for(10ms);
        phone.port = onThread(serverThread, [&] { return server->port().value_or(0); });
    }

    asio::io_context phoneContext{1};
    auto figures = asio::co_spawn(phoneContext, view(phone, settings, duration, &times, viewed), asio::use_future);
    phoneContext.run();
    onThread(serverThread, [&] { server->stop(); });
    server.reset();
    return figures.get();
}

} // namespace orvik::bench

ORVIK_COROUTINE_CODE_END
