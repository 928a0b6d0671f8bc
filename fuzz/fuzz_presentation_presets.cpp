// The presentation presets file: its reader accepts a file or throws, never crashes; what it accepts answers
// every program and action with combinations whose text parses back to them.
#include "system/PresentationPresets.hpp"

#include "orvik/protocol/messages/CaseNames.hpp"

#include <cstdlib>
#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvik::helper::PresentationPresets;
    PresentationPresets presets;
    try {
        presets = PresentationPresets::load(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
        return 0;
    }
    for (const auto& [action, actionName] : orvik::CaseNames<orvik::PresentationAction>::table) {
        for (const auto& [app, appName] : orvik::CaseNames<orvik::PresentationApp>::table) {
            for (const auto& combo : presets.combos(action, app)) {
                if (orvik::KeyCombo::parse(combo.text()) != combo) std::abort();
            }
        }
    }
    return 0;
}
