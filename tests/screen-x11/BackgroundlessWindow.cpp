// A window without an X background, as Qt and GTK windows are: the X server paints nothing where a window above it
// leaves, so what showed there stays until this program repaints it, which it does on each Expose. Prints "ready"
// once drawn, then its window's id; a test stops it (SIGSTOP) to have a program that does not repaint.
//
//   orvik-test-backgroundless-window X Y WIDTH HEIGHT RRGGBB [managed]
//
// managed: a window the window manager frames, instead of one it leaves alone.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB [managed]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const auto number = [&](int index) { return static_cast<int>(std::strtol(argv[index], nullptr, 10)); };
    const auto width = static_cast<unsigned>(number(3));
    const auto height = static_cast<unsigned>(number(4));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = argc == 7 ? False : True;
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask;
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), number(1), number(2), width, height, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixmap | CWEventMask, &attributes);
    GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, std::strtoul(argv[5], nullptr, 16));
    XMapRaised(display, window);
    for (bool ready = false;;) {
        XEvent event{};
        XNextEvent(display, &event);
        if (event.type != Expose) continue;
        XFillRectangle(display, window, gc, 0, 0, width, height);
        XSync(display, False);
        if (!ready) std::printf("ready\n%lu\n", window);
        std::fflush(stdout);
        ready = true;
    }
}
