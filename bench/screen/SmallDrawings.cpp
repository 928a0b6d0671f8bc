#include "SmallDrawings.hpp"

#include <X11/Xlib.h>

namespace orvik::bench {
namespace {

constexpr int size = 4;
// Drawings sent before each wait for the server: enough to keep it busy, few enough to stop promptly.
constexpr std::size_t batch = 2'000;

} // namespace

SmallDrawings::SmallDrawings(const std::string& displayName) : thread_([this, displayName] { run(displayName); }) {}

SmallDrawings::~SmallDrawings() {
    stop();
}

std::size_t SmallDrawings::stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return drawn_;
}

void SmallDrawings::run(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) return;
    const auto width = static_cast<unsigned long>(DisplayWidth(display, 0) - size);
    const auto height = static_cast<unsigned long>(DisplayHeight(display, 0) - size);
    const Window root = DefaultRootWindow(display);
    XGCValues values{};
    values.subwindow_mode = IncludeInferiors; // over whatever shows, as drawings in any window would be
    GC gc = XCreateGC(display, root, GCSubwindowMode, &values);
    for (unsigned long seed = 1; !done_;) {
        for (std::size_t index = 0; index < batch; ++index, ++seed) {
            // Grey levels only, so a look for our window's colour over a still screen still works.
            const unsigned long level = (seed * 2654435761UL >> 8) & 0xFF;
            XSetForeground(display, gc, level * 0x010101UL);
            XFillRectangle(display, root, gc, static_cast<int>((seed * 7919) % width),
                           static_cast<int>((seed * 104729) % height), size, size);
        }
        XSync(display, False);
        drawn_ += batch;
    }
    XFreeGC(display, gc);
    XCloseDisplay(display);
}

} // namespace orvik::bench
