// Host-and-port text: never crashes, and a parsed value's description parses to the same value.
#include "orvik/protocol/pairing/HostPort.hpp"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto value = orvik::HostPort::parse(text);
    if (value && orvik::HostPort::parse(value->description()) != value) std::abort();
    return 0;
}
