#include "LoopbackTls.hpp"

#include <map>
#include <mutex>
#include <thread>

using namespace orvik;
using namespace orvik::testing;
using ErrorKind = ConnectionError::Kind;

namespace {

const PreSharedKey framedDeviceKey = makeKey("device", 0x11);

// Records termination calls, which arrive on the io thread.
struct TerminationLog {
    std::mutex mutex;
    std::vector<ErrorKind> kinds;
    FramedConnection::TerminationHandler handler() {
        return [this](ConnectionError error) {
            std::lock_guard lock(mutex);
            kinds.push_back(error.kind());
        };
    }
    std::vector<ErrorKind> snapshot() {
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
        auto clientStart = loop.startClient(OrvikTLS::clientContext(framedDeviceKey), clientTerminations.handler());
        auto serverOutcome = LoopbackTls::wait(serverStart);
        auto clientOutcome = LoopbackTls::wait(clientStart);
        if (serverOutcome.error || clientOutcome.error) throw std::runtime_error("connection did not start");
        server = serverOutcome.connection;
        client = clientOutcome.connection;
    }

    std::optional<OrvikMessage> message(const std::shared_ptr<FramedConnection>& c) { return loop.message(c); }
    std::optional<ErrorKind> endOf(const std::shared_ptr<FramedConnection>& c) { return loop.endOf(c); }
    // Lets every handler posted so far run (termination calls are posted).
    void settle() {
        for (int i = 0; i < 3; ++i) loop.onIo([] { return 0; });
    }
};

// What a send's completion reports.
std::optional<ConnectionError> sendOutcome(FramedConnection& connection, Frame frame) {
    std::promise<std::optional<ConnectionError>> completion;
    auto outcome = completion.get_future();
    connection.sendFrame(std::move(frame), [&](std::optional<ConnectionError> error) { completion.set_value(error); });
    return LoopbackTls::wait(outcome);
}

// A TLS client below the framing layer, whose socket shows the records as they arrive.
asio::awaitable<std::unique_ptr<TlsStream>> rawClient(LoopbackTls& loop) {
    asio::ip::tcp::socket socket(loop.io());
    const auto endpoint = loop.endpoint();
    co_await socket.async_connect(endpoint, asio::use_awaitable);
    auto stream = std::make_unique<TlsStream>(std::move(socket), OrvikTLS::clientContext(framedDeviceKey),
                                              TlsStream::Role::client);
    co_await stream->handshake();
    co_return stream;
}

Frame pingFrame(std::uint64_t value) {
    return *OrvikMessage(Ping{value}).frame();
}

} // namespace

TEST(FramedConnection, MessagesArriveWholeAndInOrderBothWays) {
    ConnectedPair pair;
    EXPECT_EQ(pair.server->peerAddress(), "127.0.0.1");
    EXPECT_EQ(pair.server->pskIdentity(), "device");
    EXPECT_EQ(pair.server->remoteEndpoint(), pair.client->localEndpoint());

    for (std::uint64_t i = 1; i <= 50; ++i) pair.client->send(Ping{i});
    pair.client->send(TextInput{"Grüße", TextMode::paste});
    Bytes largest(FrameHeader::maxPayloadLength);
    for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<std::uint8_t>(i * 7);
    pair.client->sendFrame(Frame{0x0507, 0x8001, largest});
    for (std::uint64_t i = 1; i <= 50; ++i) EXPECT_EQ(pair.message(pair.server), OrvikMessage(Ping{i}));
    EXPECT_EQ(pair.message(pair.server), OrvikMessage(TextInput{"Grüße", TextMode::paste}));
    EXPECT_EQ(pair.loop.run(pair.server->receiveFrame()), (Frame{0x0507, 0x8001, largest}));

    pair.server->send(Pong{9});
    EXPECT_EQ(pair.message(pair.client), OrvikMessage(Pong{9}));
}

TEST(FramedConnection, FramesQueuedInOneTurnLeaveInOneTlsRecord) {
    LoopbackTls loop;
    auto serverStart = loop.startServer();
    auto raw = loop.run(rawClient(loop));
    auto server = LoopbackTls::wait(serverStart).connection;
    ASSERT_EQ(server->cipherSuite(), OrvikTLS::ecdhePskChaCha20); // 16 bytes of tag per record
    std::promise<void> written;
    auto bothWritten = written.get_future();
    loop.onIo([&] {
        server->send(Ping{1});
        server->send(Pong{2}, [&](auto) { written.set_value(); });
        return 0;
    });
    LoopbackTls::wait(bothWritten);
    server->send(Ping{3});

    // The records as they arrive below TLS; each frame here is 16 bytes.
    auto lengths = loop.run([&]() -> asio::awaitable<std::vector<std::size_t>> {
        std::vector<std::size_t> records;
        for (std::size_t plaintext = 0; plaintext < 3 * 16;) {
            std::array<std::uint8_t, 5> header{};
            co_await asio::async_read(raw->socket(), asio::buffer(header), asio::use_awaitable);
            Bytes body(std::size_t(header[3]) << 8 | header[4]);
            co_await asio::async_read(raw->socket(), asio::buffer(body), asio::use_awaitable);
            records.push_back(body.size());
            plaintext += body.size() - 16;
        }
        co_return records;
    }());
    EXPECT_EQ(lengths, (std::vector<std::size_t>{2 * 16 + 16, 16 + 16}));
    loop.onIo([&] {
        raw.reset();
        return 0;
    });
}

TEST(FramedConnection, FramesSentWhileHeldLeaveInOneRecordAsTheLastHoldEndsNotATurnLater) {
    LoopbackTls loop;
    auto serverStart = loop.startServer();
    auto raw = loop.run(rawClient(loop));
    auto server = LoopbackTls::wait(serverStart).connection;
    // Bytes waiting while both holds live, after the inner one ended, and after the outer one ended.
    auto waiting = loop.onIo([&] {
        std::vector<std::size_t> queued;
        {
            auto outer = server->holdWrites();
            {
                auto inner = server->holdWrites();
                server->send(Ping{1});
                server->send(Pong{2});
                queued.push_back(server->queuedBytes());
            }
            queued.push_back(server->queuedBytes());
        }
        queued.push_back(server->queuedBytes());
        return queued;
    });
    EXPECT_EQ(waiting, (std::vector<std::size_t>{32, 32, 0}));

    std::array<std::uint8_t, 5> header{};
    loop.run(asio::async_read(raw->socket(), asio::buffer(header), asio::use_awaitable));
    EXPECT_EQ(std::size_t(header[3]) << 8 | header[4], 2 * 16 + 16) << "both frames in one record";
    loop.onIo([&] {
        raw.reset();
        return 0;
    });
}

// Frames that fit the socket are written at once, inside send's turn; a write that fails there must still be
// reported the way a waiting one is: the frame and every later one complete `failed`, and the connection ends once.
TEST(FramedConnection, AWriteToAResetPeerFailsItsFramesAndEndsTheConnectionOnce) {
    LoopbackTls loop;
    TerminationLog terminations;
    auto serverStart = loop.startServer(std::chrono::seconds(5), terminations.handler());
    auto raw = loop.run(rawClient(loop));
    auto server = LoopbackTls::wait(serverStart).connection;
    loop.onIo([&] {
        raw->socket().set_option(asio::socket_base::linger(true, 0));
        raw.reset(); // closing with linger 0 resets the connection
        return 0;
    });

    // The reset may reach the server's socket a moment after the close: sends before it still succeed.
    std::vector<ErrorKind> failures;
    for (std::uint64_t value = 0; value < 100 && failures.size() < 3; ++value) {
        if (auto error = sendOutcome(*server, pingFrame(value))) failures.push_back(error->kind());
    }
    EXPECT_EQ(failures, std::vector<ErrorKind>(3, ErrorKind::failed));
    loop.onIo([&] {
        server->cancel();
        return 0;
    });
    for (int i = 0; i < 3; ++i) loop.onIo([] { return 0; });
    EXPECT_EQ(terminations.snapshot(), std::vector<ErrorKind>{ErrorKind::failed});
}

TEST(FramedConnection, UndecodableFramesAreReportedAndTheConnectionGoesOn) {
    ConnectedPair pair;
    const std::string notJson = "not json";
    const std::pair<Frame, DecodingError::Kind> bad[] = {
        {Frame{0x0201, 0, Bytes(notJson.begin(), notJson.end())}, DecodingError::Kind::malformedPayload},
        {Frame{0xF000, 0, {}}, DecodingError::Kind::unknownMessageType},
        {Frame{0x0105, 0, Bytes(3, 0)}, DecodingError::Kind::unexpectedLength},
    };
    for (const auto& [frame, kind] : bad) pair.client->sendFrame(frame);
    pair.client->send(Ping{7});
    for (const auto& [frame, kind] : bad) {
        auto received = pair.loop.run(receiveOne(pair.server));
        ASSERT_TRUE(received.message && received.message->undecodable());
        EXPECT_EQ(received.message->undecodable()->type, frame.type);
        EXPECT_EQ(received.message->undecodable()->error.kind(), kind);
    }
    EXPECT_EQ(pair.message(pair.server), OrvikMessage(Ping{7}));
}

TEST(FramedConnection, PeerCloseEndsReceivingWithClosedAndTerminatesOnce) {
    ConnectedPair pair;
    pair.client->send(Ping{1});
    pair.client->cancel();
    EXPECT_EQ(pair.message(pair.server), OrvikMessage(Ping{1}));
    EXPECT_EQ(pair.endOf(pair.server), ErrorKind::closed);
    EXPECT_EQ(pair.endOf(pair.server), ErrorKind::closed);

    pair.server->cancel();
    pair.server->cancel();
    pair.settle();
    EXPECT_EQ(pair.serverTerminations.snapshot(), std::vector<ErrorKind>{ErrorKind::closed});
    EXPECT_EQ(pair.clientTerminations.snapshot(), std::vector<ErrorKind>{ErrorKind::cancelled});
}

TEST(FramedConnection, CancelEndsAPendingReceiveAndRefusesLaterSends) {
    ConnectedPair pair;
    // A frame over the limit completes `closed` and the connection goes on.
    EXPECT_EQ(sendOutcome(*pair.client, Frame{0x0301, 0, Bytes(FrameHeader::maxPayloadLength + 1)})->kind(),
              ErrorKind::closed);
    EXPECT_EQ(sendOutcome(*pair.client, pingFrame(3)), std::nullopt);
    EXPECT_EQ(pair.message(pair.server), OrvikMessage(Ping{3}));

    auto pending = asio::co_spawn(pair.loop.io(), receiveOne(pair.server), asio::use_future);
    pair.server->cancel();
    EXPECT_EQ(LoopbackTls::wait(pending).error->kind(), ErrorKind::cancelled);
    EXPECT_EQ(pair.endOf(pair.server), ErrorKind::cancelled);
    EXPECT_EQ(sendOutcome(*pair.server, pingFrame(1))->kind(), ErrorKind::closed);
    EXPECT_EQ(pair.endOf(pair.client), ErrorKind::closed);
    pair.settle();
    EXPECT_EQ(pair.serverTerminations.snapshot(), std::vector<ErrorKind>{ErrorKind::cancelled});
}

TEST(FramedConnection, SendsFromManyThreadsCompleteOnceEachAndKeepEachThreadsOrder) {
    ConnectedPair pair;
    constexpr std::uint64_t threads = 4, perThread = 250;
    std::mutex mutex;
    std::map<std::uint64_t, int> completions;
    std::vector<std::thread> senders;
    for (std::uint64_t t = 0; t < threads; ++t) {
        senders.emplace_back([&, t] {
            for (std::uint64_t value = t << 32; value < (t << 32) + perThread; ++value) {
                pair.client->send(Ping{value}, [&, value](std::optional<ConnectionError> error) {
                    std::lock_guard lock(mutex);
                    completions[value] += error ? 1000 : 1;
                });
            }
        });
    }
    for (auto& sender : senders) sender.join();
    std::map<std::uint64_t, std::uint64_t> nextOfThread;
    for (std::uint64_t n = 0; n < threads * perThread; ++n) {
        auto received = pair.message(pair.server);
        ASSERT_TRUE(received && received->get<Ping>());
        auto value = received->get<Ping>()->value;
        EXPECT_EQ(value & 0xFFFFFFFF, nextOfThread[value >> 32]++);
    }
    pair.settle();
    std::lock_guard lock(mutex);
    EXPECT_EQ(completions.size(), threads * perThread);
    for (const auto& [value, count] : completions) EXPECT_EQ(count, 1) << value;
}

// The server's way of refusing: a last message, then cancel, while the phone still sends and has not read
// yet. Closing a socket with unread input sends a reset, which destroys whatever still waits in the send buffer.
TEST(FramedConnection, LastMessagesBeforeCancelArriveEvenWithUnreadInput) {
    ConnectedPair pair;
    for (std::uint64_t i = 0; i < 4000; ++i) pair.client->send(Ping{i});
    EXPECT_EQ(sendOutcome(*pair.client, pingFrame(0)), std::nullopt);

    Frame large{0x0507, 0, Bytes(FrameHeader::maxPayloadLength, 0x5A)};
    pair.server->sendFrame(large);
    pair.server->send(ErrorMessage{ErrorCode::unauthorized});
    pair.server->cancel();
    // The phone is busy for a moment; nothing here depends on how long.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    EXPECT_EQ(pair.loop.run(pair.client->receiveFrame()), large);
    EXPECT_EQ(pair.message(pair.client), OrvikMessage(ErrorMessage{ErrorCode::unauthorized}));
    EXPECT_EQ(pair.endOf(pair.client), ErrorKind::closed);
}

// A TCP peer that connects and never says anything. Its server side times out or is cancelled (sends queued
// before that complete `closed`), and closes the socket: the peer reads the end of the stream.
TEST(FramedConnection, StartEndsTimedOutOrCancelledAndClosesTheSocket) {
    using namespace std::chrono_literals;
    enum class Step { wait, cancelWhileStarting, sendAndCancelFirst };
    LoopbackTls loop;
    std::vector<std::shared_ptr<asio::ip::tcp::socket>> peers;
    for (auto [step, timeout, expected] : {std::tuple{Step::wait, 200ms, ErrorKind::timedOut},
                                           std::tuple{Step::cancelWhileStarting, 30'000ms, ErrorKind::cancelled},
                                           std::tuple{Step::sendAndCancelFirst, 30'000ms, ErrorKind::cancelled}}) {
        auto peer = peers.emplace_back(std::make_shared<asio::ip::tcp::socket>(loop.io()));
        auto server = loop.run([&]() -> asio::awaitable<std::shared_ptr<FramedConnection>> {
            const auto endpoint = loop.endpoint();
            co_await peer->async_connect(endpoint, asio::use_awaitable); // complete before it is accepted
            co_return loop.keep(FramedConnection::accepted(co_await loop.acceptSocket(), loop.serverContext));
        }());
        std::promise<std::optional<ConnectionError>> completion;
        auto sent = completion.get_future();
        if (step == Step::sendAndCancelFirst) {
            server->send(Ping{1}, [&](std::optional<ConnectionError> error) { completion.set_value(error); });
            server->cancel();
            EXPECT_EQ(LoopbackTls::wait(sent)->kind(), ErrorKind::closed);
        }
        auto started = asio::co_spawn(loop.io(), LoopbackTls::started(server, timeout, {}), asio::use_future);
        if (step == Step::cancelWhileStarting) server->cancel();
        auto error = LoopbackTls::wait(started).error;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), expected);
        EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(*error));
        EXPECT_EQ(loop.run([&]() -> asio::awaitable<std::error_code> {
            std::array<char, 16> buffer{};
            std::error_code end;
            co_await peer->async_read_some(asio::buffer(buffer), asio::redirect_error(asio::use_awaitable, end));
            co_return end;
        }()),
                  asio::error::eof);
    }
    loop.onIo([&] {
        peers.clear();
        return 0;
    });
}

TEST(FramedConnection, ClientConnectReportsBadEndpointsAndRefusals) {
    LoopbackTls loop;
    auto attempt = [&](std::string host, std::uint16_t port) {
        return loop.run([&]() -> asio::awaitable<std::optional<ConnectionError>> {
            try {
                co_await FramedConnection::connect(host, port, framedDeviceKey);
            } catch (const ConnectionError& error) {
                co_return error;
            }
            co_return std::nullopt;
        }());
    };
    EXPECT_EQ(attempt("", 1234)->kind(), ErrorKind::invalidEndpoint);
    EXPECT_EQ(attempt("127.0.0.1", 0)->kind(), ErrorKind::invalidEndpoint);

    std::uint16_t closedPort = [] {
        asio::io_context io;
        asio::ip::tcp::acceptor probe(io, {asio::ip::address_v4::loopback(), 0});
        return probe.local_endpoint().port();
    }();
    auto refused = attempt("127.0.0.1", closedPort);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind(), ErrorKind::failed);
    EXPECT_EQ(refused->networkError()->code, asio::error::connection_refused);
}

TEST(FramedConnection, APeerThatReadsNothingFillsTheQueueUntilItReadsAndPastTheHardLimitTheConnectionFails) {
    ConnectedPair pair;
    const Frame quarter{0x0405, 0, Bytes(256 * 1024, 0x5A)};
    // Sends quarters until the server's queue holds at least `bytes`, letting the writer fill the socket between
    // sends; answers how many were sent (at most `most`).
    auto fillTo = [&](std::size_t bytes, int most) {
        return pair.loop.run([&]() -> asio::awaitable<int> {
            int sent = 0;
            while (pair.server->queuedBytes() < bytes && sent < most) {
                pair.server->sendFrame(quarter);
                ++sent;
                co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
            }
            co_return sent;
        }());
    };
    auto queued = [&] { return pair.loop.onIo([&] { return pair.server->queuedBytes(); }); };

    // Well past the limit: the socket's buffers may still grow a little once full.
    const int sent = fillTo(4 * FramedConnection::outgoingLimit, 400);
    ASSERT_LT(sent, 400) << "the socket's buffers take a bounded amount";
    EXPECT_TRUE(pair.loop.onIo([&] { return pair.server->isFull(); }));
    auto writable = asio::co_spawn(pair.loop.io(), pair.server->writable(), asio::use_future);
    EXPECT_EQ(writable.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);

    // Reading drains it; everything queued arrives.
    for (int index = 0; index < sent; ++index) {
        ASSERT_EQ(pair.loop.run(pair.client->receiveFrame()), quarter) << index;
    }
    LoopbackTls::wait(writable);
    EXPECT_EQ(queued(), 0u);
    EXPECT_TRUE(pair.serverTerminations.snapshot().empty());

    // Past the hard limit the frame is refused and the connection fails; its queue is given back once the close
    // has waited for the peer as long as it may.
    pair.loop.run([&]() -> asio::awaitable<void> {
        for (int index = 0; index < 400 && pair.serverTerminations.snapshot().empty(); ++index) {
            pair.server->sendFrame(quarter);
            co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
        }
    }());
    pair.settle();
    ASSERT_EQ(pair.serverTerminations.snapshot(), std::vector<ErrorKind>{ErrorKind::failed});
    EXPECT_EQ(sendOutcome(*pair.server, pingFrame(1)), ConnectionError::closed());
    pair.loop.run(pair.server->writable()); // at once: the connection no longer writes
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (queued() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(queued(), 0u);
}
