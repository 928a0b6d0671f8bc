#include "ServerHarness.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/coding/FrameHeader.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include "ProcessUsage.hpp"

namespace orvik::test {
namespace {

// A phone written straight on OpenSSL, blocking, for what the framed connection would never send: a TLS session
// kept for resumption and a frame header announcing more than the limit.
class RawTlsPhone {
public:
    RawTlsPhone(std::uint16_t port, const PreSharedKey& key, SSL_SESSION* resume = nullptr)
        : context_(OrvikTLS::clientContext(key)), stream_(io_, *context_) {
        stream_.lowest_layer().connect({asio::ip::make_address("127.0.0.1"), port});
        if (resume) SSL_set_session(stream_.native_handle(), resume);
        stream_.handshake(asio::ssl::stream_base::client);
    }

    // The session to offer for resumption later; the caller frees it.
    SSL_SESSION* session() { return SSL_get1_session(stream_.native_handle()); }
    bool wasResumed() { return SSL_session_reused(stream_.native_handle()) == 1; }

    void write(ByteView bytes) { asio::write(stream_, asio::buffer(bytes.data(), bytes.size())); }
    void send(const OrvikMessage& message) { write(message.frame()->encoded()); }
    OrvikMessage receive() {
        std::array<std::uint8_t, FrameHeader::size> header{};
        asio::read(stream_, asio::buffer(header));
        auto decoded = FrameHeader::decode(header);
        Bytes payload(decoded.payloadLength);
        asio::read(stream_, asio::buffer(payload));
        return OrvikMessage::decode(Frame{decoded.type, decoded.flags, std::move(payload)});
    }
    // Reads until the server closes the connection; false when it is still open after `wait`.
    bool closedByServer(std::chrono::milliseconds wait) {
        stream_.lowest_layer().non_blocking(true);
        std::array<std::uint8_t, 256> buffer{};
        return waitUntil(
            [&] {
                std::error_code error;
                stream_.read_some(asio::buffer(buffer), error);
                return error && error != asio::error::would_block && error != asio::error::try_again;
            },
            wait);
    }

private:
    asio::io_context io_;
    std::shared_ptr<asio::ssl::context> context_;
    asio::ssl::stream<asio::ip::tcp::socket> stream_;
};

class ServerSecurity : public ServerWithDevice {};

TEST_F(ServerSecurity, AWrongKeyFailsTLSWithEverySuiteAndIsCounted) {
    const PreSharedKey wrong{OrvikKeys::sessionPSK(Bytes(32, 7), device.id), OrvikKeys::sessionIdentity(device.id)};
    for (auto suite : {OrvikTLS::ecdhePskChaCha20, OrvikTLS::pskAes128Gcm}) {
        SCOPED_TRACE(std::string(suite));
        const auto before = failuresRecorded();
        EXPECT_THROW(harness.connect(wrong, suite), ConnectionError);
        EXPECT_EQ(harness.waitForEvent<ServerEvent::HandshakeFailed>()->address, "127.0.0.1");
        EXPECT_EQ(failuresRecorded(), before + 1);
        harness.clock.advance(100); // past the lockout
        // The right key with the same suite still works.
        auto phone = harness.connect(device.sessionKey(), suite);
        EXPECT_EQ(phone->authenticate(device.id, device.key).deviceName, "Anna");
    }
}

TEST_F(ServerSecurity, AnUnknownIdentityFailsTLSAndIsCounted) {
    const auto stranger = Uuid::random();
    EXPECT_THROW(harness.connect(sessionKey(stranger, Bytes(32, 1))), ConnectionError);
    EXPECT_TRUE(harness.waitForEvent<ServerEvent::HandshakeFailed>());
    // The address is locked out at once: the next connection is turned away before TLS, uncounted.
    EXPECT_THROW(harness.connect(device.sessionKey()), ConnectionError);
    EXPECT_EQ(failuresRecorded(), 1u);
}

TEST_F(ServerSecurity, ARemovedDeviceIsDisconnectedAndItsKeyNoLongerOpensTLSEvenByResumption) {
    auto other = harness.addPairedDevice("Bob");
    auto bob = harness.authenticatedPhone(other);
    auto phone = harness.authenticatedPhone(device);

    SSL_SESSION* earlier = nullptr;
    {
        RawTlsPhone raw(harness.port, device.sessionKey());
        earlier = raw.session();
    }
    ASSERT_TRUE(earlier);
    {
        // The server never resumes a session: every handshake goes through the key lookup.
        RawTlsPhone again(harness.port, device.sessionKey(), earlier);
        EXPECT_FALSE(again.wasResumed());
    }

    harness.onServer([&](HelperServer& s) { s.removeDevice(device.id); });
    EXPECT_EQ(errorOf(phone->nextIgnoringStatus()), (ErrorMessage{ErrorCode::deviceRemoved}));
    EXPECT_TRUE(phone->waitForEnd());
    EXPECT_EQ(harness.waitForEvent<ServerEvent::Devices>()->devices, harness.store->devices());
    auto connections = harness.waitForEvent<ServerEvent::Connections>()->devices;
    EXPECT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections.at(0).name, "Bob");
    harness.waitForListenerReady();

    EXPECT_THROW(RawTlsPhone(harness.port, device.sessionKey(), earlier), std::system_error);
    SSL_SESSION_free(earlier);
    EXPECT_TRUE(harness.waitForEvent<ServerEvent::HandshakeFailed>());
    harness.clock.advance(100);
    EXPECT_THROW(harness.connect(device.sessionKey()), ConnectionError);

    // The other device is untouched.
    bob->send(Ping{5});
    EXPECT_EQ(bob->expect<Pong>().value, 5u);
}

TEST_F(ServerSecurity, ATLSHandshakeThatDoesNotFinishInThreeSecondsIsCounted) {
    RawClient silent("127.0.0.9", harness.port);
    EXPECT_EQ(harness.waitForEvent<ServerEvent::HandshakeFailed>(10s)->address, "127.0.0.9");
    EXPECT_TRUE(silent.waitForClose());
    EXPECT_EQ(harness.onServer([](HelperServer& s) { return s.pendingHandshakeCount(); }), 0);
}

TEST_F(ServerSecurity, AThousandFailedHandshakesLeaveNoOpenFiles) {
    // Count every failure but never block, so that each attempt reaches TLS.
    harness.onServer(
        [](HelperServer& s) { s.configureRateLimiter(helper::HandshakeRateLimiter(1'000'000, 60, 0, 0)); });
    const PreSharedKey wrong{OrvikKeys::sessionPSK(Bytes(32, 9), device.id), OrvikKeys::sessionIdentity(device.id)};
    auto warmUp = [&] { EXPECT_THROW(harness.connect(wrong), ConnectionError); };
    warmUp(); // the first attempt opens what stays open for the process's life (resolver, random source)
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
    const auto before = openDescriptorCount();

    for (int attempt = 0; attempt < 1000; ++attempt) {
        try {
            harness.connect(wrong);
            ADD_FAILURE() << "a wrong key opened TLS";
        } catch (const ConnectionError&) {
        }
    }
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    // Fewer is no leak: a descriptor of the warm-up may still have been closing when they were counted.
    while (openDescriptorCount() > before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_LE(openDescriptorCount(), before);
    EXPECT_EQ(harness.onServer([](HelperServer& s) { return s.recentHandshakeFailures(); }).size(), 50u);
}

TEST_F(ServerSecurity, AFrameHeaderAnnouncingMoreThanTheLimitEndsTheConnection) {
    RawTlsPhone raw(harness.port, device.sessionKey());
    raw.send(Hello{1, 1, "1.0", Capabilities{}});
    auto ack = raw.receive();
    ASSERT_TRUE(ack.get<HelloAck>());
    auto key = OrvikKeys::authenticationKey(device.key, device.id);
    raw.send(Authenticate{device.id, OrvikKeys::proof(key, ack.get<HelloAck>()->challenge)});
    ASSERT_TRUE(raw.receive().get<Authenticated>());

    FrameHeader header{static_cast<std::uint16_t>(MessageType::text), 0, FrameHeader::maxPayloadLength + 1};
    raw.write(header.encoded());
    EXPECT_TRUE(raw.closedByServer(5s));
    EXPECT_TRUE(harness.waitUntil([](HelperServer& s) { return s.sessionCount() == 0; }));
}

} // namespace
} // namespace orvik::test
