#include "MovingContent.hpp"

#include <X11/Xlib.h>
#include <sys/resource.h>

#include <chrono>

namespace orvik::bench {
namespace {

constexpr auto paintInterval = std::chrono::microseconds(16'667);
constexpr int bands = 24;
constexpr int boxes = 40;
constexpr int boxSize = 120;

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

MovingContent::MovingContent(const std::string& displayName) : thread_([this, displayName] { run(displayName); }) {}

MovingContent::~MovingContent() {
    stop();
}

double MovingContent::stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return cpuSeconds_;
}

void MovingContent::run(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) return;
    const int width = DisplayWidth(display, 0);
    const int height = DisplayHeight(display, 0);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    GC gc = XCreateGC(display, window, 0, nullptr);
    auto next = std::chrono::steady_clock::now();
    for (unsigned long frame = 0; !done_; ++frame) {
        for (int band = 0; band < bands; ++band) {
            XSetForeground(display, gc,
                           (frame * 0x010203UL + static_cast<unsigned long>(band) * 0x0A1B2CUL) & 0xFFFFFF);
            XFillRectangle(display, window, gc, 0, band * height / bands, static_cast<unsigned>(width),
                           static_cast<unsigned>(height / bands + 1));
        }
        for (int box = 0; box < boxes; ++box) {
            const auto seed = frame * 7 + static_cast<unsigned long>(box) * 131;
            XSetForeground(display, gc, (seed * 2654435761UL) & 0xFFFFFF);
            XFillRectangle(display, window, gc, static_cast<int>((seed * 37) % static_cast<unsigned long>(width)),
                           static_cast<int>((seed * 53) % static_cast<unsigned long>(height)), boxSize, boxSize);
        }
        XSync(display, False);
        next += paintInterval;
        std::this_thread::sleep_until(next);
    }
    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    cpuSeconds_ = threadCpuSeconds();
}

} // namespace orvik::bench
