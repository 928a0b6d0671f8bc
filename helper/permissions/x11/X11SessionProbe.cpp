#include "permissions/x11/X11SessionProbe.hpp"

#include "platform/X11Display.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace orvik::helper {
namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool X11SessionProbe::Environment::isWayland() const {
    return !waylandDisplay.empty() || sessionType == "wayland";
}

X11SessionProbe::Environment X11SessionProbe::Environment::current() {
    return {environmentValue("DISPLAY"), environmentValue("WAYLAND_DISPLAY"), environmentValue("XDG_SESSION_TYPE")};
}

// What the caller and the probe's thread share. Everything is guarded by `mutex` except the connection, which
// only the one working thread touches, and the probe's destructor once that thread has ended.
struct X11SessionProbe::State {
    struct Answer {
        bool granted = false;
        double time = 0;
    };

    std::mutex mutex;
    std::condition_variable answered;
    std::array<std::optional<Answer>, questionCount> answers;
    // The server-clock time of each open question; absent: none open.
    std::array<std::optional<double>, questionCount> open;
    Environment environment;
    bool working = false;
    // Set when the probe went away while its thread waited for a server that does not answer: the thread then
    // makes no X call any more, and its connection is dropped without Xlib.
    bool abandoned = false;

    std::unique_ptr<X11Display> display;
    std::string displayName;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (abandoned && display) display->markLost();
    }
};

X11SessionProbe::X11SessionProbe(std::function<Environment()> environment, ServerClock now)
    : environment_(std::move(environment)), now_(std::move(now)), state_(std::make_shared<State>()) {}

// The connection closes here, on the destroying thread, once the probe's thread has ended: no X call may run
// on a thread nobody waits for while the process exits. A thread stuck on a server that does not answer is left
// behind without its connection.
X11SessionProbe::~X11SessionProbe() {
    std::unique_lock lock(state_->mutex);
    state_->answered.wait_for(lock, abandonAfter, [this] { return !state_->working; });
    if (state_->working) {
        state_->abandoned = true;
        lock.unlock();
        worker_.detach();
        return;
    }
    lock.unlock();
    if (worker_.joinable()) worker_.join();
    state_->display.reset();
}

std::shared_ptr<X11SessionProbe> X11SessionProbe::shared() {
    static const auto instance = std::make_shared<X11SessionProbe>();
    return instance;
}

bool X11SessionProbe::canPostEvents() {
    return answer(postEvents);
}

bool X11SessionProbe::canReadScreen() {
    return answer(readScreen);
}

bool X11SessionProbe::answer(Question question) {
    const double time = now_();
    std::unique_lock lock(state_->mutex);
    auto& cached = state_->answers[question];
    if (cached && time - cached->time < reprobeInterval) return cached->granted;
    // A question already open waits for a server that does not answer: nobody waits for it again.
    if (state_->open[question]) return cached ? cached->granted : false;
    state_->open[question] = time;
    state_->environment = environment_();
    if (!state_->working) {
        state_->working = true;
        // The previous thread has set `working` aside and needs the lock no more: it ends at once.
        if (worker_.joinable()) worker_.join();
        worker_ = std::thread([state = state_] { work(state); });
    }
    state_->answered.wait_for(lock, answerWait, [&] { return !state_->open[question]; });
    return cached ? cached->granted : false;
}

void X11SessionProbe::work(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        auto next = std::find_if(state->open.begin(), state->open.end(), [](const auto& time) { return time; });
        if (next == state->open.end() || state->abandoned) break;
        const auto question = static_cast<Question>(next - state->open.begin());
        const double askedAt = **next;
        const auto environment = state->environment;
        lock.unlock();
        const bool granted = !environment.isWayland() && ask(*state, question, environment);
        lock.lock();
        state->answers[question] = State::Answer{granted, askedAt};
        state->open[question].reset();
        state->answered.notify_all();
    }
    state->working = false;
    state->answered.notify_all();
}

bool X11SessionProbe::ask(State& state, Question question, const Environment& environment) {
    auto check = question == postEvents ? &X11SessionProbe::hasXTest : &X11SessionProbe::rootReadable;
    X11Display* display = connection(state, environment);
    bool granted = display && check(*display);
    // A connection found lost just now may have a new server behind its display (a restarted one).
    if (display && display->isBroken()) {
        display = connection(state, environment);
        granted = display && check(*display);
    }
    return granted;
}

X11Display* X11SessionProbe::connection(State& state, const Environment& environment) {
    if (state.display && (state.display->isBroken() || state.displayName != environment.display)) {
        state.display.reset();
    }
    if (!state.display) {
        state.display = X11Display::open(environment.display);
        state.displayName = environment.display;
    }
    return state.display.get();
}

bool X11SessionProbe::hasXTest(X11Display& display) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    auto errorsBefore = display.errorCount();
    bool present = XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor);
    // The round trip also tells whether the server is still there.
    return present && display.syncSucceeded(errorsBefore);
}

bool X11SessionProbe::rootReadable(X11Display& display) {
    auto errorsBefore = display.errorCount();
    XImage* image = XGetImage(display.get(), display.root(), 0, 0, 1, 1, AllPlanes, ZPixmap);
    if (!image) return false;
    XDestroyImage(image);
    return display.syncSucceeded(errorsBefore);
}

} // namespace orvik::helper
