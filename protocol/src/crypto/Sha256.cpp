#include "orvik/protocol/crypto/Sha256.hpp"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <memory>
#include <stdexcept>

namespace orvik {

namespace {

constexpr std::size_t sha256Length = 32;

// Fetched once: fetching is the slow part, and fetched algorithms are immutable and shareable across threads.
EVP_KDF* hkdfAlgorithm() {
    static EVP_KDF* const kdf = EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_HKDF, nullptr);
    return kdf;
}

EVP_MAC* hmacAlgorithm() {
    static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    return mac;
}

// OpenSSL takes parameter buffers as non-const even when it only reads them.
void* mutableData(ByteView bytes) {
    static std::uint8_t empty = 0;
    return bytes.empty() ? &empty : const_cast<std::uint8_t*>(bytes.data());
}

char sha256Name[] = "SHA256";

} // namespace

Bytes hkdfSha256(ByteView inputKey, ByteView salt, ByteView info, std::size_t length) {
    if (hkdfAlgorithm() == nullptr) throw std::runtime_error("HKDF is not available");
    std::unique_ptr<EVP_KDF_CTX, decltype(&EVP_KDF_CTX_free)> context(EVP_KDF_CTX_new(hkdfAlgorithm()),
                                                                      &EVP_KDF_CTX_free);
    if (!context) throw std::runtime_error("HKDF context allocation failed");
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, sha256Name, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, mutableData(inputKey), inputKey.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, mutableData(salt), salt.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, mutableData(info), info.size()),
        OSSL_PARAM_construct_end(),
    };
    Bytes output(length);
    if (EVP_KDF_derive(context.get(), output.data(), output.size(), params) != 1) {
        throw std::runtime_error("HKDF derivation failed");
    }
    return output;
}

Bytes hmacSha256(ByteView key, ByteView data) {
    if (hmacAlgorithm() == nullptr) throw std::runtime_error("HMAC is not available");
    std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(EVP_MAC_CTX_new(hmacAlgorithm()),
                                                                      &EVP_MAC_CTX_free);
    if (!context) throw std::runtime_error("HMAC context allocation failed");
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, sha256Name, 0),
        OSSL_PARAM_construct_end(),
    };
    Bytes output(sha256Length);
    std::size_t written = 0;
    if (EVP_MAC_init(context.get(), static_cast<const unsigned char*>(mutableData(key)), key.size(), params) != 1 ||
        EVP_MAC_update(context.get(), data.data(), data.size()) != 1 ||
        EVP_MAC_final(context.get(), output.data(), &written, output.size()) != 1 || written != sha256Length) {
        throw std::runtime_error("HMAC computation failed");
    }
    return output;
}

} // namespace orvik
