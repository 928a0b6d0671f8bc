#include "LoopbackTls.hpp"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>

using namespace orvik;
using namespace orvik::testing;

namespace {

bool hasReason(const ConnectionError& error, int reason) {
    const auto& network = error.networkError();
    return network && std::any_of(network->tlsErrors.begin(), network->tlsErrors.end(), [&](unsigned long code) {
               return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == reason;
           });
}

const PreSharedKey deviceKey = makeKey("device", 0x11);

class EachSuite : public ::testing::TestWithParam<std::string_view> {};

} // namespace

TEST_P(EachSuite, RightKeyConnectsWithThatSuite) {
    LoopbackTls loop;
    auto [server, client] = loop.connect(deviceKey, GetParam());
    ASSERT_FALSE(server.error) << server.error->what();
    ASSERT_FALSE(client.error) << client.error->what();
    EXPECT_EQ(server.connection->cipherSuite(), GetParam());
    EXPECT_EQ(client.connection->cipherSuite(), GetParam());
    EXPECT_EQ(server.connection->pskIdentity(), "device");

    client.connection->send(Ping{42});
    auto received = loop.run(receiveOne(server.connection));
    ASSERT_TRUE(received.message && received.message->message());
    EXPECT_EQ(*received.message->message(), OrvikMessage(Ping{42}));
}

TEST_P(EachSuite, WrongKeyIsAnAuthenticationFailureOnBothSides) {
    LoopbackTls loop;
    auto [server, client] = loop.connect(makeKey("device", 0x22), GetParam());
    ASSERT_TRUE(server.error && client.error);
    EXPECT_EQ(server.error->kind(), ConnectionError::Kind::failed);
    EXPECT_EQ(client.error->kind(), ConnectionError::Kind::failed);
    EXPECT_TRUE(hasReason(*server.error, SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC)) << server.error->what();
    EXPECT_TRUE(hasReason(*client.error, SSL_R_SSLV3_ALERT_BAD_RECORD_MAC)) << client.error->what();
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*server.error)) << server.error->what();
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*client.error)) << client.error->what();
}

INSTANTIATE_TEST_SUITE_P(OrvikTLS, EachSuite, ::testing::Values(OrvikTLS::ecdhePskChaCha20, OrvikTLS::pskAes128Gcm),
                         [](const auto& suite) {
                             return std::string(suite.param == OrvikTLS::pskAes128Gcm ? "PskAes128Gcm"
                                                                                      : "EcdhePskChaCha20");
                         });

TEST(OrvikTLS, ServerPrefersTheEcdheSuite) {
    LoopbackTls loop;
    auto [server, client] = loop.connect(deviceKey, "PSK-AES128-GCM-SHA256:ECDHE-PSK-CHACHA20-POLY1305");
    ASSERT_FALSE(server.error || client.error);
    EXPECT_EQ(server.connection->cipherSuite(), OrvikTLS::ecdhePskChaCha20);
}

TEST(OrvikTLS, GcmWrongKeyKeepsEveryQueuedErrorOnTheServer) {
    LoopbackTls loop;
    auto [server, client] = loop.connect(makeKey("device", 0x22), OrvikTLS::pskAes128Gcm);
    ASSERT_TRUE(server.error);
    const auto& errors = server.error->networkError()->tlsErrors;
    // The provider's "cipher operation failed" comes first; the bad-MAC report behind it must not be lost.
    ASSERT_GE(errors.size(), 2u) << server.error->what();
    EXPECT_EQ(ERR_GET_LIB(errors.front()), ERR_LIB_PROV) << server.error->what();
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*server.error));
}

TEST(OrvikTLS, UnknownIdentityIsAnAuthenticationFailureOnBothSides) {
    LoopbackTls loop;
    auto [server, client] = loop.connect(makeKey("stranger", 0x11));
    ASSERT_TRUE(server.error && client.error);
    EXPECT_TRUE(hasReason(*server.error, SSL_R_PSK_IDENTITY_NOT_FOUND)) << server.error->what();
    EXPECT_TRUE(hasReason(*client.error, SSL_R_TLSV1_ALERT_UNKNOWN_PSK_IDENTITY)) << client.error->what();
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*server.error));
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*client.error));
}

TEST(OrvikTLS, HandshakeFailureAlertCountsOnlyForTheSideThatHearsIt) {
    LoopbackTls loop({deviceKey}, OrvikTLS::pskAes128Gcm);
    auto [server, client] = loop.connect(deviceKey, OrvikTLS::ecdhePskChaCha20);
    ASSERT_TRUE(server.error && client.error);
    EXPECT_TRUE(hasReason(*client.error, SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE)) << client.error->what();
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*client.error));
    EXPECT_TRUE(hasReason(*server.error, SSL_R_NO_SHARED_CIPHER)) << server.error->what();
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(*server.error));
}

TEST(OrvikTLS, OtherFailuresAreNotAuthenticationFailures) {
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::timedOut()));
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::cancelled()));
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::failed(asio::error::connection_reset)));
    // A failure that queued an authentication reason but is not failed/waiting does not count either.
    ConnectionError::NetworkError badMac{{}, {ERR_PACK(ERR_LIB_SSL, 0, SSL_R_SSLV3_ALERT_BAD_RECORD_MAC)}, "bad mac"};
    EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(ConnectionError::waiting(badMac)));

    LoopbackTls loop;
    auto server = loop.startServer();
    loop.run([&]() -> asio::awaitable<int> {
        asio::ip::tcp::socket socket(loop.io());
        const auto endpoint = loop.endpoint();
        co_await socket.async_connect(endpoint, asio::use_awaitable);
        socket.close(); // a reset before TLS is a network failure, not a wrong key
        co_return 0;
    }());
    auto outcome = LoopbackTls::wait(server);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->kind(), ConnectionError::Kind::failed);
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(*outcome.error));
}

TEST(OrvikTLS, OnlyTls12IsSpoken) {
    LoopbackTls loop;
    auto tls13 = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
    SSL_CTX_set_min_proto_version(tls13->native_handle(), TLS1_3_VERSION);
    auto [server, client] = std::pair{loop.startServer(), loop.startClient(tls13)};
    auto serverOutcome = LoopbackTls::wait(server);
    auto clientOutcome = LoopbackTls::wait(client);
    ASSERT_TRUE(serverOutcome.error);
    EXPECT_TRUE(hasReason(*serverOutcome.error, SSL_R_UNSUPPORTED_PROTOCOL)) << serverOutcome.error->what();
    ASSERT_TRUE(clientOutcome.error);
}

TEST(OrvikTLS, SwappedLookupDecidesLaterHandshakes) {
    LoopbackTls loop;
    auto newcomer = makeKey("newcomer", 0x33);
    EXPECT_TRUE(loop.connect(newcomer).first.error);
    OrvikTLS::setKeyLookup(*loop.serverContext, OrvikTLS::lookupIn({newcomer}));
    auto [server, client] = loop.connect(newcomer);
    EXPECT_FALSE(server.error || client.error);
    EXPECT_TRUE(loop.connect(deviceKey).first.error);
}

// A device removed after it connected once must not come back by resuming its old TLS session.
TEST(OrvikTLS, SavedSessionDoesNotBypassTheKeyCheck) {
    LoopbackTls loop;
    auto clientContext = OrvikTLS::clientContext(deviceKey);
    auto handshake = [&](SSL_SESSION* offered) -> asio::awaitable<std::pair<SSL_SESSION*, bool>> {
        asio::ip::tcp::socket socket(loop.io());
        const auto endpoint = loop.endpoint();
        co_await socket.async_connect(endpoint, asio::use_awaitable);
        TlsStream stream(std::move(socket), clientContext, TlsStream::Role::client);
        if (offered != nullptr) SSL_set_session(stream.nativeHandle(), offered);
        bool succeeded = true;
        try {
            co_await stream.handshake();
            // A clean close keeps the session resumable on the client's side.
            co_await stream.sendCloseNotify();
        } catch (const ConnectionError&) {
            succeeded = false;
        }
        co_return std::pair{SSL_get1_session(stream.nativeHandle()), succeeded};
    };

    auto firstServer = loop.startServer();
    auto [saved, firstSucceeded] = loop.run(handshake(nullptr));
    ASSERT_TRUE(firstSucceeded);
    ASSERT_FALSE(LoopbackTls::wait(firstServer).error);
    ASSERT_NE(saved, nullptr);
    // Nothing the server handed out can be resumed: no session id (cache off) and no ticket.
    EXPECT_FALSE(SSL_SESSION_is_resumable(saved));

    OrvikTLS::setKeyLookup(*loop.serverContext, OrvikTLS::lookupIn({}));
    auto secondServer = loop.startServer();
    auto [second, secondSucceeded] = loop.run(handshake(saved));
    EXPECT_FALSE(secondSucceeded);
    auto outcome = LoopbackTls::wait(secondServer);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(hasReason(*outcome.error, SSL_R_PSK_IDENTITY_NOT_FOUND)) << outcome.error->what();
    SSL_SESSION_free(saved);
    SSL_SESSION_free(second);
}

TEST(OrvikTLS, ContextRejectsSuitesOutsideTheList) {
    EXPECT_THROW(OrvikTLS::clientContext(deviceKey, "NO-SUCH-SUITE"), std::invalid_argument);
}
