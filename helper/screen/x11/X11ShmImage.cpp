#include "screen/x11/X11ShmImage.hpp"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdint>

namespace orvik::helper {
namespace {

constexpr int bitsPerPixel = 32;

} // namespace

std::unique_ptr<X11ShmImage> X11ShmImage::create(X11Display& display, int width, int height) {
    Display* handle = display.get();
    if (display.isBroken() || !XShmQueryExtension(handle)) return nullptr;
    const int screen = display.screen();
    XImage* image =
        XShmCreateImage(handle, DefaultVisual(handle, screen), static_cast<unsigned>(DefaultDepth(handle, screen)),
                        ZPixmap, nullptr, nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return nullptr;
    std::unique_ptr<X11ShmImage> result(new X11ShmImage(display, image));
    if (image->bits_per_pixel != bitsPerPixel) return nullptr;
    auto& segment = result->segment_;
    const auto bytes = static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) return nullptr;
    void* address = shmat(segment.shmid, nullptr, 0);
    if (reinterpret_cast<std::intptr_t>(address) == -1) { // shmat's failure value
        shmctl(segment.shmid, IPC_RMID, nullptr);
        return nullptr;
    }
    segment.shmaddr = static_cast<char*>(address);
    segment.readOnly = False;
    image->data = segment.shmaddr;
    image->obdata = reinterpret_cast<char*>(&segment);
    const auto errorsBefore = display.errorCount();
    result->attached_ = XShmAttach(handle, &segment) != 0 && display.syncSucceeded(errorsBefore);
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (!result->attached_) return nullptr;
    return result;
}

X11ShmImage::X11ShmImage(X11Display& display, XImage* image) : display_(display), image_(image) {}

X11ShmImage::~X11ShmImage() {
    if (attached_ && !display_.isBroken()) XShmDetach(display_.get(), &segment_);
    if (segment_.shmaddr) shmdt(segment_.shmaddr);
    image_->data = nullptr; // the segment, not Xlib's memory
    XDestroyImage(image_);
}

bool X11ShmImage::grab(int x, int y) {
    if (display_.isBroken()) return false;
    return XShmGetImage(display_.get(), display_.root(), image_, x, y, AllPlanes) != 0 && !display_.isBroken();
}

} // namespace orvik::helper
