#pragma once

#include "orvik/protocol/messages/ScreenMessages.hpp"

#include <functional>
#include <variant>
#include <vector>

namespace orvik::helper {

// Why capture could not run; the only failure that crosses the capture interface.
enum class ScreenCaptureFailure { permissionDenied, displayUnavailable, failed };

// Something that can picture the displays of this computer. The screen-viewing flow only lists displays through
// it; capturing is driven by the viewer's ScreenStream, which owns a source of its own.
class ScreenCaptureSource {
public:
    using DisplaysResult = std::variant<std::vector<ScreenDisplay>, ScreenCaptureFailure>;

    virtual ~ScreenCaptureSource() = default;

    // The displays that can be captured, main display first where the platform says so. `done` is called
    // exactly once, from any thread.
    virtual void displays(std::function<void(DisplaysResult)> done) = 0;
};

} // namespace orvik::helper
