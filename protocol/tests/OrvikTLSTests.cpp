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

} // namespace

TEST(OrvikTLS, TheRightKeyConnectsWithEitherSuiteAndTheServerPrefersEcdhe) {
    // The last offers both, in the other order.
    for (std::string_view suite : {OrvikTLS::ecdhePskChaCha20, OrvikTLS::pskAes128Gcm,
                                   std::string_view("PSK-AES128-GCM-SHA256:ECDHE-PSK-CHACHA20-POLY1305")}) {
        SCOPED_TRACE(std::string(suite));
        LoopbackTls loop;
        auto [server, client] = loop.connect(deviceKey, suite);
        ASSERT_FALSE(server.error || client.error);
        const auto expected = suite == OrvikTLS::pskAes128Gcm ? OrvikTLS::pskAes128Gcm : OrvikTLS::ecdhePskChaCha20;
        EXPECT_EQ(server.connection->cipherSuite(), expected);
        EXPECT_EQ(client.connection->cipherSuite(), expected);
        client.connection->send(Ping{42});
        EXPECT_EQ(loop.message(server.connection), OrvikMessage(Ping{42}));
    }
}

// Each failure as both sides report it, and whether it counts as a failed authentication there (and, on the
// server, whether it is an unknown identity).
TEST(OrvikTLS, FailuresCarryTheirReasonsAndAuthenticationFailuresAreRecognised) {
    struct Case {
        const char* what;
        PreSharedKey clientKey;
        std::string_view serverSuites, clientSuites;
        int serverReason;
        bool serverCounts;
        int clientReason;
    };
    const auto wrongKey = makeKey("device", 0x22);
    const Case cases[] = {
        {"wrong key", wrongKey, OrvikTLS::cipherSuites, OrvikTLS::ecdhePskChaCha20,
         SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC, true, SSL_R_SSLV3_ALERT_BAD_RECORD_MAC},
        {"wrong key, GCM", wrongKey, OrvikTLS::cipherSuites, OrvikTLS::pskAes128Gcm,
         SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC, true, SSL_R_SSLV3_ALERT_BAD_RECORD_MAC},
        {"unknown identity", makeKey("stranger", 0x11), OrvikTLS::cipherSuites, OrvikTLS::cipherSuites,
         SSL_R_PSK_IDENTITY_NOT_FOUND, true, SSL_R_TLSV1_ALERT_UNKNOWN_PSK_IDENTITY},
        // The client hears a handshake failure; the server's own "no shared cipher" is not about keys.
        {"no shared suite", deviceKey, OrvikTLS::pskAes128Gcm, OrvikTLS::ecdhePskChaCha20, SSL_R_NO_SHARED_CIPHER,
         false, SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackTls loop({deviceKey}, c.serverSuites);
        auto [server, client] = loop.connect(c.clientKey, c.clientSuites);
        ASSERT_TRUE(server.error && client.error);
        EXPECT_EQ(server.error->kind(), ConnectionError::Kind::failed);
        EXPECT_TRUE(hasReason(*server.error, c.serverReason)) << server.error->what();
        EXPECT_EQ(OrvikTLS::isAuthenticationFailure(*server.error), c.serverCounts);
        EXPECT_EQ(OrvikTLS::isUnknownIdentity(*server.error), c.serverReason == SSL_R_PSK_IDENTITY_NOT_FOUND);
        // The server names the identity offered, known or not, once it has read it.
        EXPECT_EQ(server.error->networkError()->pskIdentity,
                  c.serverReason == SSL_R_NO_SHARED_CIPHER ? "" : c.clientKey.identity);
        EXPECT_TRUE(hasReason(*client.error, c.clientReason)) << client.error->what();
        EXPECT_TRUE(OrvikTLS::isAuthenticationFailure(*client.error));
        if (c.clientSuites == OrvikTLS::pskAes128Gcm) {
            // The provider's "cipher operation failed" comes first; the reports behind it must not be lost.
            EXPECT_EQ(ERR_GET_LIB(server.error->networkError()->tlsErrors.front()), ERR_LIB_PROV);
        }
    }
}

TEST(OrvikTLS, OtherFailuresAreNotAuthenticationFailures) {
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::timedOut()));
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::cancelled()));
    EXPECT_FALSE(OrvikTLS::isAuthenticationFailure(ConnectionError::failed(asio::error::connection_reset)));
    ConnectionError::NetworkError badMac{
        {}, {ERR_PACK(ERR_LIB_SSL, 0, SSL_R_SSLV3_ALERT_BAD_RECORD_MAC)}, "bad mac", {}};
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
    ASSERT_TRUE(serverOutcome.error);
    EXPECT_TRUE(hasReason(*serverOutcome.error, SSL_R_UNSUPPORTED_PROTOCOL)) << serverOutcome.error->what();
    EXPECT_TRUE(LoopbackTls::wait(client).error);
    EXPECT_THROW(OrvikTLS::clientContext(deviceKey, "NO-SUCH-SUITE"), std::invalid_argument);
}
