#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstddef>

namespace orvik {

// The two SHA-256 primitives the protocol's keys and proofs are built from (OpenSSL's providers underneath).
// Both throw std::runtime_error only if OpenSSL itself cannot run them (no provider, out of memory).

// HKDF (RFC 5869), extract and expand, giving `length` bytes.
Bytes hkdfSha256(ByteView inputKey, ByteView salt, ByteView info, std::size_t length);

// HMAC (RFC 2104) over SHA-256: 32 bytes.
Bytes hmacSha256(ByteView key, ByteView data);

} // namespace orvik
