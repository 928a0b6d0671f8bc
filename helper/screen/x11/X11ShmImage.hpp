#pragma once

#include "platform/X11Display.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>

namespace orvik::helper {

// A shared-memory image of part of the root window (MIT-SHM): the X server writes the pixels straight into our
// memory, 32 bits a pixel (BGRX on the usual little-endian depth-24 visual). The segment is marked for removal
// as soon as both sides have attached it, so it goes away with the process even when the server dies.
class X11ShmImage {
public:
    // Absent when the server has no MIT-SHM, the visual is not 32 bits a pixel, or memory cannot be shared.
    static std::unique_ptr<X11ShmImage> create(X11Display& display, int width, int height);
    ~X11ShmImage();
    X11ShmImage(const X11ShmImage&) = delete;
    X11ShmImage& operator=(const X11ShmImage&) = delete;

    // Reads the root window's pixels from (x, y) on; false when the server refused or is gone.
    bool grab(int x, int y);

    std::uint8_t* pixels() { return reinterpret_cast<std::uint8_t*>(image_->data); }
    int stride() const { return image_->bytes_per_line; }
    int width() const { return image_->width; }
    int height() const { return image_->height; }

private:
    X11ShmImage(X11Display& display, XImage* image);

    X11Display& display_;
    XImage* image_;
    XShmSegmentInfo segment_{};
    bool attached_ = false;
};

} // namespace orvik::helper
