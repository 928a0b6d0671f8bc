#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace orvik::bench {

// A program that draws small rectangles (4×4, scattered over the screen) as fast as the X server takes them, on a
// connection and thread of its own: the drawings a capture following every drawing pays for one by one.
class SmallDrawings {
public:
    explicit SmallDrawings(const std::string& displayName);
    ~SmallDrawings();
    SmallDrawings(const SmallDrawings&) = delete;
    SmallDrawings& operator=(const SmallDrawings&) = delete;

    // Stops drawing; returns how many rectangles were drawn.
    std::size_t stop();

private:
    void run(const std::string& displayName);

    std::atomic<bool> done_{false};
    std::size_t drawn_ = 0;
    std::thread thread_;
};

} // namespace orvik::bench
