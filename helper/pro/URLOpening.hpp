#pragma once

#include <functional>
#include <string>

namespace orvik::helper {

// Hands a link to the desktop's default handler for its scheme. `done` is called exactly once, from any thread,
// with whether a handler took the link.
class URLOpening {
public:
    virtual ~URLOpening() = default;

    virtual void open(std::string url, std::function<void(bool)> done) = 0;
};

} // namespace orvik::helper
