#include "screen/x11/X11OwnWindows.hpp"

#include "screen/CaptureExclusions.hpp"
#include "screen/x11/PixelRectMath.hpp"

namespace orvik::helper {
namespace {

// The root's child that `event` tells moved, restacked or went, if any.
Window changedBy(const XEvent& event) {
    switch (event.type) {
    case ConfigureNotify: return event.xconfigure.window;
    case UnmapNotify: return event.xunmap.window;
    case DestroyNotify: return event.xdestroywindow.window;
    case CirculateNotify: return event.xcirculate.window;
    case ReparentNotify: return event.xreparent.window;
    default: return None;
    }
}

} // namespace

X11OwnWindows::X11OwnWindows(X11Display& display)
    : display_(display), ownership_(display), repaints_(display), covering_(display) {
    // Also the root's own changes, for the capturer: its size, and RandR monitors set by clients, which are
    // announced only as the root's ConfigureNotify.
    XSelectInput(display_.get(), display_.root(), SubstructureNotifyMask | StructureNotifyMask);
    Display* handle = display_.get();
    vacated_.setScreen({0, 0, DisplayWidth(handle, display_.screen()), DisplayHeight(handle, display_.screen())});
}

void X11OwnWindows::handle(const XEvent& event, std::uint64_t now) {
    if (auto drawing = repaints_.handle(event)) {
        drew(*drawing);
        return;
    }
    // Only the server's own reports of the root's children: a client may send anything (XSendEvent).
    if (event.xany.send_event) return;
    // The copy of a move is reported before the server sends anything else.
    finishCopy();
    covering_.handle(event);
    restack(event);
    // Ours are forgotten once their leave has been noted, below.
    if (const Window changed = changedBy(event); changed != None && !shown_.contains(changed))
        hidden_.forgetBy(changed);
    const Window root = display_.root();
    switch (event.type) {
    case CreateNotify: {
        const auto& create = event.xcreatewindow;
        // An unmapped window shows nothing; a reused id is looked at afresh once the window is shown.
        known_.erase(create.window);
        covering_.forget(create.window);
        if (create.parent == root) {
            geometry_[create.window] = {create.x, create.y, create.width + 2 * create.border_width,
                                        create.height + 2 * create.border_width};
            unmappedInOrder_.insert(create.window);
        }
        break;
    }
    case MapNotify:
        if (event.xmap.event != root) return;
        mapped_.insert(event.xmap.window);
        unmappedInOrder_.erase(event.xmap.window);
        // A window is looked at afresh when it appears: its _NET_WM_PID and clients are set by then. Until then,
        // every place it holds is kept.
        reread_.insert(event.xmap.window);
        stale_ = true;
        mappedUnseen_.insert(event.xmap.window);
        // Drawings are followed from here, in case it is ours and leaves a place before it is looked at.
        repaints_.follow(true);
        break;
    case ReparentNotify:
        known_.erase(event.xreparent.window);
        known_.erase(event.xreparent.parent);
        if (event.xreparent.parent != root) geometry_.erase(event.xreparent.window);
        stale_ = true;
        break;
    case PropertyNotify:
        // The marker may be on a client inside a frame: look at every window afresh.
        if (event.xproperty.atom != display_.atom(CaptureExclusions::windowProperty)) return;
        known_.clear();
        stale_ = true;
        // A window no longer marked still shows what it showed marked until it has repainted.
        if (event.xproperty.state == PropertyDelete) {
            for (const auto& [window, place] : shown_) leave(place, now, window);
        }
        break;
    case ConfigureNotify: {
        const auto& configure = event.xconfigure;
        if (configure.window == root) {
            vacated_.setScreen({0, 0, configure.width, configure.height});
            return;
        }
        if (configure.event != root) return;
        const int border = configure.border_width;
        moved(configure.window, {configure.x, configure.y, configure.width + 2 * border, configure.height + 2 * border},
              now);
        break;
    }
    case GravityNotify: {
        const auto& gravity = event.xgravity;
        if (gravity.event != root) return;
        if (auto place = geometry_.find(gravity.window); place != geometry_.end()) {
            moved(gravity.window, {gravity.x, gravity.y, place->second.width, place->second.height}, now);
        }
        break;
    }
    case CirculateNotify:
        // Ours raised or lowered: what hid it may no longer, or more may.
        if (event.xcirculate.event == root) hidden_.forgetOf(event.xcirculate.window);
        break;
    case UnmapNotify:
        if (event.xunmap.event != root) return;
        mapped_.erase(event.xunmap.window);
        unmappedInOrder_.insert(event.xunmap.window);
        hidden(event.xunmap.window, now);
        break;
    case DestroyNotify:
        if (event.xdestroywindow.event != root) return;
        mapped_.erase(event.xdestroywindow.window);
        unmappedInOrder_.erase(event.xdestroywindow.window);
        hidden(event.xdestroywindow.window, now);
        known_.erase(event.xdestroywindow.window);
        geometry_.erase(event.xdestroywindow.window);
        covering_.forget(event.xdestroywindow.window);
        break;
    default: break;
    }
}

// Follows the stacking of the root's children. Events the last listing already showed are not applied again: a
// window placed relative to a sibling would land where that sibling was, not where it is.
void X11OwnWindows::restack(const XEvent& event) {
    if (event.xany.serial < stackedBy_) return;
    const Window root = display_.root();
    switch (event.type) {
    case CreateNotify:
        if (event.xcreatewindow.parent == root) stack_.raise(event.xcreatewindow.window);
        break;
    case ConfigureNotify:
        if (event.xconfigure.event == root && event.xconfigure.window != root)
            stack_.placeAbove(event.xconfigure.window, event.xconfigure.above);
        break;
    case CirculateNotify:
        if (event.xcirculate.event != root) break;
        if (event.xcirculate.place == PlaceOnTop) {
            stack_.raise(event.xcirculate.window);
        } else {
            stack_.lower(event.xcirculate.window);
        }
        break;
    case ReparentNotify:
        if (event.xreparent.event != root) break;
        if (event.xreparent.parent == root) {
            stack_.raise(event.xreparent.window);
        } else {
            stack_.remove(event.xreparent.window);
        }
        break;
    case DestroyNotify:
        if (event.xdestroywindow.event == root) stack_.remove(event.xdestroywindow.window);
        break;
    default: break;
    }
}

void X11OwnWindows::moved(Window window, const PixelRect& place, std::uint64_t now) {
    auto& known = geometry_[window];
    const PixelRect before = known;
    known = place;
    const bool placed = before.width > 0; // else nothing is known about what it held
    const bool shifted = before.x != place.x || before.y != place.y;
    if (placed && shifted && mapped_.contains(window) && !shown_.contains(window) && !vacated_.empty()) {
        copy_.emplace(before, place);
    }
    // Shown since the last look: if it is ours, the place it left may show it, repainted only by drawings from now.
    if (placed && mappedUnseen_.contains(window) && !encloses(place, before)) {
        vacated_.left(before, now, repaints_.compositing(), std::nullopt, window);
    }
    auto shown = shown_.find(window);
    if (shown == shown_.end()) return;
    if (!unmappedInOrder_.contains(window) && !encloses(place, shown->second)) leave(shown->second, now, window);
    shown->second = place;
    hidden_.forgetOf(window);
}

void X11OwnWindows::drew(const X11RepaintWatch::Drawing& drawing) {
    if (!copy_) {
        vacated_.repainted(drawing.area);
        return;
    }
    copy_->add(drawing.area, vacated_);
    if (drawing.last) finishCopy();
}

void X11OwnWindows::finishCopy() {
    if (!copy_) return;
    copy_->finish(vacated_);
    copy_.reset();
}

void X11OwnWindows::hidden(Window window, std::uint64_t now) {
    if (auto shown = shown_.find(window); shown != shown_.end()) {
        leave(shown->second, now, window);
        hidden_.forgetOf(window);
        shown_.erase(shown);
        pictures_.erase(window);
        followRepaints();
        return;
    }
    if (!mappedUnseen_.erase(window)) return;
    // Shown and hidden again before it was looked at: if it is ours, every place it held may show it.
    // As it was last looked at, so a window shown and hidden again and again costs no round trip.
    auto known = known_.find(window);
    if (known == known_.end()) known = known_.emplace(window, ownership_.of(window)).first;
    if (!known->second.ours()) {
        vacated_.forget(window);
        return;
    }
    vacated_.confirm(window);
    repaints_.follow(true);
    if (auto place = geometry_.find(window); place != geometry_.end()) {
        leave(place->second, now);
    } else if (auto attributes = placeOf(window)) {
        leave(attributes->rect, now);
    }
}

void X11OwnWindows::leave(const PixelRect& place, std::uint64_t now, Window window) {
    std::optional<PlacePicture> shown;
    if (auto picture = pictures_.find(window); picture != pictures_.end()) shown = picture->second;
    vacated_.left(place, now, repaints_.compositing(), std::move(shown), 0, hidden_.of(window));
}

void X11OwnWindows::lookedAt(const std::uint8_t* pixels, int stride, const PixelRect& area, std::uint64_t now) {
    std::vector<PixelRect> blackedOut;
    for (const auto& [window, place] : shown_) blackedOut.push_back(place);
    vacated_.lookedAt(pixels, stride, area, now, blackedOut);
    hidden_.clear();
    for (const auto& [window, place] : shown_) findHidden(window, place, pixels, stride, area);
    pictures_.clear();
    if (!repaints_.compositing()) return;
    for (const auto& [window, place] : shown_) {
        if (auto picture = PlacePicture::of(pixels, stride, area, place))
            pictures_.emplace(window, std::move(*picture));
    }
}

void X11OwnWindows::findHidden(Window window, const PixelRect& place, const std::uint8_t* pixels, int stride,
                               const PixelRect& area) {
    for (Window above : stack_.above(window)) {
        // Ours are black anyway.
        if (shown_.contains(above) || !mapped_.contains(above)) continue;
        auto where = geometry_.find(above);
        if (where == geometry_.end()) continue;
        if (auto part = covering_.hidden(above, where->second, place, pixels, stride, area, repaints_.compositing()))
            hidden_.add(window, above, *part);
    }
}

std::optional<X11OwnWindows::Place> X11OwnWindows::placeOf(Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_.get(), window, &attributes)) return std::nullopt;
    const int border = attributes.border_width;
    return Place{{attributes.x, attributes.y, attributes.width + 2 * border, attributes.height + 2 * border},
                 attributes.map_state == IsViewable};
}

std::vector<PixelRect> X11OwnWindows::places(std::uint64_t now) const {
    auto result = vacated_.pieces(now);
    if (copy_) result.insert(result.end(), copy_->carried().begin(), copy_->carried().end());
    for (const auto& [window, place] : shown_) {
        const auto shown = hidden_.shownOf(window, place);
        result.insert(result.end(), shown.begin(), shown.end());
    }
    return result;
}

bool X11OwnWindows::settle(std::uint64_t now) {
    const bool settled = vacated_.settle(now);
    followRepaints();
    return settled;
}

void X11OwnWindows::followRepaints() {
    repaints_.follow(!shown_.empty() || !vacated_.empty());
}

void X11OwnWindows::refresh(std::uint64_t now) {
    stale_ = false;
    // Drawings are followed before any of our windows is looked at, so every drawing after it leaves is told.
    repaints_.follow(true);
    auto before = std::move(shown_);
    shown_.clear();
    std::unordered_map<Window, X11WindowOwnership::Marks> current;
    stackedBy_ = NextRequest(display_.get());
    const auto tops = ownership_.children(display_.root());
    stack_.reset(tops);
    for (Window top : tops) {
        auto found = known_.find(top);
        const auto marks = found != known_.end() && !reread_.contains(top) ? found->second : ownership_.of(top);
        current.emplace(top, marks);
        // Where the others are is followed from here on, to know what a move of theirs carries along.
        if (!marks.ours() && geometry_.contains(top)) continue;
        const auto place = placeOf(top);
        if (place) geometry_[top] = place->rect;
        if (place && place->viewable) mapped_.insert(top);
        if (!marks.ours()) continue;
        if (place && place->viewable) shown_.emplace(top, place->rect);
        // Shown since the last look and hidden again meanwhile.
        if (mappedUnseen_.contains(top) && place && !place->viewable) leave(place->rect, now);
    }
    // The places left by the windows shown since the last look are kept only for ours.
    for (Window window : mappedUnseen_) {
        auto marks = current.find(window);
        const bool ours = marks != current.end() ? marks->second.ours() : ownership_.of(window).ours();
        if (ours) {
            vacated_.confirm(window);
        } else {
            vacated_.forget(window);
        }
    }
    // Hidden, moved or gone while the list was read (one no longer marked was left when its marker went).
    for (const auto& [window, place] : before) {
        auto shown = shown_.find(window);
        auto marks = current.find(window);
        const bool unmarked = marks != current.end() && !marks->second.ours();
        if (!unmarked && (shown == shown_.end() || !encloses(shown->second, place))) leave(place, now, window);
    }
    known_ = std::move(current);
    mappedUnseen_.clear();
    reread_.clear();
    followRepaints();
}

} // namespace orvik::helper
