#pragma once

#include "injection/DisplayRect.hpp"
#include "orvik/protocol/keys/ModifierFlags.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace orvik::helper {

enum class MouseEventKind {
    moved,   // pointer motion with no button held
    down,    // a button goes down
    up,      // a button goes up
    dragged, // pointer motion while a button is held
};

// Where the pointer is, as a sink can tell without waiting for the desktop.
struct CursorReading {
    DisplayPoint location;
    // False while the sink still asks the desktop: `location` is then the place it last knew, and the mouse events
    // posted meanwhile, placed from it, are replayed from the pointer's real place (each as far from the last as the
    // caller placed it, motion kept on the displays), until the caller takes the real place
    // (InputSink::settledCursorLocation) or places the pointer itself (InputSink::forgetCursorReading).
    bool settled = true;

    friend bool operator==(const CursorReading&, const CursorReading&) = default;
};

// The narrow interface between input semantics and the desktop's event machinery: each posting call becomes
// one synthetic event. Positions and bounds are in the global display space (see DisplayRect.hpp). Nothing
// here throws or reports a status; an event that cannot be made is dropped. Implementations need not be
// thread-safe: the input controller calls them from the server thread only.
class InputSink {
public:
    virtual ~InputSink() = default;

    // The pointer's current location, answered without waiting for the desktop.
    virtual CursorReading cursorLocation() const = 0;
    // After an unsettled reading: the real place once the desktop has answered and the events placed from the
    // reading have been replayed, else absent. Asks nothing; mouse events posted from here on are placed where they
    // say.
    virtual std::optional<DisplayPoint> settledCursorLocation() const { return std::nullopt; }
    // After an unsettled reading: the caller placed the pointer itself (an absolute move follows), so mouse events
    // posted from here on land where they say. Asks nothing.
    virtual void forgetCursorReading() {}
    // The bounds of every active display, in the display list's order (primary first, then by position).
    virtual std::vector<DisplayRect> displayBounds() const = 0;
    // The bounds of the display with this identifier; absent when it names no active display.
    virtual std::optional<DisplayRect> displayBounds(std::uint32_t displayID) const = 0;

    // One mouse event of `kind` at `location`. `button` is absent for plain motion. `clickCount` (1 single,
    // 2 double, 3 triple) matters for down and up; moves carry 0. `delta` is the motion actually applied.
    virtual void postMouse(MouseEventKind kind, std::optional<MouseButton> button, DisplayPoint location,
                           int clickCount, DisplayVector delta) = 0;
    // One scroll event of whole pixels with the gesture's phases (both `none` for a plain wheel step). The
    // signs are the phone's, which follow the Mac's wheel: positive dy scrolls up, positive dx scrolls left.
    virtual void postScroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase, MomentumPhase momentum) = 0;
    // One key down or up of a Mac virtual key code, carrying exactly `flags` as the held modifiers.
    virtual void postKey(std::uint16_t keyCode, bool isDown, ModifierFlags flags) = 0;
    // One modifier key (its Mac virtual key code) changes state; `flags` is the complete modifier set in
    // force after the change, so a release is a change whose flags lack that key's modifier.
    virtual void postModifierChange(std::uint16_t keyCode, ModifierFlags flags) = 0;
    // One keyboard event whose text is these UTF-16 units (possibly ill-formed, possibly empty).
    virtual void postUnicode(std::u16string_view units, bool isDown) = 0;
    // One media-key press or release; codes are those of MediaKeyEncoding.
    virtual void postMediaKey(std::int32_t code, bool isDown) = 0;

    // Whether secure keyboard entry is on (typed input would not reach the user's application).
    virtual bool isSecureInputEnabled() const = 0;
    // The longest gap, in seconds, between clicks that still continues a multi-click.
    virtual double doubleClickInterval() const = 0;
};

} // namespace orvik::helper
