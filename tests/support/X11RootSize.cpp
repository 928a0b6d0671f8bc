#include "X11RootSize.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace orvik::test {

bool setRootSize(int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const Window root = DefaultRootWindow(display);
    const int screen = DefaultScreen(display);
    XGrabServer(display);
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    for (int index = 0; resources && index < resources->ncrtc; ++index) {
        XRRSetCrtcConfig(display, resources, resources->crtcs[index], CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
    }
    XRRSetScreenSize(display, root, width, height,
                     DisplayWidthMM(display, screen) * width / DisplayWidth(display, screen),
                     DisplayHeightMM(display, screen) * height / DisplayHeight(display, screen));
    XUngrabServer(display);
    XSync(display, False);
    if (resources) XRRFreeScreenResources(resources);
    XCloseDisplay(display);
    return true;
}

} // namespace orvik::test
