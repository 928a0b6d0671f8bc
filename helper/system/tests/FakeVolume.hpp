#pragma once

#include "system/VolumeControlling.hpp"

#include <vector>

namespace orvik::helper {

// Records the levels and mute states asked for and answers with the status it was made with, updated by them.
class FakeVolume final : public VolumeControlling {
public:
    explicit FakeVolume(std::optional<VolumeStatus> status = std::nullopt) : status_(status) {}

    std::optional<VolumeStatus> status() const override { return status_; }
    bool setLevel(float level) override {
        setLevels.push_back(level);
        if (status_) status_->level = level;
        return true;
    }
    bool setMuted(bool muted) override {
        setMutes.push_back(muted);
        if (status_) status_->isMuted = muted;
        return true;
    }
    void observeChanges(std::function<void()>) override {}

    std::vector<float> setLevels;
    std::vector<bool> setMutes;

private:
    std::optional<VolumeStatus> status_;
};

} // namespace orvik::helper
