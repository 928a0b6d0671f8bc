#include "screen/x11/CaptureExclusions.hpp"

#include <algorithm>

namespace orvik::helper {

CaptureExclusions::State& CaptureExclusions::state() {
    static auto* instance = new State; // never destroyed: windows may be removed during static destruction
    return *instance;
}

void CaptureExclusions::add(std::uint64_t window) {
    auto& shared = state();
    std::lock_guard lock(shared.mutex);
    shared.windows.push_back(window);
    ++shared.generation;
}

void CaptureExclusions::remove(std::uint64_t window) {
    auto& shared = state();
    std::lock_guard lock(shared.mutex);
    if (auto found = std::find(shared.windows.begin(), shared.windows.end(), window); found != shared.windows.end()) {
        shared.windows.erase(found);
    }
    ++shared.generation;
}

bool CaptureExclusions::contains(std::uint64_t window) {
    auto& shared = state();
    std::lock_guard lock(shared.mutex);
    return std::find(shared.windows.begin(), shared.windows.end(), window) != shared.windows.end();
}

std::uint64_t CaptureExclusions::generation() {
    auto& shared = state();
    std::lock_guard lock(shared.mutex);
    return shared.generation;
}

} // namespace orvik::helper
