#include "power/DisplaySleep.hpp"

#include "core/Log.hpp"
#include "platform/SessionLock.hpp"
#include "platform/X11Display.hpp"

namespace orvik::helper {
namespace {

constexpr const char* logCategory = "Power";

} // namespace

DisplaySleep::DisplaySleep(Open open) : open_(std::move(open)) {}

CommandOutcome DisplaySleep::sleepNow() {
    auto notAvailable = CommandOutcome::failure(ErrorCode::internalError, "display sleep not available");
    // A second sleep before the wake: the setting to give back is still the one read the first time.
    const bool heldOff = held_ != nullptr;
    std::unique_ptr<DpmsControlling> dpms;
    if (heldOff)
        dpms = std::move(held_);
    else if (open_)
        dpms = open_();
    if (!dpms) return notAvailable;
    const auto before = dpms->read();
    if (!before) return notAvailable;
    const bool userHadItOff = heldOff || !before->enabled;
    if (!before->enabled && !dpms->enable()) return notAvailable;
    if (!dpms->forceOff()) {
        if (userHadItOff) dpms->disable();
        return notAvailable;
    }
    if (userHadItOff) held_ = std::move(dpms);
    return CommandOutcome::success();
}

void DisplaySleep::checkWake() {
    if (!held_) return;
    const auto state = held_->read();
    if (state && !state->displaysOn) return;
    // Awake, or the server is gone (and its setting with it).
    if (state) giveBack();
    held_.reset();
}

void DisplaySleep::giveBack() {
    if (!held_) return;
    if (!held_->disable()) Log::error(logCategory, "Display sleep: DPMS could not be turned off again");
    held_.reset();
}

std::optional<bool> screenSaverOn() {
    auto display = X11Display::open();
    if (!display) return std::nullopt;
    return SessionLock::screenSaverActive(*display);
}

} // namespace orvik::helper
