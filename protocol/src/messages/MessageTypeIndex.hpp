#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orvik {

// The variant index in OrvikMessage of the message with this type code; absent for a code that names none.
std::optional<std::size_t> caseIndex(std::uint16_t raw);

} // namespace orvik
