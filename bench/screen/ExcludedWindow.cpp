#include "ExcludedWindow.hpp"

#include "screen/CaptureExclusions.hpp"
#include "screen/ScreenCaptureSource.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>

namespace orvik::bench {
namespace {

constexpr int left = 200;
constexpr int top = 200;
constexpr unsigned width = 400;
constexpr unsigned height = 300;
constexpr unsigned long magenta = 0xFF00FF;
constexpr unsigned long darkGrey = 0x404040;
constexpr int distance = 300;
constexpr int dragStep = 8;
constexpr auto dragInterval = std::chrono::microseconds(8'333);

// Grey, black and white have no chroma; a single magenta pixel among four grey ones moves it by about 20.
constexpr int neutral = 128;
constexpr int tolerance = 8;

int offsetAt(std::size_t step, bool drag) {
    if (!drag) return step % 2 ? distance : 0;
    const int travelled = static_cast<int>(step % (2 * distance / dragStep)) * dragStep;
    return travelled <= distance ? travelled : 2 * distance - travelled;
}

} // namespace

ExcludedWindow::ExcludedWindow(const std::string& displayName, const std::string& motion)
    : thread_([this, displayName, motion] { run(displayName, motion); }) {
    while (!shown_ && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ExcludedWindow::~ExcludedWindow() {
    stop();
}

std::size_t ExcludedWindow::stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return moves_;
}

bool ExcludedWindow::showsColour(const helper::CapturedFrame& frame) {
    const auto& picture = *frame.pixelBuffer;
    const auto rows = static_cast<std::size_t>(picture.height() / 2);
    const auto columns = static_cast<std::size_t>(picture.width() / 2);
    for (std::size_t plane = 1; plane <= 2; ++plane) {
        for (std::size_t row = 0; row < rows; ++row) {
            const std::uint8_t* line = picture.plane(plane) + row * picture.stride(plane);
            for (std::size_t column = 0; column < columns; ++column) {
                if (std::abs(line[column] - neutral) > tolerance) return true;
            }
        }
    }
    return false;
}

void ExcludedWindow::run(const std::string& displayName, const std::string& motion) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) {
        done_ = true;
        return;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = magenta;
    Window window = XCreateWindow(display, DefaultRootWindow(display), left, top, width, height, 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    const std::string marker(helper::CaptureExclusions::windowProperty);
    const long one = 1;
    XChangeProperty(display, window, XInternAtom(display, marker.c_str(), False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&one), 1);
    XMapRaised(display, window);
    if (motion == "covered") {
        // Another program's window over the right half of ours, and beyond it.
        attributes.background_pixel = darkGrey;
        XMapRaised(display, XCreateWindow(display, DefaultRootWindow(display), left + width / 2, top + 50, width,
                                          height / 2, 0, CopyFromParent, InputOutput, CopyFromParent,
                                          CWOverrideRedirect | CWBackPixel, &attributes));
    }
    XSync(display, False);
    shown_ = true;
    const bool drag = motion == "drag";
    if (motion == "still" || motion == "covered") {
        while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto next = std::chrono::steady_clock::now();
    for (std::size_t step = 1; !done_; ++step) {
        XMoveWindow(display, window, left + offsetAt(step, drag), top);
        XSync(display, False);
        moves_ = step;
        if (drag) {
            next += dragInterval;
            std::this_thread::sleep_until(next);
        }
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

} // namespace orvik::bench
