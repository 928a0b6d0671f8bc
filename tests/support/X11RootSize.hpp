#pragma once

namespace orvik::test {

// A smaller (or larger) root, as `xrandr --fb` makes it on Xvfb, whose one mode then no longer fits: every output
// goes off and the root becomes the one display ("screen"). On a connection of its own to $DISPLAY; false when
// there is no display to connect to.
[[nodiscard]] bool setRootSize(int width, int height);

} // namespace orvik::test
