// Key combination text: never crashes; a parsed combination prints text that parses back to it, and the JSON
// reader throws nothing but DecodingError.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/keys/KeyComboJson.hpp"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto combo = orvik::KeyCombo::parse(text);
    if (combo && orvik::KeyCombo::parse(combo->text()) != combo) std::abort();
    try {
        auto fromJson = orvik::keyComboFromJson(nlohmann::json(text));
        if (!combo || fromJson != *combo) std::abort();
    } catch (const orvik::DecodingError&) {
        if (combo) std::abort();
    }
    return 0;
}
