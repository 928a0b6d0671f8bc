// A stand-in application for the app tests: one top-level window with the WM_CLASS given as its argument, which
// exits when the window manager asks it to close the window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <string>

int main(int argc, char** argv) {
    std::string name = argc > 1 ? argv[1] : "OrvikTestApp";
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, WhitePixel(display, 0));
    XClassHint hint{name.data(), name.data()};
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, name.c_str());
    const long pid = ::getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XMapWindow(display, window);
    for (;;) {
        XEvent event{};
        XNextEvent(display, &event);
        if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) break;
    }
    XCloseDisplay(display);
    return 0;
}
