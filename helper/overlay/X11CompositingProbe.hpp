#pragma once

#include <memory>

namespace orvik::helper {

class X11Display;

// Whether a compositing manager runs on the default screen: it owns the selection _NET_WM_CM_S<screen>.
// Without one, translucent windows draw black.
class X11CompositingProbe {
public:
    X11CompositingProbe();
    ~X11CompositingProbe();
    X11CompositingProbe(const X11CompositingProbe&) = delete;
    X11CompositingProbe& operator=(const X11CompositingProbe&) = delete;

    // False also when the display cannot be reached.
    bool isCompositing();

private:
    std::unique_ptr<X11Display> display_;
};

} // namespace orvik::helper
