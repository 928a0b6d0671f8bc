// Manual code parsing: never crashes, and a parsed code formats to text that parses to the same code.
#include "orvik/protocol/pairing/ManualPairingCode.hpp"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto code = orvik::ManualPairingCode::parse(text);
    if (!code) return 0;
    auto formatted = code->formatted();
    if (formatted.size() != 29 || orvik::ManualPairingCode::parse(formatted) != code) std::abort();
    return 0;
}
