#include "injection/x11/X11SpareKeycodes.hpp"

#include <algorithm>
#include <limits>

namespace orvik::helper {

void X11SpareKeycodes::assign(std::vector<std::uint8_t> keycodes) {
    spares_.clear();
    for (auto keycode : keycodes) spares_.push_back({keycode, 0, -std::numeric_limits<double>::infinity(), 0});
}

bool X11SpareKeycodes::contains(std::uint8_t keycode) const {
    return std::any_of(spares_.begin(), spares_.end(),
                       [keycode](const Spare& spare) { return spare.keycode == keycode; });
}

std::vector<std::uint8_t> X11SpareKeycodes::keycodes() const {
    std::vector<std::uint8_t> result;
    for (const auto& spare : spares_) result.push_back(spare.keycode);
    return result;
}

X11SpareKeycodes::Spare* X11SpareKeycodes::find(std::uint8_t keycode) {
    auto found = std::find_if(spares_.begin(), spares_.end(),
                              [keycode](const Spare& spare) { return spare.keycode == keycode; });
    return found == spares_.end() ? nullptr : &*found;
}

bool X11SpareKeycodes::isFree(const Spare& spare, double now) const {
    return spare.held == 0 && (spare.keysym == 0 || now >= spare.lastUse + restoreDelay);
}

std::optional<X11SpareKeycodes::Lease> X11SpareKeycodes::lease(std::uint32_t keysym, double now) {
    for (const auto& spare : spares_) {
        if (spare.keysym == keysym) return Lease{spare.keycode, false};
    }
    Spare* oldest = nullptr;
    for (auto& spare : spares_) {
        if (isFree(spare, now) && (!oldest || spare.lastUse < oldest->lastUse)) oldest = &spare;
    }
    if (!oldest) return std::nullopt;
    oldest->keysym = keysym;
    oldest->lastUse = now;
    return Lease{oldest->keycode, true};
}

bool X11SpareKeycodes::canEverLease() const {
    return std::any_of(spares_.begin(), spares_.end(), [](const Spare& spare) { return spare.held == 0; });
}

void X11SpareKeycodes::used(std::uint8_t keycode, double now) {
    if (auto* spare = find(keycode)) spare->lastUse = now;
}

void X11SpareKeycodes::pressed(std::uint8_t keycode) {
    if (auto* spare = find(keycode)) ++spare->held;
}

void X11SpareKeycodes::released(std::uint8_t keycode, double now) {
    if (auto* spare = find(keycode)) {
        spare->held = std::max(0, spare->held - 1);
        spare->lastUse = now;
    }
}

std::vector<std::uint8_t> X11SpareKeycodes::takeDue(double now) {
    std::vector<std::uint8_t> due;
    for (auto& spare : spares_) {
        if (spare.keysym != 0 && isFree(spare, now)) {
            spare.keysym = 0;
            due.push_back(spare.keycode);
        }
    }
    return due;
}

std::vector<std::uint8_t> X11SpareKeycodes::takeAllBound() {
    std::vector<std::uint8_t> bound;
    for (auto& spare : spares_) {
        if (spare.keysym != 0) {
            spare.keysym = 0;
            spare.held = 0;
            bound.push_back(spare.keycode);
        }
    }
    return bound;
}

std::optional<double> X11SpareKeycodes::nextDeadline() const {
    std::optional<double> deadline;
    for (const auto& spare : spares_) {
        if (spare.keysym == 0 || spare.held > 0) continue;
        double due = spare.lastUse + restoreDelay;
        if (!deadline || due < *deadline) deadline = due;
    }
    return deadline;
}

std::optional<double> X11SpareKeycodes::latestUse() const {
    std::optional<double> latest;
    for (const auto& spare : spares_) {
        if (spare.keysym != 0 && (!latest || spare.lastUse > *latest)) latest = spare.lastUse;
    }
    return latest;
}

void X11SpareKeycodes::reconcile(std::uint8_t keycode, std::uint32_t keysym) {
    auto* spare = find(keycode);
    if (!spare || spare->keysym == keysym) return;
    if (keysym == 0 && spare->held == 0) {
        spare->keysym = 0; // given back by someone else; still ours to lend
        return;
    }
    std::erase_if(spares_, [keycode](const Spare& candidate) { return candidate.keycode == keycode; });
}

} // namespace orvik::helper
