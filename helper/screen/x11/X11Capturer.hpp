#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"
#include "screen/PixelBufferPool.hpp"
#include "screen/x11/CapturePacer.hpp"
#include "screen/x11/I420Converter.hpp"
#include "screen/x11/X11CaptureSession.hpp"
#include "screen/x11/X11OwnWindows.hpp"
#include "screen/x11/X11ShmImage.hpp"

#include <X11/extensions/Xdamage.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace orvik::helper {

// The X side of one capture, used only on its capture thread: the connection, the shared-memory image of the
// captured part of one monitor, damage tracking, the pointer, our own windows, and the conversion into pooled
// I420 buffers. Times are CLOCK_MONOTONIC nanoseconds.
class X11Capturer {
public:
    static std::uint64_t now();

    std::optional<ScreenCaptureFailure> open(const std::string& displayName, const CaptureConfiguration& configuration);
    // A new size, rate or region for the same monitor; the next picture is taken at once.
    std::optional<ScreenCaptureFailure> configure(const CaptureConfiguration& configuration);

    int connectionFd() const;
    bool isBroken() const { return !display_ || display_->isBroken(); }
    // True once the captured monitor has gone from the screen.
    bool monitorGone() const { return monitorGone_; }

    // Reads what the server sent (damage, window and screen changes) and whether the pointer moved.
    void handleEvents();
    std::uint64_t nextWakeAt() const;
    bool frameDue() const { return now() >= pacer_.nextFrameAt(); }
    // True when the next picture is taken for a change already seen: what the server sends until then need not
    // wake the thread (it is read before the picture).
    bool changeSeen() const { return pacer_.changed(); }
    // Takes one picture now; absent when every buffer is still in use or the server did not answer.
    std::optional<CapturedFrame> capture(CaptureStageTimes& times);

    // Waits until the server has handled every request sent: the one wait of the capture's end on a server that
    // may not answer. Closing afterwards waits for nothing more.
    void settle();
    // Drops the connection without another X call, for a thread left behind on a server that did not answer
    // (the process may be exiting while it ends).
    void abandon();

private:
    std::optional<ScreenCaptureFailure> layOut();
    bool takePicture();
    bool takeGrabbedPicture();
    bool readPicture();
    void drain(unsigned long before = std::numeric_limits<unsigned long>::max());
    void dispatch(const XEvent& event, std::uint64_t time);
    void noteDamage();
    void checkPointer();
    void followPointerMotion();
    void followMonitors();
    bool isScreenChange(const XEvent& event) const;

    std::unique_ptr<X11Display> display_;
    CaptureConfiguration configuration_;
    PixelRect monitor_;
    PixelRect area_; // the captured part of the root window
    std::unique_ptr<X11ShmImage> image_;
    std::unique_ptr<I420Converter> converter_;
    std::unique_ptr<PixelBufferPool> pool_;
    std::unique_ptr<X11OwnWindows> ownWindows_;
    CapturePacer pacer_{30};
    Damage damage_ = 0;
    XserverRegion damaged_ = 0;
    int damageEvent_ = 0;
    int pointerX_ = -1;
    int pointerY_ = -1;
    std::uint64_t nextPointerCheck_ = 0;
    // The XInput 2 opcode when the server reports raw pointer motion to us; absent: the pointer is only polled.
    std::optional<int> inputOpcode_;
    // The RandR event base when the server reports monitor changes to us.
    std::optional<int> randrEvent_;
    bool monitorGone_ = false;
    // Counts the layouts, so a picture read while the screen was laid out anew is read again.
    std::uint64_t layouts_ = 0;
    // The server reported damage that has not been looked at: done once a frame interval at most, as each look
    // is a round trip and the server reports again only after it.
    bool damagePending_ = false;
};

} // namespace orvik::helper
