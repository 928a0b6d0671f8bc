#pragma once

#include "model/GlobalHotKeying.hpp"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace orvik::helper {

class X11Display;

// The pause shortcut Control+Alt+Super+P, grabbed on the root window of an X connection of its own whose events
// are read on the GUI thread. Caps Lock and Num Lock do not matter (every lock variant is grabbed); Shift or any
// other modifier added makes it a different shortcut. A key held down toggles once: X repeats held keys, and with
// detectable auto-repeat the repeats arrive as presses only, so a press counts only after a real release.
// GUI thread only. Destroying it releases the grab.
class X11GlobalHotKey final : public GlobalHotKeying {
public:
    // Connects to `displayName`, or to $DISPLAY when it is empty. Without an X server it stays inert: enabling
    // grabs nothing.
    explicit X11GlobalHotKey(const std::string& displayName = {});
    ~X11GlobalHotKey() override;
    X11GlobalHotKey(const X11GlobalHotKey&) = delete;
    X11GlobalHotKey& operator=(const X11GlobalHotKey&) = delete;

    void setOnPress(std::function<void()> onPress) override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

    // Whether the shortcut is grabbed now (false while another client holds it).
    bool isGrabbed() const { return grabbed_; }

private:
    // P's key and the masks of the shortcut's variants, as the keyboard is mapped now.
    std::pair<unsigned int, std::vector<unsigned int>> currentKeys() const;
    void keyboardChanged();
    void grab();
    void ungrab();
    void readEvents();
    void handle(unsigned int keyCode, bool pressed);

    std::unique_ptr<X11Display> display_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onPress_;
    bool enabled_ = false;
    bool grabbed_ = false;
    // Repeats of a held key arrive as presses only; else as release and press pairs, told apart by their times.
    bool detectableRepeat_ = false;
    // Cleared by a counted press, set again by the key's real release.
    bool armed_ = true;
    unsigned int keyCode_ = 0;
    // The masks of the grabbed variants: the modifiers with each combination of the lock modifiers.
    std::vector<unsigned int> variants_;
};

} // namespace orvik::helper
