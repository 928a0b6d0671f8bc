#include "injection/x11/X11Pointer.hpp"

#include "injection/DisplayGeometry.hpp"

#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvik::helper {
namespace {

// The protocol allows up to 255 physical buttons.
constexpr int maxButtons = 255;

} // namespace

X11Pointer::X11Pointer(Display* display) : display_(display) {}

unsigned X11Pointer::logicalButton(MouseButton button) {
    switch (button) {
    case MouseButton::left: return 1;
    case MouseButton::middle: return 2;
    case MouseButton::right: return 3;
    }
    return 1;
}

std::optional<unsigned> X11Pointer::physicalButton(unsigned logical) {
    if (mappingStale_) {
        mappingStale_ = false;
        unsigned char map[maxButtons] = {};
        int count = XGetPointerMapping(display_, map, maxButtons);
        mapping_.assign(map, map + std::clamp(count, 0, maxButtons));
    }
    for (std::size_t index = 0; index < mapping_.size(); ++index) {
        if (mapping_[index] == logical) return static_cast<unsigned>(index + 1);
    }
    return std::nullopt; // the pointer has no such button, or it is switched off
}

void X11Pointer::moveTo(DisplayPoint location) {
    post(advanceReplay(location, false));
}

void X11Pointer::move(DisplayPoint location) {
    post(advanceReplay(location, true));
}

DisplayPoint X11Pointer::advanceReplay(DisplayPoint location, bool keepOnDisplays) {
    if (!replay_) return location;
    const DisplayPoint from = replay_->real;
    DisplayPoint to{from.x + location.x - replay_->placed.x, from.y + location.y - replay_->placed.y};
    if (keepOnDisplays) to = DisplayGeometry::clamp(to, from, displays_);
    replay_ = Replay{location, to};
    return to;
}

void X11Pointer::post(DisplayPoint location) {
    if (!std::isfinite(location.x) || !std::isfinite(location.y)) return;
    auto pixelX = static_cast<int>(std::lround(std::clamp(location.x, minCoordinate, maxCoordinate)));
    auto pixelY = static_cast<int>(std::lround(std::clamp(location.y, minCoordinate, maxCoordinate)));
    XTestFakeMotionEvent(display_, -1, pixelX, pixelY, CurrentTime);
}

void X11Pointer::button(MouseButton button, bool isDown) {
    auto logical = logicalButton(button);
    auto held = held_.find(logical);
    std::optional<unsigned> physical = held != held_.end() ? std::optional(held->second) : physicalButton(logical);
    if (!physical) return;
    XTestFakeButtonEvent(display_, *physical, isDown ? True : False, CurrentTime);
    if (isDown) {
        held_[logical] = *physical;
    } else if (held != held_.end()) {
        held_.erase(held);
    }
}

void X11Pointer::scroll(std::int32_t dx, std::int32_t dy, ScrollPhase phase) {
    auto clicks = wheel_.add(dx, dy, phase);
    click(clicks.vertical > 0 ? wheelUp : wheelDown, std::abs(clicks.vertical));
    click(clicks.horizontal > 0 ? wheelLeft : wheelRight, std::abs(clicks.horizontal));
}

void X11Pointer::click(unsigned logical, int count) {
    if (count == 0) return;
    auto physical = physicalButton(logical);
    if (!physical) return;
    for (int index = 0; index < count; ++index) {
        XTestFakeButtonEvent(display_, *physical, True, CurrentTime);
        XTestFakeButtonEvent(display_, *physical, False, CurrentTime);
    }
}

void X11Pointer::releaseEverything() {
    for (const auto& [logical, physical] : held_) XTestFakeButtonEvent(display_, physical, False, CurrentTime);
    held_.clear();
}

} // namespace orvik::helper
