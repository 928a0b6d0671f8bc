#pragma once

#include "overlay/OverlayPresenting.hpp"
#include "overlay/OverlayTracker.hpp"
#include "preferences/HelperPreferences.hpp"

#include <functional>
#include <memory>

class QTimer;

namespace orvik::helper {

class OverlayView;

// Shows the presentation overlay over the screen under the pointer and follows the pointer at 60 Hz. Lives on
// the GUI thread. The panel is made on the first laser or spotlight and kept; it is made again only when a
// compositing manager started or stopped since, because translucency is fixed when a window is created.
class OverlayController final : public OverlayPresenting {
public:
    using PreferencesProvider = std::function<HelperPreferences()>;
    // Seconds on a steady clock.
    using Clock = std::function<double()>;
    using CompositingProbe = std::function<bool()>;

    // `clock` and `isCompositing` default to the steady clock and the X11 compositing-manager probe.
    explicit OverlayController(PreferencesProvider preferences, Clock clock = {}, CompositingProbe isCompositing = {});
    ~OverlayController() override;

    void setMode(OverlayMode mode) override;

    OverlayMode mode() const { return tracker_.mode(); }
    // Absent until the first laser or spotlight.
    OverlayView* panel() const { return panel_.get(); }
    bool isTracking() const;

private:
    void makePanel(bool composited);
    void moveToScreenUnderCursor();
    void tick();

    // The tick interval: one frame at 60 Hz.
    static constexpr int tickMilliseconds = 1000 / 60;
    // A full-screen window that gains focus is stacked above everything the window manager knows, so the
    // panel, which it does not know, is raised again this often while shown (every quarter second).
    static constexpr int raiseEveryTicks = 15;

    PreferencesProvider preferences_;
    Clock clock_;
    CompositingProbe isCompositing_;
    OverlayTracker tracker_;
    std::unique_ptr<OverlayView> panel_;
    std::unique_ptr<QTimer> timer_;
    int ticksSinceRaise_ = 0;
};

} // namespace orvik::helper
