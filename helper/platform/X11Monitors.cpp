#include "platform/X11Monitors.hpp"

#include <X11/extensions/Xrandr.h>

namespace orvik::helper {
namespace {

bool hasMonitorList(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase)) return false;
    if (!XRRQueryVersion(display, &major, &minor)) return false;
    return major > 1 || (major == 1 && minor >= 5);
}

MonitorLayout wholeScreen(X11Display& display) {
    Display* handle = display.get();
    int screen = display.screen();
    return {"screen", {0, 0, DisplayWidth(handle, screen), DisplayHeight(handle, screen)}, true};
}

} // namespace

std::vector<MonitorLayout> X11Monitors::layouts(X11Display& display) {
    std::vector<MonitorLayout> result;
    if (display.isBroken()) return result;
    if (hasMonitorList(display.get())) {
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(display.get(), display.root(), True, &count);
        for (int index = 0; monitors && index < count; ++index) {
            const auto& monitor = monitors[index];
            result.push_back({display.atomName(monitor.name),
                              {monitor.x, monitor.y, monitor.width, monitor.height},
                              monitor.primary != 0});
        }
        if (monitors) XRRFreeMonitors(monitors);
    }
    if (result.empty()) result.push_back(wholeScreen(display));
    return result;
}

std::vector<DisplayInfo> X11Monitors::list(X11Display& display) {
    return DisplayIdentifiers::arrange(layouts(display));
}

} // namespace orvik::helper
