#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace orvik::helper {
struct CapturedFrame;
}

namespace orvik::bench {

// A window marked for exclusion from capture, as the pairing window is, of one colour and moved on a connection
// and thread of its own: back and forth between two places 300 px apart as fast as the server takes it ("jump"),
// in 8 px steps at 120 Hz over the same way ("drag"), or not at all ("still"), or not at all with another window
// stacked over half of it ("covered").
class ExcludedWindow {
public:
    ExcludedWindow(const std::string& displayName, const std::string& motion);
    ~ExcludedWindow();
    ExcludedWindow(const ExcludedWindow&) = delete;
    ExcludedWindow& operator=(const ExcludedWindow&) = delete;

    static bool knowsMotion(const std::string& motion) {
        return motion == "jump" || motion == "drag" || motion == "still" || motion == "covered";
    }
    // Whether any pixel of a picture has a colour: over a grey or black-and-white screen (a still one), where our
    // blackouts are black, a coloured pixel is this window showing. One chroma sample covers 2×2 pixels.
    static bool showsColour(const helper::CapturedFrame& frame);

    // Stops moving; returns how often the window moved.
    std::size_t stop();

private:
    void run(const std::string& displayName, const std::string& motion);

    std::atomic<bool> done_{false};
    std::atomic<bool> shown_{false};
    std::size_t moves_ = 0;
    std::thread thread_;
};

} // namespace orvik::bench
