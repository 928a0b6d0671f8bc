#pragma once

#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/crypto/SymmetricKey.hpp"
#include "orvik/protocol/transport/ConnectionError.hpp"

#include "orvik/protocol/transport/Asio.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// TLS parameters of the protocol: TLS 1.2 only, pre-shared-key suites only, no session resumption of any kind
// (a resumed session would skip the key check), no renegotiation.
namespace orvik::OrvikTLS {

// Preferred first: ephemeral ECDHE gives forward secrecy; the plain PSK suite is kept for phones without it.
inline constexpr std::string_view ecdhePskChaCha20 = "ECDHE-PSK-CHACHA20-POLY1305";
inline constexpr std::string_view pskAes128Gcm = "PSK-AES128-GCM-SHA256";
inline constexpr std::string_view cipherSuites = "ECDHE-PSK-CHACHA20-POLY1305:PSK-AES128-GCM-SHA256";

inline constexpr std::chrono::seconds defaultConnectionTimeout{5};

// Finds the key of a client's PSK identity; absent refuses the handshake ("unknown psk identity").
// Called on the thread that runs the handshake.
using KeyLookup = std::function<std::optional<SymmetricKey>(std::string_view identity)>;

// A lookup over a fixed list; the first key with the identity wins.
KeyLookup lookupIn(std::vector<PreSharedKey> keys);

// A server context choosing the key by the client's identity through `lookup`. `ciphers` narrows the suites
// (tests and benchmarks); it must name suites of cipherSuites.
std::shared_ptr<asio::ssl::context> serverContext(KeyLookup lookup, std::string_view ciphers = cipherSuites);
// Replaces the lookup of a context made by serverContext(); safe from any thread, also during handshakes.
// Handshakes already past their key exchange keep the key they found.
void setKeyLookup(asio::ssl::context& serverContext, KeyLookup lookup);

// A client context offering one identity and key.
std::shared_ptr<asio::ssl::context> clientContext(PreSharedKey key, std::string_view ciphers = cipherSuites);

// TCP no-delay (input events are tiny and latency-bound) and keep-alive. Errors are ignored: a socket that
// already died fails its first read or write anyway. For sockets this side connects.
void configureSocket(asio::ip::tcp::socket& socket);
// The same options on a listening socket: Linux copies them to every connection it accepts, which so costs no
// calls of its own.
void configureAcceptor(asio::ip::tcp::acceptor& acceptor);

// True when a failed handshake shows the peer did not hold the right key: a bad record MAC on either side,
// an unknown PSK identity (either side), or a handshake-failure alert from the peer. Such failures count
// against the peer's address; plain network failures do not.
bool isAuthenticationFailure(const ConnectionError& error);
// True when a server's handshake failed because the client's PSK identity has no key there.
bool isUnknownIdentity(const ConnectionError& error);

} // namespace orvik::OrvikTLS
