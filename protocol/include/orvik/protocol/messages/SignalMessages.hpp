#pragma once

// Messages that carry nothing but their type; their payload is empty.
namespace orvik {

// The phone asks the helper to look for a software update.
struct RequestUpdateCheck {
    bool operator==(const RequestUpdateCheck&) const = default;
};

// The phone forgets this helper; the helper removes the device.
struct Unpair {
    bool operator==(const Unpair&) const = default;
};

struct CancelSleepTimer {
    bool operator==(const CancelSleepTimer&) const = default;
};

struct StatusRequest {
    bool operator==(const StatusRequest&) const = default;
};

struct ScreenStop {
    bool operator==(const ScreenStop&) const = default;
};

struct ScreenKeyframeRequest {
    bool operator==(const ScreenKeyframeRequest&) const = default;
};

} // namespace orvik
