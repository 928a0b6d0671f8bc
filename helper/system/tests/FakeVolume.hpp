#pragma once

#include "system/VolumeControlling.hpp"

#include <vector>

namespace orvik::helper {

// Records the levels and mute states asked for and answers with the status it was made with, updated by them.
// With `answerLater` the completions wait in `unanswered` until the test calls them, as a stalled sound server.
struct FakeVolume final : VolumeControlling {
    explicit FakeVolume(std::optional<VolumeStatus> status = std::nullopt) : current(status) {}

    std::optional<VolumeStatus> status() const override { return current; }
    void setLevel(float level, Done done) override {
        setLevels.push_back(level);
        if (current) current->level = level;
        answer(std::move(done));
    }
    void setMuted(bool muted, Done done) override {
        setMutes.push_back(muted);
        if (current) current->isMuted = muted;
        answer(std::move(done));
    }
    void observeChanges(std::function<void()>) override {}

    void answer(Done done) {
        if (answerLater)
            unanswered.push_back(std::move(done));
        else
            done(true);
    }

    std::optional<VolumeStatus> current;
    std::vector<float> setLevels;
    std::vector<bool> setMutes;
    bool answerLater = false;
    std::vector<Done> unanswered;
};

} // namespace orvik::helper
