#pragma once

#include "injection/x11/X11WheelAccumulator.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace orvik::helper {

// Posts pointer motion, buttons and wheel clicks through XTest on the sink's connection, on the sink's X thread
// only.
//
// XTest presses physical buttons, which the server maps through the user's pointer mapping (a left-handed
// setup swaps 1 and 3); the pointer posts the physical button that the mapping turns into the wanted logical one.
class X11Pointer {
public:
    explicit X11Pointer(Display* display);

    // Root-window coordinates are 16-bit on the wire; positions outside are clamped first.
    static constexpr double minCoordinate = -32768;
    static constexpr double maxCoordinate = 32767;

    // Moves to (x, y) in root-window pixels, moved by the shift below; non-finite positions are not posted.
    void moveTo(double x, double y);
    // How far the positions given to moveTo are moved: they were placed from a pointer position that proved out of
    // date.
    void shiftMoves(double dx, double dy) {
        shiftX_ = dx;
        shiftY_ = dy;
    }
    void button(MouseButton button, bool isDown);
    void scroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase);

    // The server's pointer mapping changed (MappingNotify).
    void mappingChanged() { mappingStale_ = true; }
    void releaseEverything();

    // Logical wheel buttons.
    static constexpr unsigned wheelUp = 4;
    static constexpr unsigned wheelDown = 5;
    static constexpr unsigned wheelLeft = 6;
    static constexpr unsigned wheelRight = 7;

private:
    static unsigned logicalButton(MouseButton button);
    std::optional<unsigned> physicalButton(unsigned logical);
    void click(unsigned logical, int count);

    Display* display_;
    double shiftX_ = 0;
    double shiftY_ = 0;
    bool mappingStale_ = true;
    std::vector<unsigned char> mapping_; // index: physical button - 1, value: logical button
    // Buttons held down: logical → the physical button pressed for it, released as pressed even if the
    // mapping changes meanwhile.
    std::map<unsigned, unsigned> held_;
    X11WheelAccumulator wheel_;
};

} // namespace orvik::helper
