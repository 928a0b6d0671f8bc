#include "app/WindowRegistry.hpp"

#include "core/Log.hpp"

#include <algorithm>
#include <vector>

namespace orvik::helper {

void WindowRegistry::registerWindow(std::string_view windowID, Factory factory) {
    entries_[std::string(windowID)].factory = std::move(factory);
}

void WindowRegistry::open(std::string_view windowID) {
    auto found = entries_.find(windowID);
    if (found == entries_.end() || !found->second.factory) {
        Log::error("App", "No window named " + std::string(windowID));
        return;
    }
    auto& entry = found->second;
    if (!entry.window) {
        entry.window = entry.factory();
        entry.window->setAttribute(Qt::WA_DeleteOnClose);
    }
    entry.openedAt = ++openings_;
    bringForward(*entry.window);
}

bool WindowRegistry::raiseOpen() {
    std::vector<const Entry*> open;
    for (const auto& [id, entry] : entries_) {
        if (entry.window) open.push_back(&entry);
    }
    std::sort(open.begin(), open.end(), [](const Entry* a, const Entry* b) { return a->openedAt < b->openedAt; });
    for (const Entry* entry : open) bringForward(*entry->window);
    return !open.empty();
}

void WindowRegistry::bringForward(QWidget& window) {
    // A minimised window comes back as it was; an open one is only raised.
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void WindowRegistry::close(std::string_view windowID) {
    if (auto* open = window(windowID)) open->close();
}

QWidget* WindowRegistry::window(std::string_view windowID) const {
    auto found = entries_.find(windowID);
    return found == entries_.end() ? nullptr : found->second.window.data();
}

} // namespace orvik::helper
