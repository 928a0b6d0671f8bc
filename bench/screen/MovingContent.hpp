#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace orvik::bench {

// Keeps the screen busy the way a video or a scrolling page would: a full-screen window repainted with moving
// coloured bands and boxes about 60 times a second, on a connection and thread of its own. Its own CPU time is
// measured so the bench can leave it out of the figures.
class MovingContent {
public:
    explicit MovingContent(const std::string& displayName);
    ~MovingContent();
    MovingContent(const MovingContent&) = delete;
    MovingContent& operator=(const MovingContent&) = delete;

    // CPU seconds the painter used; valid after destruction began, so read it through stop().
    double stop();

private:
    void run(const std::string& displayName);

    std::atomic<bool> done_{false};
    double cpuSeconds_ = 0;
    std::thread thread_;
};

} // namespace orvik::bench
