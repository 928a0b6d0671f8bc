#include "CaptureFixture.hpp"

#include "WaitUntil.hpp"
#include "screen/CaptureExclusions.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <cmath>
#include <cstdlib>
#include <future>

namespace orvik::helper::x11test {

ScreenCaptureSource::FrameHandler FrameLog::frameHandler() {
    return [this](CapturedFrame frame) {
        std::lock_guard lock(mutex_);
        newest_ = std::move(frame.pixelBuffer);
        ++count_;
    };
}

ScreenCaptureSource::StopHandler FrameLog::stopHandler() {
    return [this](ScreenCaptureFailure failure) {
        std::lock_guard lock(mutex_);
        stops_.push_back(failure);
    };
}

std::size_t FrameLog::count() {
    std::lock_guard lock(mutex_);
    return count_;
}

std::vector<ScreenCaptureFailure> FrameLog::stops() {
    std::lock_guard lock(mutex_);
    return stops_;
}

std::shared_ptr<PixelBuffer> FrameLog::next(std::size_t more) {
    const auto goal = count() + more;
    if (!orvik::test::waitUntil([&] { return count() >= goal; })) return nullptr;
    std::lock_guard lock(mutex_);
    return newest_;
}

ScreenCaptureSource::FrameHandler ColourWatch::frameHandler() {
    // Grey and black have no chroma; beyond this a sample has colour (one magenta pixel of four gives ~20).
    constexpr int neutral = 128;
    constexpr int tolerance = 8;
    return [this](CapturedFrame frame) {
        const PixelBuffer& picture = *frame.pixelBuffer;
        bool coloured = false;
        for (std::size_t plane = 1; plane <= 2 && !coloured; ++plane) {
            const auto rows = static_cast<std::size_t>(picture.height() / 2);
            const auto columns = static_cast<std::size_t>(picture.width() / 2);
            for (std::size_t row = 0; row < rows && !coloured; ++row) {
                const std::uint8_t* line = picture.plane(plane) + row * picture.stride(plane);
                for (std::size_t column = 0; column < columns; ++column) {
                    if (std::abs(line[column] - neutral) > tolerance) {
                        coloured = true;
                        break;
                    }
                }
            }
        }
        framesWithColour_ += coloured ? 1 : 0;
        ++frames_;
    };
}

WindowMover::WindowMover(Window window, Motion motion, const PixelRect& from)
    : thread_([this, window, motion, from] { run(window, motion, from); }) {}

WindowMover::~WindowMover() {
    done_ = true;
    thread_.join();
}

void WindowMover::run(Window window, Motion motion, PixelRect from) {
    constexpr int distance = 300;
    constexpr int dragStep = 8;
    constexpr auto dragInterval = std::chrono::microseconds(8'333);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    auto next = std::chrono::steady_clock::now();
    for (std::size_t step = 1; !done_; ++step) {
        if (motion == Motion::blink) {
            if (step % 2) {
                XUnmapWindow(display, window);
            } else {
                XMapWindow(display, window);
            }
        } else if (motion == Motion::jump) {
            XMoveWindow(display, window, from.x + (step % 2 ? distance : 0), from.y);
        } else {
            // There and back: 0, 8, … 296, 296, 288, … 8, 0.
            const int travelled = static_cast<int>(step % (2 * distance / dragStep)) * dragStep;
            const int offset = travelled <= distance ? travelled : 2 * distance - travelled;
            XMoveWindow(display, window, from.x + offset, from.y);
            next += dragInterval;
            std::this_thread::sleep_until(next);
        }
        XSync(display, False);
        steps_ = step;
    }
    XMapWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
}

Painter::Painter(const std::string& displayName)
    : display_(XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str())) {
    if (display_) warpPointer(DisplayWidth(display_, 0) - 1, DisplayHeight(display_, 0) - 1); // out of the way
}

Painter::~Painter() {
    if (!display_) return;
    for (Window window : windows_) XDestroyWindow(display_, window);
    XCloseDisplay(display_);
}

Window Painter::window(const PixelRect& rect, unsigned long rgb, std::optional<long> pid) {
    Window window = create(DefaultRootWindow(display_), rect, rgb, pid, false);
    windows_.push_back(window);
    XMapRaised(display_, window);
    XSync(display_, False);
    return window;
}

Window Painter::windowMovedAtOnce(const PixelRect& rect, unsigned long rgb, std::optional<long> pid, int x, int y) {
    Window window = create(DefaultRootWindow(display_), rect, rgb, pid, false);
    windows_.push_back(window);
    XMapRaised(display_, window);
    XMoveWindow(display_, window, x, y);
    XSync(display_, False);
    return window;
}

Window Painter::managedWindow(const PixelRect& rect, unsigned long rgb, std::optional<long> pid) {
    Window window = create(DefaultRootWindow(display_), rect, rgb, pid, true);
    windows_.push_back(window);
    XMapRaised(display_, window);
    orvik::test::waitUntil([&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, window, &attributes);
        return attributes.map_state == IsViewable;
    });
    XClearWindow(display_, window);
    XSync(display_, False);
    return window;
}

Window Painter::child(Window parent, const PixelRect& rect, unsigned long rgb, bool client, std::optional<long> pid) {
    Window window = create(parent, rect, rgb, pid, false);
    if (client) {
        const long normalState[] = {NormalState, None};
        const Atom state = XInternAtom(display_, "WM_STATE", False);
        XChangeProperty(display_, window, state, state, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(normalState), 2);
    }
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

Window Painter::create(Window parent, const PixelRect& rect, unsigned long rgb, std::optional<long> pid, bool managed) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = managed ? False : True;
    attributes.background_pixel = rgb;
    Window window = XCreateWindow(display_, parent, rect.x, rect.y, static_cast<unsigned>(rect.width),
                                  static_cast<unsigned>(rect.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel, &attributes);
    if (pid) {
        XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&*pid), 1);
    }
    return window;
}

PixelRect Painter::placement(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

void Painter::recolour(Window window, unsigned long rgb) {
    XSetWindowBackground(display_, window, rgb);
    XClearWindow(display_, window);
    XSync(display_, False);
}

void Painter::hide(Window window) {
    XUnmapWindow(display_, window);
    XSync(display_, False);
}

void Painter::show(Window window) {
    XMapRaised(display_, window);
    XSync(display_, False);
}

void Painter::moveTo(Window window, int x, int y) {
    XMoveWindow(display_, window, x, y);
    XSync(display_, False);
}

void Painter::raise(Window window) {
    XRaiseWindow(display_, window);
    XSync(display_, False);
}

void Painter::cutHole(Window window, const PixelRect& hole) {
    XRectangle rectangle{static_cast<short>(hole.x), static_cast<short>(hole.y),
                         static_cast<unsigned short>(hole.width), static_cast<unsigned short>(hole.height)};
    XShapeCombineRectangles(display_, window, ShapeBounding, 0, 0, &rectangle, 1, ShapeSubtract, Unsorted);
    XSync(display_, False);
}

void Painter::destroy(Window window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
    std::erase(windows_, window);
}

void Painter::setOpacity(Window window, double opacity) {
    const auto value = static_cast<unsigned long>(opacity * 0xFFFFFFFF);
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_WINDOW_OPACITY", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(display_, False);
}

bool Painter::compositing() {
    return XGetSelectionOwner(display_, XInternAtom(display_, "_NET_WM_CM_S0", False)) != None;
}

void Painter::markExcluded(Window window, bool marked) {
    const std::string name(CaptureExclusions::windowProperty);
    const Atom property = XInternAtom(display_, name.c_str(), False);
    if (marked) {
        const long one = 1;
        XChangeProperty(display_, window, property, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&one), 1);
    } else {
        XDeleteProperty(display_, window, property);
    }
    XSync(display_, False);
}

void Painter::warpPointer(int x, int y) {
    XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
    XSync(display_, False);
}

CaptureConfiguration CaptureFixture::configuration(int width, int height, int frameRate, NormalizedRect region) {
    return {screenID(), width, height, frameRate, region};
}

std::optional<ScreenCaptureFailure> CaptureFixture::start(ScreenCaptureSource& source,
                                                          const CaptureConfiguration& configuration, FrameLog& log) {
    return start(source, configuration, log.frameHandler(), log.stopHandler());
}

std::optional<ScreenCaptureFailure> CaptureFixture::start(ScreenCaptureSource& source,
                                                          const CaptureConfiguration& configuration,
                                                          ScreenCaptureSource::FrameHandler onFrame,
                                                          ScreenCaptureSource::StopHandler onStop) {
    std::promise<std::optional<ScreenCaptureFailure>> result;
    source.start(configuration, std::move(onFrame), std::move(onStop),
                 [&result](std::optional<ScreenCaptureFailure> failure) { result.set_value(failure); });
    auto future = result.get_future();
    if (future.wait_for(patience) != std::future_status::ready) return ScreenCaptureFailure::failed;
    return future.get();
}

std::optional<ScreenCaptureFailure> CaptureFixture::update(ScreenCaptureSource& source,
                                                           const CaptureConfiguration& configuration) {
    std::promise<std::optional<ScreenCaptureFailure>> result;
    source.update(configuration, [&result](std::optional<ScreenCaptureFailure> failure) { result.set_value(failure); });
    auto future = result.get_future();
    if (future.wait_for(patience) != std::future_status::ready) return ScreenCaptureFailure::failed;
    return future.get();
}

bool CaptureFixture::stop(ScreenCaptureSource& source, std::chrono::milliseconds limit) {
    auto result = std::make_shared<std::promise<void>>();
    auto stopped =
        std::async(std::launch::async, [&source, result] { source.stop([result] { result->set_value(); }); });
    const bool inTime = result->get_future().wait_for(limit) == std::future_status::ready;
    stopped.wait();
    return inTime;
}

CaptureFixture::WhileMoving CaptureFixture::captureWhileMoving(const CaptureConfiguration& configuration, Window window,
                                                               WindowMover::Motion motion, const PixelRect& from,
                                                               std::size_t frames) {
    // About a second on a quiet machine; the mover keeps the X server busy, which a loaded one feels most.
    constexpr auto patience = std::chrono::seconds(30);
    X11CaptureSource source;
    ColourWatch watch;
    FrameLog stops;
    WhileMoving result;
    if (start(source, configuration, watch.frameHandler(), stops.stopHandler()) ||
        !orvik::test::waitUntil([&] { return watch.frames() > 0; })) {
        return result;
    }
    {
        WindowMover mover(window, motion, from);
        const auto before = watch.frames();
        orvik::test::waitUntil([&] { return watch.frames() >= before + frames; }, patience);
        result.steps = mover.steps();
        result.frames = watch.frames() - before;
    }
    EXPECT_TRUE(stop(source));
    result.framesWithColour = watch.framesWithColour();
    return result;
}

Yuv CaptureFixture::sample(const PixelBuffer& picture, int x, int y) {
    const auto column = static_cast<std::size_t>(x);
    const auto row = static_cast<std::size_t>(y);
    return {picture.plane(0)[row * picture.stride(0) + column],
            picture.plane(1)[row / 2 * picture.stride(1) + column / 2],
            picture.plane(2)[row / 2 * picture.stride(2) + column / 2]};
}

Yuv bt709(unsigned long rgb) {
    const double red = static_cast<double>((rgb >> 16) & 0xFF) / 255;
    const double green = static_cast<double>((rgb >> 8) & 0xFF) / 255;
    const double blue = static_cast<double>(rgb & 0xFF) / 255;
    const double luma = 0.2126 * red + 0.7152 * green + 0.0722 * blue;
    return {static_cast<int>(std::lround(16 + 219 * luma)),
            static_cast<int>(std::lround(128 + 224 * (blue - luma) / 1.8556)),
            static_cast<int>(std::lround(128 + 224 * (red - luma) / 1.5748))};
}

void expectNear(const Yuv& actual, const Yuv& expected, int tolerance, const std::string& where) {
    for (std::size_t index = 0; index < 3; ++index) {
        EXPECT_NEAR(actual[index], expected[index], tolerance) << where << ", component " << index;
    }
}

void WatchingFixture::TearDown() {
    mover_.reset();
    stop(source_);
}

bool WatchingFixture::startWatching() {
    const Window ticker = painter_.window({20, 20, 60, 60}, 0x404040);
    auto colour = watch_.frameHandler();
    auto newest = log_.frameHandler();
    const auto both = [colour, newest](CapturedFrame frame) {
        colour(frame);
        newest(std::move(frame));
    };
    if (start(source_, configuration(960, 540, 60, {0, 0, 0.5, 0.5}), both, log_.stopHandler()) || !log_.next()) {
        return false;
    }
    mover_.emplace(ticker, WindowMover::Motion::drag, PixelRect{20, 20, 60, 60});
    return true;
}

std::size_t WatchingFixture::colouredAmong(std::size_t frames) {
    const auto before = watch_.framesWithColour();
    EXPECT_TRUE(log_.next(frames)) << "frames keep coming";
    return watch_.framesWithColour() - before;
}

bool WatchingFixture::eventuallyShows(int x, int y, unsigned long rgb, int tolerance) {
    const int expected = bt709(rgb)[0];
    return orvik::test::waitUntil([&] { return std::abs(brightnessAt(x, y) - expected) <= tolerance; });
}

int WatchingFixture::brightnessAt(int x, int y) {
    auto picture = log_.next();
    return picture ? sample(*picture, x, y)[0] : -1;
}

} // namespace orvik::helper::x11test
