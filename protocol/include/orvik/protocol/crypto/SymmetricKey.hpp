#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

// A 256-bit key: what every derivation of the protocol produces and what TLS uses as a pre-shared key.
class SymmetricKey {
public:
    static constexpr std::size_t length = 32;
    using Storage = std::array<std::uint8_t, length>;

    explicit SymmetricKey(const Storage& bytes) : bytes_(bytes) {}

    // Present exactly when the bytes are 32 long.
    static std::optional<SymmetricKey> fromBytes(ByteView bytes);

    const Storage& storage() const { return bytes_; }
    ByteView view() const { return {bytes_.data(), bytes_.size()}; }
    Bytes bytes() const { return {bytes_.begin(), bytes_.end()}; }

    friend bool operator==(const SymmetricKey&, const SymmetricKey&) = default;

private:
    Storage bytes_;
};

} // namespace orvik
