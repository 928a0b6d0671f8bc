#include "LoopbackTls.hpp"

#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

using namespace orvik;
using namespace orvik::testing;
using Kind = ConnectionError::Kind;

namespace {

const PreSharedKey deviceKey = makeKey("device", 0x11);

// Records termination calls, which arrive on the io thread.
struct TerminationLog {
    std::mutex mutex;
    std::vector<Kind> kinds;
    FramedConnection::TerminationHandler handler() {
        return [this](ConnectionError error) {
            std::lock_guard lock(mutex);
            kinds.push_back(error.kind());
        };
    }
    std::vector<Kind> snapshot() {
        std::lock_guard lock(mutex);
        return kinds;
    }
};

struct ConnectedPair {
    LoopbackTls loop;
    TerminationLog serverTerminations;
    TerminationLog clientTerminations;
    std::shared_ptr<FramedConnection> server;
    std::shared_ptr<FramedConnection> client;

    ConnectedPair() {
        auto serverStart = loop.startServer(std::chrono::seconds(5), serverTerminations.handler());
        auto clientStart = loop.startClient(OrvikTLS::clientContext(deviceKey), clientTerminations.handler());
        auto serverOutcome = LoopbackTls::wait(serverStart);
        auto clientOutcome = LoopbackTls::wait(clientStart);
        if (serverOutcome.error || clientOutcome.error) throw std::runtime_error("connection did not start");
        server = serverOutcome.connection;
        client = clientOutcome.connection;
    }

    Received receive(const std::shared_ptr<FramedConnection>& connection) { return loop.run(receiveOne(connection)); }

    // Lets every handler posted so far run (termination calls are posted).
    void settle() {
        for (int i = 0; i < 3; ++i) loop.onIo([] { return 0; });
    }
};

// A TLS client below the framing layer, for bytes send() would never produce.
struct RawTlsClient {
    std::unique_ptr<TlsStream> stream;

    static asio::awaitable<std::unique_ptr<TlsStream>> connect(LoopbackTls& loop) {
        asio::ip::tcp::socket socket(loop.io());
        const auto endpoint = loop.endpoint();
        co_await socket.async_connect(endpoint, asio::use_awaitable);
        auto stream =
            std::make_unique<TlsStream>(std::move(socket), OrvikTLS::clientContext(deviceKey), TlsStream::Role::client);
        co_await stream->handshake();
        co_return stream;
    }
};

Frame pingFrame(std::uint64_t value) {
    return *OrvikMessage(Ping{value}).frame();
}

std::size_t openFileDescriptors() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

} // namespace

TEST(FramedConnection, MessagesArriveWholeAndInOrderBothWays) {
    ConnectedPair pair;
    for (std::uint64_t i = 1; i <= 50; ++i) pair.client->send(Ping{i});
    pair.client->send(TextInput{"Grüße", TextMode::paste});
    for (std::uint64_t i = 1; i <= 50; ++i) {
        auto received = pair.receive(pair.server);
        ASSERT_TRUE(received.message && received.message->message());
        EXPECT_EQ(*received.message->message(), OrvikMessage(Ping{i}));
    }
    auto text = pair.receive(pair.server);
    ASSERT_TRUE(text.message && text.message->message());
    EXPECT_EQ(*text.message->message(), OrvikMessage(TextInput{"Grüße", TextMode::paste}));

    pair.server->send(Pong{9});
    auto pong = pair.receive(pair.client);
    ASSERT_TRUE(pong.message && pong.message->message());
    EXPECT_EQ(*pong.message->message(), OrvikMessage(Pong{9}));
}

TEST(FramedConnection, ReportsEndpointsAndIdentity) {
    ConnectedPair pair;
    EXPECT_EQ(pair.server->peerAddress(), "127.0.0.1");
    EXPECT_EQ(pair.server->pskIdentity(), "device");
    ASSERT_TRUE(pair.server->remoteEndpoint() && pair.client->localEndpoint());
    EXPECT_EQ(*pair.server->remoteEndpoint(), *pair.client->localEndpoint());
    EXPECT_EQ(pair.client->remoteEndpoint()->port(), pair.loop.port());
}

TEST(FramedConnection, LargestFrameArrivesIntact) {
    ConnectedPair pair;
    Bytes payload(FrameHeader::maxPayloadLength);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    pair.client->sendFrame(Frame{0x0507, 0x8001, payload});
    pair.client->send(Ping{1});
    auto frame = pair.loop.run(pair.server->receiveFrame());
    EXPECT_EQ(frame, (Frame{0x0507, 0x8001, payload}));
    EXPECT_EQ(pair.loop.run(pair.server->receiveFrame()), pingFrame(1));
}

TEST(FramedConnection, UndecodableFramesAreReportedAndTheConnectionGoesOn) {
    ConnectedPair pair;
    const std::string notJson = "not json";
    pair.client->sendFrame(Frame{0x0201, 0, Bytes(notJson.begin(), notJson.end())});
    pair.client->sendFrame(Frame{0xF000, 0, {}});
    pair.client->sendFrame(Frame{0x0105, 0, Bytes(3, 0)}); // a ping payload of the wrong length
    pair.client->send(Ping{7});

    auto hello = pair.receive(pair.server);
    ASSERT_TRUE(hello.message && hello.message->undecodable());
    EXPECT_EQ(hello.message->undecodable()->type, 0x0201);
    EXPECT_NE(hello.message->undecodable()->error.kind(), DecodingError::Kind::unknownMessageType);

    auto unknown = pair.receive(pair.server);
    ASSERT_TRUE(unknown.message && unknown.message->undecodable());
    EXPECT_EQ(unknown.message->undecodable()->type, 0xF000);
    EXPECT_EQ(unknown.message->undecodable()->error.kind(), DecodingError::Kind::unknownMessageType);

    auto shortPing = pair.receive(pair.server);
    ASSERT_TRUE(shortPing.message && shortPing.message->undecodable());
    EXPECT_EQ(shortPing.message->undecodable()->error.kind(), DecodingError::Kind::unexpectedLength);

    auto ping = pair.receive(pair.server);
    ASSERT_TRUE(ping.message && ping.message->message());
    EXPECT_EQ(*ping.message->message(), OrvikMessage(Ping{7}));
}

TEST(FramedConnection, OversizeHeaderEndsTheConnectionWithoutWaitingForThePayload) {
    LoopbackTls loop;
    TerminationLog terminations;
    auto serverStart = loop.startServer(std::chrono::seconds(5), terminations.handler());
    auto raw = loop.run(RawTlsClient::connect(loop));
    auto server = LoopbackTls::wait(serverStart);
    ASSERT_FALSE(server.error);

    // A good frame, then a header announcing one byte over the limit and no payload at all.
    Bytes bytes = pingFrame(5).encoded();
    auto header = FrameHeader{0x0301, 0, 0}.encoded();
    header[4] = 0x00, header[5] = 0x10, header[6] = 0x00, header[7] = 0x01; // 1,048,577
    bytes.insert(bytes.end(), header.begin(), header.end());
    loop.run([&]() -> asio::awaitable<int> {
        co_await raw->write(bytes);
        co_return 0;
    }());

    auto first = loop.run(receiveOne(server.connection));
    ASSERT_TRUE(first.message && first.message->message());
    EXPECT_EQ(*first.message->message(), OrvikMessage(Ping{5}));
    auto second = loop.run(receiveOne(server.connection));
    ASSERT_TRUE(second.error);
    EXPECT_EQ(second.error->kind(), Kind::failed);
    EXPECT_EQ(second.error->networkError()->code, std::errc::message_size);

    // The server closed on its own: the peer hears close_notify.
    auto peerSees = loop.run([&]() -> asio::awaitable<std::optional<Kind>> {
        std::array<std::uint8_t, 64> buffer{};
        try {
            co_await raw->readSome(buffer);
        } catch (const ConnectionError& error) {
            co_return error.kind();
        }
        co_return std::nullopt;
    }());
    EXPECT_EQ(peerSees, Kind::closed);
    loop.onIo([&] {
        raw.reset();
        return 0;
    });
    EXPECT_EQ(terminations.snapshot(), std::vector<Kind>{Kind::failed});
}

TEST(FramedConnection, PeerCloseEndsReceivingWithClosedAndTerminatesOnce) {
    ConnectedPair pair;
    pair.client->send(Ping{1});
    pair.client->cancel();
    auto first = pair.receive(pair.server);
    ASSERT_TRUE(first.message && first.message->message());
    auto second = pair.receive(pair.server);
    ASSERT_TRUE(second.error);
    EXPECT_EQ(second.error->kind(), Kind::closed);
    auto third = pair.receive(pair.server);
    ASSERT_TRUE(third.error);
    EXPECT_EQ(third.error->kind(), Kind::closed);

    pair.server->cancel();
    pair.server->cancel();
    pair.settle();
    EXPECT_EQ(pair.serverTerminations.snapshot(), std::vector<Kind>{Kind::closed});
    EXPECT_EQ(pair.clientTerminations.snapshot(), std::vector<Kind>{Kind::cancelled});
}

TEST(FramedConnection, CancelEndsAPendingReceiveAndRefusesLaterSends) {
    ConnectedPair pair;
    auto pending = asio::co_spawn(pair.loop.io(), receiveOne(pair.server), asio::use_future);
    pair.server->cancel();
    auto received = LoopbackTls::wait(pending);
    ASSERT_TRUE(received.error);
    EXPECT_EQ(received.error->kind(), Kind::cancelled);
    EXPECT_EQ(pair.receive(pair.server).error->kind(), Kind::cancelled);

    std::promise<std::optional<ConnectionError>> completion;
    pair.server->send(Ping{1}, [&](std::optional<ConnectionError> error) { completion.set_value(error); });
    auto future = completion.get_future();
    auto error = LoopbackTls::wait(future);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::closed);

    auto clientSees = pair.receive(pair.client);
    ASSERT_TRUE(clientSees.error);
    EXPECT_EQ(clientSees.error->kind(), Kind::closed);
    pair.settle();
    EXPECT_EQ(pair.serverTerminations.snapshot(), std::vector<Kind>{Kind::cancelled});
}

TEST(FramedConnection, FrameOverTheLimitCompletesClosedAndTheConnectionGoesOn) {
    ConnectedPair pair;
    std::promise<std::optional<ConnectionError>> completion;
    pair.client->sendFrame(Frame{0x0301, 0, Bytes(FrameHeader::maxPayloadLength + 1)},
                           [&](std::optional<ConnectionError> error) { completion.set_value(error); });
    auto future = completion.get_future();
    auto error = LoopbackTls::wait(future);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::closed);

    pair.client->send(Ping{3});
    auto received = pair.receive(pair.server);
    ASSERT_TRUE(received.message && received.message->message());
    EXPECT_EQ(*received.message->message(), OrvikMessage(Ping{3}));
}

TEST(FramedConnection, SendsFromManyThreadsCompleteOnceEachAndKeepEachThreadsOrder) {
    ConnectedPair pair;
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::mutex mutex;
    std::map<std::uint64_t, int> completions;
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                std::uint64_t value = (std::uint64_t(t) << 32) | std::uint64_t(i);
                pair.client->send(Ping{value}, [&, value](std::optional<ConnectionError> error) {
                    std::lock_guard lock(mutex);
                    completions[value] += error ? 1000 : 1;
                });
            }
        });
    }
    for (auto& sender : senders) sender.join();

    std::array<std::int64_t, threads> lastSeen;
    lastSeen.fill(-1);
    for (int n = 0; n < threads * perThread; ++n) {
        auto received = pair.receive(pair.server);
        ASSERT_TRUE(received.message && received.message->message());
        auto value = received.message->message()->get<Ping>()->value;
        auto thread = static_cast<std::size_t>(value >> 32);
        auto index = static_cast<std::int64_t>(value & 0xFFFFFFFF);
        ASSERT_LT(thread, lastSeen.size());
        EXPECT_EQ(index, lastSeen[thread] + 1);
        lastSeen[thread] = index;
    }
    pair.settle();
    std::lock_guard lock(mutex);
    ASSERT_EQ(completions.size(), std::size_t(threads * perThread));
    for (const auto& [value, count] : completions) EXPECT_EQ(count, 1) << value;
}

// The server's way of refusing: a last message, then cancel, while the phone still sends and has not read
// yet. Closing a socket with unread input sends a reset, which destroys whatever still waits in the send buffer.
TEST(FramedConnection, LastMessagesBeforeCancelArriveEvenWithUnreadInput) {
    ConnectedPair pair;
    std::promise<void> flooded;
    for (std::uint64_t i = 0; i < 4000; ++i) pair.client->send(Ping{i});
    pair.client->send(Ping{0}, [&](auto) { flooded.set_value(); });
    auto floodedFuture = flooded.get_future();
    LoopbackTls::wait(floodedFuture);

    Frame large{0x0507, 0, Bytes(FrameHeader::maxPayloadLength, 0x5A)};
    pair.server->sendFrame(large);
    pair.server->send(ErrorMessage{ErrorCode::unauthorized});
    pair.server->cancel();
    // The phone is busy for a moment; nothing here depends on how long.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    EXPECT_EQ(pair.loop.run(pair.client->receiveFrame()), large);
    auto last = pair.receive(pair.client);
    ASSERT_TRUE(last.message && last.message->message()) << (last.error ? last.error->what() : "");
    EXPECT_EQ(*last.message->message(), OrvikMessage(ErrorMessage{ErrorCode::unauthorized}));
    auto end = pair.receive(pair.client);
    ASSERT_TRUE(end.error);
    EXPECT_EQ(end.error->kind(), Kind::closed);
}

// A TCP peer that connects and never says anything, and the server's side of it, not yet started.
struct SilentPeer {
    std::shared_ptr<asio::ip::tcp::socket> socket;
    std::shared_ptr<FramedConnection> server;

    explicit SilentPeer(LoopbackTls& loop) {
        socket = std::make_shared<asio::ip::tcp::socket>(loop.io());
        loop.run([&]() -> asio::awaitable<int> {
            // The kernel completes the connection before it is accepted.
            const auto endpoint = loop.endpoint();
            co_await socket->async_connect(endpoint, asio::use_awaitable);
            server = loop.keep(FramedConnection::accepted(co_await loop.acceptSocket(), loop.serverContext));
            co_return 0;
        }());
    }

    std::future<std::optional<ConnectionError>> start(LoopbackTls& loop, std::chrono::milliseconds timeout) {
        return asio::co_spawn(loop.io(), startOutcome(server, timeout), asio::use_future);
    }

    static asio::awaitable<std::optional<ConnectionError>> startOutcome(std::shared_ptr<FramedConnection> connection,
                                                                        std::chrono::milliseconds timeout) {
        try {
            co_await connection->start(timeout);
        } catch (const ConnectionError& error) {
            co_return error;
        }
        co_return std::nullopt;
    }

    std::error_code readError(LoopbackTls& loop) {
        return loop.run([this]() -> asio::awaitable<std::error_code> {
            std::array<char, 16> buffer{};
            std::error_code error;
            co_await socket->async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, error));
            co_return error;
        }());
    }

    void release(LoopbackTls& loop) {
        loop.onIo([this] {
            socket.reset();
            return 0;
        });
    }
};

TEST(FramedConnection, HandshakeTimesOutWhenThePeerNeverSpeaks) {
    LoopbackTls loop;
    SilentPeer peer(loop);
    auto started = peer.start(loop, std::chrono::milliseconds(200));
    auto error = LoopbackTls::wait(started);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::timedOut);
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(*error));
    // The connection cancelled itself: the silent peer reads the end of the stream.
    EXPECT_EQ(peer.readError(loop), asio::error::eof);
    peer.release(loop);
}

TEST(FramedConnection, CancelDuringTheHandshakeEndsStartWithCancelled) {
    LoopbackTls loop;
    SilentPeer peer(loop);
    auto started = peer.start(loop, std::chrono::seconds(30));
    peer.server->cancel();
    auto error = LoopbackTls::wait(started);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::cancelled);
    EXPECT_EQ(peer.readError(loop), asio::error::eof);
    peer.release(loop);
}

TEST(FramedConnection, CancelBeforeStartFailsQueuedSendsAndStart) {
    LoopbackTls loop;
    SilentPeer peer(loop);
    std::promise<std::optional<ConnectionError>> completion;
    peer.server->send(Ping{1}, [&](std::optional<ConnectionError> error) { completion.set_value(error); });
    peer.server->cancel();
    auto future = completion.get_future();
    auto sendError = LoopbackTls::wait(future);
    ASSERT_TRUE(sendError);
    EXPECT_EQ(sendError->kind(), Kind::closed);
    auto started = peer.start(loop, std::chrono::seconds(30));
    auto error = LoopbackTls::wait(started);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::cancelled);
    peer.release(loop);
}

TEST(FramedConnection, ClientConnectReportsBadEndpointsAndRefusals) {
    LoopbackTls loop;
    auto attempt = [&](std::string host, std::uint16_t port) {
        return loop.run([&]() -> asio::awaitable<std::optional<ConnectionError>> {
            try {
                co_await FramedConnection::connect(host, port, deviceKey);
            } catch (const ConnectionError& error) {
                co_return error;
            }
            co_return std::nullopt;
        }());
    };
    EXPECT_EQ(attempt("", 1234)->kind(), Kind::invalidEndpoint);
    EXPECT_EQ(attempt("127.0.0.1", 0)->kind(), Kind::invalidEndpoint);

    std::uint16_t closedPort = [] {
        asio::io_context io;
        asio::ip::tcp::acceptor probe(io, {asio::ip::address_v4::loopback(), 0});
        return probe.local_endpoint().port();
    }();
    auto refused = attempt("127.0.0.1", closedPort);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind(), Kind::failed);
    EXPECT_EQ(refused->networkError()->code, asio::error::connection_refused);
}

TEST(FramedConnection, ThousandFailedHandshakesLeaveNoFileDescriptorsBehind) {
    using namespace asio::experimental::awaitable_operators;
    LoopbackTls loop;
    auto wrongKey = OrvikTLS::clientContext(makeKey("device", 0x22));
    auto oneAttempt = [&]() -> asio::awaitable<void> {
        auto serverSide = [&]() -> asio::awaitable<bool> {
            auto connection = FramedConnection::accepted(co_await loop.acceptSocket(), loop.serverContext);
            try {
                co_await connection->start(std::chrono::seconds(5));
            } catch (const ConnectionError& error) {
                connection->cancel();
                co_return OrvikTLS::isAuthenticationFailure(error);
            }
            co_return false;
        };
        auto clientSide = [&]() -> asio::awaitable<bool> {
            auto connection = co_await FramedConnection::connect("127.0.0.1", loop.port(), wrongKey);
            try {
                co_await connection->start(std::chrono::seconds(5));
            } catch (const ConnectionError& error) {
                connection->cancel();
                co_return OrvikTLS::isAuthenticationFailure(error);
            }
            co_return false;
        };
        auto [serverRefused, clientRefused] = co_await (serverSide() && clientSide());
        if (!serverRefused || !clientRefused) throw std::runtime_error("a handshake did not fail as expected");
    };
    auto attempts = [&](int count) -> asio::awaitable<int> {
        for (int i = 0; i < count; ++i) co_await oneAttempt();
        // Cancellations are posted; let them run.
        auto executor = co_await asio::this_coro::executor;
        for (int i = 0; i < 3; ++i) co_await asio::post(executor, asio::use_awaitable);
        co_return count;
    };

    loop.run(attempts(5)); // the resolver's thread and OpenSSL's lazily opened files come into being here
    auto before = openFileDescriptors();
    loop.run(attempts(1000));
    EXPECT_EQ(openFileDescriptors(), before);
}
