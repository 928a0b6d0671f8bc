#pragma once

#include "system/VolumeControlling.hpp"

#include <vector>

namespace orvik::helper {

// Records the levels and mute states asked for and answers with the status it was made with, updated by them.
struct FakeVolume final : VolumeControlling {
    explicit FakeVolume(std::optional<VolumeStatus> status = std::nullopt) : current(status) {}

    std::optional<VolumeStatus> status() const override { return current; }
    bool setLevel(float level) override {
        setLevels.push_back(level);
        if (current) current->level = level;
        return true;
    }
    bool setMuted(bool muted) override {
        setMutes.push_back(muted);
        if (current) current->isMuted = muted;
        return true;
    }
    void observeChanges(std::function<void()>) override {}

    std::optional<VolumeStatus> current;
    std::vector<float> setLevels;
    std::vector<bool> setMutes;
};

} // namespace orvik::helper
