#pragma once

#include "injection/InputController.hpp"
#include "injection/RecordingSink.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orvik::helper::testing {

// A controller over a recording sink with a clock the test moves by hand.
struct ControlledInput {
    double clock = 100;
    std::shared_ptr<RecordingSink> sink;
    InputController controller;

    explicit ControlledInput(std::shared_ptr<RecordingSink> recording = std::make_shared<RecordingSink>())
        : sink(std::move(recording)), controller(sink, [this] { return clock; }) {}

    // Events recorded since the last call.
    std::vector<RecordedInput> take() {
        auto events = sink->events();
        sink->clearEvents();
        return events;
    }
};

inline RecordedInput moved(double x, double y) {
    return RecordedInput::mouse(MouseEventKind::moved, {}, {x, y}, 0);
}
inline RecordedInput dragged(MouseButton button, double x, double y) {
    return RecordedInput::mouse(MouseEventKind::dragged, button, {x, y}, 0);
}
inline RecordedInput down(MouseButton button, double x, double y, int count) {
    return RecordedInput::mouse(MouseEventKind::down, button, {x, y}, count);
}
inline RecordedInput up(MouseButton button, double x, double y, int count) {
    return RecordedInput::mouse(MouseEventKind::up, button, {x, y}, count);
}

} // namespace orvik::helper::testing
