#include "injection/x11/X11SpareKeycodes.hpp"

#include <algorithm>
#include <limits>

namespace orvik::helper {
namespace {

constexpr double never = -std::numeric_limits<double>::infinity();

void earliest(std::optional<double>& current, double candidate) {
    if (!current || candidate < *current) current = candidate;
}

} // namespace

double X11SpareKeycodes::Spare::latest() const {
    double result = never;
    for (std::size_t level = 0; level < levels; ++level) {
        if (keysyms[level] != 0) result = std::max(result, lastUse[level]);
    }
    return result;
}

void X11SpareKeycodes::add(std::uint8_t keycode) {
    if (!contains(keycode)) spares_.push_back({keycode, {}, {never, never}, 0});
}

X11SpareKeycodes::Spare* X11SpareKeycodes::find(std::uint8_t keycode) {
    auto found = std::find_if(spares_.begin(), spares_.end(),
                              [keycode](const Spare& spare) { return spare.keycode == keycode; });
    return found == spares_.end() ? nullptr : &*found;
}

const X11SpareKeycodes::Spare* X11SpareKeycodes::find(std::uint8_t keycode) const {
    return const_cast<X11SpareKeycodes*>(this)->find(keycode);
}

bool X11SpareKeycodes::contains(std::uint8_t keycode) const {
    return find(keycode) != nullptr;
}

std::vector<std::uint8_t> X11SpareKeycodes::keycodes() const {
    std::vector<std::uint8_t> result;
    for (const auto& spare : spares_) result.push_back(spare.keycode);
    return result;
}

// A level without a keysym of its own repeats the other: a group with one symbol would be read by the server as
// a letter's two cases, and a Shift level left empty would type nothing.
X11SpareKeycodes::Levels X11SpareKeycodes::binding(std::uint8_t keycode) const {
    const auto* spare = find(keycode);
    if (!spare) return {};
    auto levels = spare->keysyms;
    if (levels[0] == 0) levels[0] = levels[1];
    if (levels[1] == 0) levels[1] = levels[0];
    return levels;
}

bool X11SpareKeycodes::isFree(const Spare& spare, std::size_t level, double now) {
    return spare.held == 0 && (spare.keysyms[level] == 0 || now >= spare.lastUse[level] + reuseDelay);
}

void X11SpareKeycodes::unbind(Spare& spare) {
    spare.keysyms = {};
    spare.lastUse = {never, never};
}

// Every plain level is lent before the first Shift level, so short texts need no Shift.
std::optional<X11SpareKeycodes::Lease> X11SpareKeycodes::leaseLevel(std::uint32_t keysym, double now) {
    for (const auto& spare : spares_) {
        for (std::size_t level = 0; level < levels && spare.held == 0; ++level) {
            if (spare.keysyms[level] == keysym) return Lease{spare.keycode, level, false};
        }
    }
    Spare* oldest = nullptr;
    std::size_t oldestLevel = 0;
    for (std::size_t level = 0; level < levels; ++level) {
        for (auto& spare : spares_) {
            if (isFree(spare, level, now) && (!oldest || spare.lastUse[level] < oldest->lastUse[oldestLevel])) {
                oldest = &spare;
                oldestLevel = level;
            }
        }
    }
    if (!oldest) return std::nullopt;
    oldest->keysyms[oldestLevel] = keysym;
    oldest->lastUse[oldestLevel] = now;
    return Lease{oldest->keycode, oldestLevel, true};
}

std::optional<X11SpareKeycodes::Lease> X11SpareKeycodes::leaseKey(std::uint32_t keysym, double now) {
    Spare* oldest = nullptr;
    for (auto& spare : spares_) {
        if (spare.held == 0 && spare.keysyms == Levels{keysym, keysym}) return Lease{spare.keycode, 0, false};
        bool free = isFree(spare, 0, now) && isFree(spare, 1, now);
        if (free && (!oldest || spare.latest() < oldest->latest())) oldest = &spare;
    }
    if (!oldest) return std::nullopt;
    oldest->keysyms = {keysym, keysym};
    oldest->lastUse = {now, now};
    return Lease{oldest->keycode, 0, true};
}

bool X11SpareKeycodes::canEverLease() const {
    return std::any_of(spares_.begin(), spares_.end(), [](const Spare& spare) { return spare.held == 0; });
}

void X11SpareKeycodes::used(std::uint8_t keycode, std::size_t level, double now) {
    if (auto* spare = find(keycode); spare && level < levels) spare->lastUse[level] = now;
}

void X11SpareKeycodes::pressed(std::uint8_t keycode) {
    if (auto* spare = find(keycode)) ++spare->held;
}

void X11SpareKeycodes::released(std::uint8_t keycode, double now) {
    if (auto* spare = find(keycode)) {
        spare->held = std::max(0, spare->held - 1);
        spare->lastUse = {now, now};
    }
}

std::vector<std::uint8_t> X11SpareKeycodes::takeIdle(double now) {
    std::vector<std::uint8_t> idle;
    for (auto& spare : spares_) {
        if (spare.isBound() && spare.held == 0 && now >= spare.latest() + giveBackDelay) {
            unbind(spare);
            idle.push_back(spare.keycode);
        }
    }
    return idle;
}

std::vector<std::uint8_t> X11SpareKeycodes::takeAllBound() {
    std::vector<std::uint8_t> bound;
    for (auto& spare : spares_) {
        if (spare.isBound()) {
            unbind(spare);
            spare.held = 0;
            bound.push_back(spare.keycode);
        }
    }
    return bound;
}

std::optional<double> X11SpareKeycodes::nextFree(bool wholeKey) const {
    std::optional<double> next;
    for (const auto& spare : spares_) {
        if (spare.held > 0) continue;
        if (wholeKey) {
            earliest(next, spare.latest() + reuseDelay);
            continue;
        }
        for (std::size_t level = 0; level < levels; ++level) {
            earliest(next, spare.keysyms[level] == 0 ? never : spare.lastUse[level] + reuseDelay);
        }
    }
    return next;
}

std::optional<double> X11SpareKeycodes::nextIdle() const {
    std::optional<double> next;
    for (const auto& spare : spares_) {
        if (spare.isBound() && spare.held == 0) earliest(next, spare.latest() + giveBackDelay);
    }
    return next;
}

std::optional<double> X11SpareKeycodes::latestUse() const {
    std::optional<double> latest;
    for (const auto& spare : spares_) {
        if (spare.isBound() && (!latest || spare.latest() > *latest)) latest = spare.latest();
    }
    return latest;
}

void X11SpareKeycodes::reconcile(std::uint8_t keycode, std::optional<Levels> onServer) {
    auto* spare = find(keycode);
    if (!spare || onServer == binding(keycode)) return;
    if (onServer == Levels{} && spare->held == 0) {
        unbind(*spare); // given back by someone else; still ours to lend
        return;
    }
    std::erase_if(spares_, [keycode](const Spare& candidate) { return candidate.keycode == keycode; });
}

} // namespace orvik::helper
