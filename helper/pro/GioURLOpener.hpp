#pragma once

#include "pro/URLOpening.hpp"

namespace orvik::helper {

// Opens a link with the desktop's default application for its scheme (the x-scheme-handler/… association of the
// XDG MIME applications lists), started by GIO with the link as one argument and the setup every child of ours
// gets (DesktopLaunch); no shell is involved. Answers on the calling thread once the handler has been started.
class GioURLOpener final : public URLOpening {
public:
    void open(std::string url, std::function<void(bool)> done) override;
};

} // namespace orvik::helper
