#include "orvik/protocol/transport/OrvikTLS.hpp"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

namespace orvik::OrvikTLS {

namespace {

// The key material hangs off the SSL_CTX in ex_data slots of our own (asio owns the app-data slot) and is
// freed by OpenSSL together with the context.
struct ServerKeys {
    std::mutex mutex;
    KeyLookup lookup;
};

template <class T> void freeExData(void*, void* data, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<T*>(data);
}

int serverKeysIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, &freeExData<ServerKeys>);
    return index;
}

int clientKeyIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, &freeExData<PreSharedKey>);
    return index;
}

unsigned int copyKey(const SymmetricKey& key, unsigned char* psk, unsigned int maxLength) {
    if (maxLength < SymmetricKey::length) return 0;
    std::memcpy(psk, key.storage().data(), SymmetricKey::length);
    return SymmetricKey::length;
}

unsigned int serverCallback(SSL* ssl, const char* identity, unsigned char* psk, unsigned int maxLength) noexcept {
    auto* keys = static_cast<ServerKeys*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), serverKeysIndex()));
    if (keys == nullptr || identity == nullptr) return 0;
    try {
        KeyLookup lookup;
        {
            std::lock_guard lock(keys->mutex);
            lookup = keys->lookup;
        }
        auto key = lookup ? lookup(identity) : std::nullopt;
        return key ? copyKey(*key, psk, maxLength) : 0;
    } catch (...) {
        return 0;
    }
}

unsigned int clientCallback(SSL* ssl, const char*, char* identity, unsigned int maxIdentityLength, unsigned char* psk,
                            unsigned int maxLength) noexcept {
    auto* key = static_cast<PreSharedKey*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), clientKeyIndex()));
    if (key == nullptr || key->identity.size() + 1 > maxIdentityLength) return 0;
    std::memcpy(identity, key->identity.c_str(), key->identity.size() + 1);
    return copyKey(key->key, psk, maxLength);
}

std::shared_ptr<asio::ssl::context> makeContext(asio::ssl::context::method method, std::string_view ciphers) {
    auto context = std::make_shared<asio::ssl::context>(method);
    SSL_CTX* native = context->native_handle();
    // Both bounds: with only a minimum OpenSSL negotiates TLS 1.3 and ignores the TLS 1.2 suite list.
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_options(native, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION |
                                    SSL_OP_CIPHER_SERVER_PREFERENCE);
    // A cached session would be resumed without consulting the PSK callback, so a removed key would still work.
    SSL_CTX_set_session_cache_mode(native, SSL_SESS_CACHE_OFF);
    if (SSL_CTX_set_cipher_list(native, std::string(ciphers).c_str()) != 1) {
        ERR_clear_error();
        throw std::invalid_argument("no usable cipher suite in \"" + std::string(ciphers) + "\"");
    }
    SSL_CTX_set_verify(native, SSL_VERIFY_NONE, nullptr);
    return context;
}

bool isAuthenticationReason(unsigned long error) {
    if (ERR_GET_LIB(error) != ERR_LIB_SSL) return false;
    switch (ERR_GET_REASON(error)) {
    case SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC: // bad record MAC detected here
    case SSL_R_SSLV3_ALERT_BAD_RECORD_MAC:          // the peer reports a bad record MAC
    case SSL_R_PSK_IDENTITY_NOT_FOUND:              // unknown identity, server side
    case SSL_R_TLSV1_ALERT_UNKNOWN_PSK_IDENTITY:    // unknown identity, as the client hears it
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:       // the peer reports a handshake failure
        return true;
    default: return false;
    }
}

template <class Predicate> bool hasTlsError(const ConnectionError& error, Predicate matches) {
    if (error.kind() != ConnectionError::Kind::failed && error.kind() != ConnectionError::Kind::waiting) return false;
    const auto& network = error.networkError();
    return network && std::any_of(network->tlsErrors.begin(), network->tlsErrors.end(), matches);
}

} // namespace

KeyLookup lookupIn(std::vector<PreSharedKey> keys) {
    return [keys = std::move(keys)](std::string_view identity) -> std::optional<SymmetricKey> {
        auto found = std::find_if(keys.begin(), keys.end(), [&](const auto& key) { return key.identity == identity; });
        if (found == keys.end()) return std::nullopt;
        return found->key;
    };
}

std::shared_ptr<asio::ssl::context> serverContext(KeyLookup lookup, std::string_view ciphers) {
    auto context = makeContext(asio::ssl::context::tls_server, ciphers);
    auto keys = std::make_unique<ServerKeys>();
    keys->lookup = std::move(lookup);
    if (SSL_CTX_set_ex_data(context->native_handle(), serverKeysIndex(), keys.get()) != 1) {
        throw std::runtime_error("cannot attach keys to the TLS context");
    }
    // The context owns it now: freed with the context by the index's free function.
    static_cast<void>(keys.release());
    SSL_CTX_set_psk_server_callback(context->native_handle(), &serverCallback);
    return context;
}

void setKeyLookup(asio::ssl::context& serverContext, KeyLookup lookup) {
    auto* keys = static_cast<ServerKeys*>(SSL_CTX_get_ex_data(serverContext.native_handle(), serverKeysIndex()));
    if (keys == nullptr) throw std::invalid_argument("not a server context of OrvikTLS");
    std::lock_guard lock(keys->mutex);
    keys->lookup = std::move(lookup);
}

std::shared_ptr<asio::ssl::context> clientContext(PreSharedKey key, std::string_view ciphers) {
    auto context = makeContext(asio::ssl::context::tls_client, ciphers);
    auto stored = std::make_unique<PreSharedKey>(std::move(key));
    if (SSL_CTX_set_ex_data(context->native_handle(), clientKeyIndex(), stored.get()) != 1) {
        throw std::runtime_error("cannot attach the key to the TLS context");
    }
    static_cast<void>(stored.release());
    SSL_CTX_set_psk_client_callback(context->native_handle(), &clientCallback);
    return context;
}

void configureSocket(asio::ip::tcp::socket& socket) {
    asio::error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
}

void configureAcceptor(asio::ip::tcp::acceptor& acceptor) {
    asio::error_code ignored;
    acceptor.set_option(asio::ip::tcp::no_delay(true), ignored);
    acceptor.set_option(asio::socket_base::keep_alive(true), ignored);
}

bool isAuthenticationFailure(const ConnectionError& error) {
    return hasTlsError(error, &isAuthenticationReason);
}

bool isUnknownIdentity(const ConnectionError& error) {
    return hasTlsError(error, [](unsigned long code) {
        return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_PSK_IDENTITY_NOT_FOUND;
    });
}

} // namespace orvik::OrvikTLS
