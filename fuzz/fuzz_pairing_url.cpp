// Pairing URL: parsing never crashes and a parsed payload prints a URL that parses to the same payload; a URL
// printed for any name and host stays readable.
#include "orvik/protocol/pairing/PairingPayload.hpp"

#include <cstdlib>
#include <string_view>

namespace {

void checkParsedRoundTrip(std::string_view text) {
    auto payload = orvik::PairingPayload::parse(text);
    if (payload && orvik::PairingPayload::parse(payload->url()) != payload) std::abort();
}

void checkPrintedUrlIsReadable(std::string_view text) {
    orvik::PairingPayload payload{orvik::Uuid(),
                                  std::string(text),
                                  {{std::string(text), 1}, {"10.0.0.1", 2}},
                                  orvik::Bytes(orvik::PairingPayload::secretLength, 0xA5)};
    auto parsed = orvik::PairingPayload::parse(payload.url());
    if (!parsed || parsed->addresses.empty() || parsed->addresses.back() != payload.addresses.back()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    checkParsedRoundTrip(text);
    checkPrintedUrlIsReadable(text);
    return 0;
}
