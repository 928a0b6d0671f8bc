#include "PrintingSink.hpp"

namespace orvik::testserver {

void PrintingSink::postMouse(helper::MouseEventKind kind, std::optional<MouseButton> button,
                             helper::DisplayPoint location, int clickCount, helper::DisplayVector delta) {
    recording_.postMouse(kind, button, location, clickCount, delta);
    // The recording sink keeps no cursor of its own: follow the pointer as a desktop would.
    recording_.setCursor(location);
    flush();
}

void PrintingSink::postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) {
    recording_.postScroll(dx, dy, phase, momentum);
    flush();
}

void PrintingSink::postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) {
    recording_.postKey(keyCode, isDown, flags);
    flush();
}

void PrintingSink::postModifierChange(std::uint16_t keyCode, ModifierFlags flags) {
    recording_.postModifierChange(keyCode, flags);
    flush();
}

void PrintingSink::postUnicode(std::u16string_view units, bool isDown) {
    recording_.postUnicode(units, isDown);
    flush();
}

void PrintingSink::postMediaKey(std::int32_t code, bool isDown) {
    recording_.postMediaKey(code, isDown);
    flush();
}

void PrintingSink::flush() {
    for (const auto& input : recording_.events()) output_.input(input);
    recording_.clearEvents();
}

} // namespace orvik::testserver
