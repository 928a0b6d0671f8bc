#pragma once

#include "system/PowerExecuting.hpp"

#include <vector>

namespace orvik::helper {

// A recording double for tests (the application never builds it): keeps each action in call order and answers
// every one with `outcome`.
class FakePowerExecutor final : public PowerExecuting {
public:
    void run(PowerAction action, std::function<void(CommandOutcome)> done) override {
        actions.push_back(action);
        done(outcome);
    }

    std::vector<PowerAction> actions;
    CommandOutcome outcome = CommandOutcome::success();
};

} // namespace orvik::helper
