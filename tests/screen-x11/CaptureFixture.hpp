#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "screen/x11/X11CaptureSource.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay; // NOLINT(bugprone-reserved-identifier): Xlib names its Display so

namespace orvik::helper::x11test {

using Window = unsigned long; // as Xlib's, whose macros this header keeps away from GoogleTest
using Yuv = std::array<int, 3>;

// What a capture delivered: the newest frame (older ones go back to the pool), how many, and each onStop.
class FrameLog {
public:
    ScreenCaptureSource::FrameHandler frameHandler();
    ScreenCaptureSource::StopHandler stopHandler();
    std::size_t count();
    std::vector<ScreenCaptureFailure> stops();
    // Waits for `more` frames after the ones counted so far and returns the newest.
    std::shared_ptr<PixelBuffer> next(std::size_t more = 1);

private:
    std::mutex mutex_;
    std::shared_ptr<PixelBuffer> newest_;
    std::size_t count_ = 0;
    std::vector<ScreenCaptureFailure> stops_;
};

// Coloured windows on the test's X server, drawn by a connection of their own. The pointer starts in the
// bottom-right corner, where it covers no sample.
class Painter {
public:
    explicit Painter(const std::string& displayName = {});
    ~Painter();
    // An override-redirect window of one colour (0xRRGGBB), mapped and drawn when this returns.
    Window window(const PixelRect& rect, unsigned long rgb, std::optional<long> pid = std::nullopt);
    // Like `window`, then moved to x, y in the same batch of requests: moved before any other client hears of it.
    Window windowMovedAtOnce(const PixelRect& rect, unsigned long rgb, std::optional<long> pid, int x, int y);
    // A window the window manager frames and places; shown and drawn when this returns.
    Window managedWindow(const PixelRect& rect, unsigned long rgb, std::optional<long> pid = std::nullopt);
    // A window inside `parent`, at `rect` within it, shown, and destroyed with it; a client carries WM_STATE, as
    // window managers mark the windows they frame.
    Window child(Window parent, const PixelRect& rect, unsigned long rgb, bool client = false,
                 std::optional<long> pid = std::nullopt);
    // Where a window is on the screen now.
    PixelRect placement(Window window);
    void recolour(Window window, unsigned long rgb);
    void hide(Window window);
    void show(Window window);
    void moveTo(Window window, int x, int y);
    // To the top of the stack, above every other window.
    void raise(Window window);
    // Gives the window a shape without `hole` (in the window's own pixels), through which what lies beneath shows.
    void cutHole(Window window, const PixelRect& hole);
    void destroy(Window window);
    // Sets _NET_WM_WINDOW_OPACITY, which compositing managers honour.
    void setOpacity(Window window, double opacity);
    // True while a compositing manager owns the screen's _NET_WM_CM_S0.
    bool compositing();
    // Sets or removes the CaptureExclusions window property, as a window showing a pairing code does.
    void markExcluded(Window window, bool marked);
    void warpPointer(int x, int y);

private:
    Window create(Window parent, const PixelRect& rect, unsigned long rgb, std::optional<long> pid, bool managed);

    _XDisplay* display_;
    std::vector<Window> windows_;
};

// Counts delivered frames and those in which any pixel has a colour: on a grey screen where blacked-out windows
// are black, a coloured pixel is a window that should have been painted black. Looks at every frame, on the
// capture thread, through its chroma planes (one sample covers 2×2 pixels, so one coloured pixel shows too).
class ColourWatch {
public:
    ScreenCaptureSource::FrameHandler frameHandler();
    std::size_t frames() const { return frames_; }
    std::size_t framesWithColour() const { return framesWithColour_; }

private:
    std::atomic<std::size_t> frames_{0};
    std::atomic<std::size_t> framesWithColour_{0};
};

// Moves or shows and hides a window from a connection and thread of its own, as fast as the server takes it or
// at a drag's pace, until destroyed.
class WindowMover {
public:
    enum class Motion {
        jump, // back and forth between two places 300 px apart, in a tight loop
        drag, // 8 px steps at 120 Hz over the same 300 px
        blink // mapped and unmapped in a tight loop
    };
    WindowMover(Window window, Motion motion, const PixelRect& from);
    ~WindowMover();
    WindowMover(const WindowMover&) = delete;
    WindowMover& operator=(const WindowMover&) = delete;
    std::size_t steps() const { return steps_; }

private:
    void run(Window window, Motion motion, PixelRect from);

    std::atomic<bool> done_{false};
    std::atomic<std::size_t> steps_{0};
    std::thread thread_;
};

inline void PrintTo(WindowMover::Motion motion, std::ostream* out) {
    *out << (motion == WindowMover::Motion::jump ? "jump" : motion == WindowMover::Motion::drag ? "drag" : "blink");
}

// A capture of the test server's only monitor, driven synchronously.
class CaptureFixture : public ::testing::Test {
protected:
    static constexpr auto patience = std::chrono::seconds(10);

    static CaptureConfiguration configuration(int width, int height, int frameRate = 30,
                                              NormalizedRect region = NormalizedRect::full());
    static std::uint32_t screenID() { return DisplayIdentifiers::idForName("screen"); }
    static std::optional<ScreenCaptureFailure> start(ScreenCaptureSource& source,
                                                     const CaptureConfiguration& configuration, FrameLog& log);
    static std::optional<ScreenCaptureFailure> start(ScreenCaptureSource& source,
                                                     const CaptureConfiguration& configuration,
                                                     ScreenCaptureSource::FrameHandler onFrame,
                                                     ScreenCaptureSource::StopHandler onStop);
    static std::optional<ScreenCaptureFailure> update(ScreenCaptureSource& source,
                                                      const CaptureConfiguration& configuration);
    // False when stop did not complete within `limit`.
    static bool stop(ScreenCaptureSource& source, std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // Captures while `window` moves from `from` until `frames` more frames came (or 30 s passed): how many came,
    // how many of them had colour, and how often the window moved.
    struct WhileMoving {
        std::size_t frames = 0;
        std::size_t framesWithColour = 0;
        std::size_t steps = 0;
    };
    static WhileMoving captureWhileMoving(const CaptureConfiguration& configuration, Window window,
                                          WindowMover::Motion motion, const PixelRect& from, std::size_t frames);
    // The Y, Cb and Cr of one pixel of a delivered picture.
    static Yuv sample(const PixelBuffer& picture, int x, int y);
};

// Captures the top-left quarter while a grey window is dragged along its top, so frames keep coming; every frame is
// looked at for colour, the newest kept.
class WatchingFixture : public CaptureFixture {
protected:
    void TearDown() override;
    bool startWatching();
    // Counts the frames with colour among the next `frames`, which must come: the stream goes on meanwhile.
    std::size_t colouredAmong(std::size_t frames);
    // True once a picture has `rgb`'s brightness (within `tolerance`) at x, y.
    bool eventuallyShows(int x, int y, unsigned long rgb, int tolerance = 3);
    // The brightness (Y) at x, y of the next picture; -1 when none came.
    int brightnessAt(int x, int y);
    std::size_t framesWithColour() const { return watch_.framesWithColour(); }
    std::size_t frames() const { return watch_.frames(); }

    Painter painter_;

private:
    X11CaptureSource source_;
    ColourWatch watch_;
    FrameLog log_;
    std::optional<WindowMover> mover_;
};

// Y, Cb and Cr of BT.709 limited range, rounded.
Yuv bt709(unsigned long rgb);
void expectNear(const Yuv& actual, const Yuv& expected, int tolerance, const std::string& where);

} // namespace orvik::helper::x11test
