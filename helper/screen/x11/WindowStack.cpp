#include "screen/x11/WindowStack.hpp"

#include <algorithm>

namespace orvik::helper {

void WindowStack::placeAbove(Id window, Id sibling) {
    remove(window);
    auto below = std::find(order_.begin(), order_.end(), sibling);
    order_.insert(below == order_.end() ? order_.begin() : std::next(below), window);
}

void WindowStack::raise(Id window) {
    remove(window);
    order_.push_back(window);
}

void WindowStack::lower(Id window) {
    remove(window);
    order_.insert(order_.begin(), window);
}

void WindowStack::remove(Id window) {
    std::erase(order_, window);
}

std::vector<WindowStack::Id> WindowStack::above(Id window) const {
    auto found = std::find(order_.begin(), order_.end(), window);
    if (found == order_.end()) return {};
    return {std::next(found), order_.end()};
}

} // namespace orvik::helper
