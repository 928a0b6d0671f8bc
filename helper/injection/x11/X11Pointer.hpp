#pragma once

#include "injection/DisplayRect.hpp"
#include "injection/x11/X11WheelAccumulator.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
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

    // Input placed from a pointer position that proved out of date is replayed: the caller placed its last event at
    // `placed`, which put the pointer really at `real`; each next event goes as far from there as the caller placed
    // it from `placed`.
    struct Replay {
        DisplayPoint placed;
        DisplayPoint real;
    };

    // Puts the pointer at `location` in root-window pixels (where a button goes), or where its replay takes it;
    // non-finite positions are not posted.
    void moveTo(DisplayPoint location);
    // Motion to `location`, or where its replay takes it, kept on the displays as the input controller keeps its
    // own motion.
    void move(DisplayPoint location);
    // Absent: input goes where it was placed.
    void replay(std::optional<Replay> replay) { replay_ = replay; }
    // Where the replayed input has left the pointer.
    const std::optional<Replay>& replayed() const { return replay_; }
    // The monitors' bounds, which replayed motion stays on.
    void setDisplays(std::vector<DisplayRect> displays) { displays_ = std::move(displays); }
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

    DisplayPoint advanceReplay(DisplayPoint location, bool keepOnDisplays);
    void post(DisplayPoint location);

    Display* display_;
    std::optional<Replay> replay_;
    std::vector<DisplayRect> displays_;
    bool mappingStale_ = true;
    std::vector<unsigned char> mapping_; // index: physical button - 1, value: logical button
    // Buttons held down: logical → the physical button pressed for it, released as pressed even if the
    // mapping changes meanwhile.
    std::map<unsigned, unsigned> held_;
    X11WheelAccumulator wheel_;
};

} // namespace orvik::helper
