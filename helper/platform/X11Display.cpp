#include "platform/X11Display.hpp"

#include "core/Log.hpp"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace orvik::helper {
namespace {

// Xlib has one process-wide error handler. Ours counts errors of our own connections and passes errors of any
// other connection (a toolkit's) to the handler that was installed before.
struct ErrorRegistry {
    std::mutex mutex;
    std::vector<X11Display*> displays;
    XErrorHandler previous = nullptr;
    XIOErrorHandler previousIO = nullptr;
    bool installed = false;
    // Connections lost and dropped: kept, never freed, since libX11 cannot free them safely.
    std::vector<Display*> dropped;

    bool owns(Display* display) {
        std::lock_guard lock(mutex);
        return std::any_of(displays.begin(), displays.end(),
                           [display](X11Display* candidate) { return candidate->get() == display; });
    }
};

// Never destroyed: connections held by other static objects close after static destruction has begun.
ErrorRegistry& registry() {
    static auto* instance = new ErrorRegistry;
    return *instance;
}

// Xlib's default handler of a lost connection ends the process; for our connections only the exit handler of
// the connection (handleConnectionLoss) runs.
int handleIOError(Display* display) {
    auto& errors = registry();
    if (!errors.owns(display) && errors.previousIO) return errors.previousIO(display);
    return 0;
}

void blockPipeSignalOnThisThread() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

} // namespace

std::unique_ptr<X11Display> X11Display::open(const std::string& name) {
    // Before XOpenDisplay, which writes the connection's set-up.
    blockPipeSignalOnThisThread();
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display) return nullptr;
    return std::unique_ptr<X11Display>(new X11Display(display));
}

X11Display::X11Display(Display* display) : display_(display) {
    auto& errors = registry();
    {
        std::lock_guard lock(errors.mutex);
        errors.displays.push_back(this);
        if (!errors.installed) {
            errors.previous = XSetErrorHandler(&X11Display::handleError);
            errors.previousIO = XSetIOErrorHandler(&handleIOError);
            errors.installed = true;
        }
    }
    XSetIOErrorExitHandler(display_, &X11Display::handleConnectionLoss, this);
}

X11Display::~X11Display() {
    auto& errors = registry();
    if (isBroken()) {
        ::close(ConnectionNumber(display_));
        std::lock_guard lock(errors.mutex);
        errors.dropped.push_back(display_);
    } else {
        XCloseDisplay(display_);
    }
    std::lock_guard lock(errors.mutex);
    std::erase(errors.displays, this);
}

int X11Display::screen() const noexcept {
    return DefaultScreen(display_);
}

Window X11Display::root() const noexcept {
    return RootWindow(display_, DefaultScreen(display_));
}

Atom X11Display::atom(std::string_view name) {
    std::lock_guard lock(atomsMutex_);
    auto key = std::string(name);
    if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
    Atom value = XInternAtom(display_, key.c_str(), False);
    if (value != None) atoms_.emplace(std::move(key), value);
    return value;
}

std::string X11Display::atomName(Atom atom) {
    if (atom == None) return {};
    auto errorsBefore = errorCount();
    char* text = XGetAtomName(display_, atom);
    if (!text) return {};
    std::string name(text);
    XFree(text);
    return errorCount() == errorsBefore ? name : std::string();
}

bool X11Display::syncSucceeded(std::uint64_t errorsBefore) {
    XSync(display_, False);
    return !isBroken() && errorCount() == errorsBefore;
}

int X11Display::handleError(Display* display, XErrorEvent* event) {
    auto& errors = registry();
    X11Display* owner = nullptr;
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(errors.mutex);
        // Newest first: a connection closing on another thread may still be listed while Xlib already gave its
        // address to a new one.
        auto found = std::find_if(errors.displays.rbegin(), errors.displays.rend(),
                                  [display](X11Display* candidate) { return candidate->display_ == display; });
        if (found != errors.displays.rend()) owner = *found;
        previous = errors.previous;
    }
    if (!owner) return previous ? previous(display, event) : 0;
    owner->errors_.fetch_add(1, std::memory_order_relaxed);
    char text[128] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    Log::debug("X11", std::string("X request ") + std::to_string(event->request_code) + "." +
                          std::to_string(event->minor_code) + " failed: " + text);
    return 0;
}

void X11Display::handleConnectionLoss(Display*, void* owner) {
    static_cast<X11Display*>(owner)->broken_.store(true, std::memory_order_relaxed);
    Log::error("X11", "Connection to the X server lost");
}

} // namespace orvik::helper
