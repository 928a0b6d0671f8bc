#include "permissions/x11/X11SessionProbe.hpp"

#include "platform/X11Display.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <limits>
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

// What the callers and the probe's thread share. Everything is guarded by `mutex` except the connection, which
// only the probe's thread touches, and the probe's destructor once that thread has ended.
struct X11SessionProbe::State {
    struct Answer {
        bool granted = false;
        double askedAt = 0;
        // Granted on a connection that still lives: it holds until the thread finds the connection lost.
        bool standing = false;

        bool holds(double now) const { return standing || now - askedAt < reprobeInterval; }
    };

    std::mutex mutex;
    std::condition_variable answered;
    std::array<std::optional<Answer>, questionCount> answers;
    // The server-clock time of each open question; absent: none open.
    std::array<std::optional<double>, questionCount> open;
    Environment environment;
    bool running = false;
    bool stopping = false;
    // Set when the probe went away while its thread waited for a server that does not answer: the thread then
    // makes no X call any more, and its connection is dropped without Xlib.
    bool abandoned = false;
    // Written to wake the thread: a question is open, or the probe is going.
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    std::unique_ptr<X11Display> display;
    std::string displayName;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (abandoned && display) display->markLost();
        if (wakeFd >= 0) ::close(wakeFd);
    }

    void wake() const {
        const std::uint64_t one = 1;
        // A full counter (after 2^64 wake-ups) leaves the thread awake anyway.
        (void)!::write(wakeFd, &one, sizeof one);
    }

    // The server went away, and every answer it gave with it; the next question asks again.
    void connectionLost() {
        for (auto& kept : answers) {
            if (kept) *kept = Answer{false, -std::numeric_limits<double>::infinity(), false};
        }
    }
};

X11SessionProbe::X11SessionProbe(std::function<Environment()> environment, ServerClock now)
    : environment_(std::move(environment)), now_(std::move(now)), state_(std::make_shared<State>()) {}

// The connection closes here, on the destroying thread, once the probe's thread has ended: no X call may run
// on a thread nobody waits for while the process exits. A thread stuck on a server that does not answer is left
// behind without its connection.
X11SessionProbe::~X11SessionProbe() {
    if (!worker_.joinable()) return;
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->wake();
    state_->answered.wait_for(lock, abandonAfter, [this] { return !state_->running; });
    if (state_->running) {
        state_->abandoned = true;
        lock.unlock();
        worker_.detach();
        return;
    }
    lock.unlock();
    worker_.join();
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
    auto& kept = state_->answers[question];
    if (kept && kept->holds(time)) return kept->granted;
    // A question already open waits for a server that does not answer: nobody waits for it again.
    if (state_->open[question]) return kept ? kept->granted : false;
    state_->open[question] = time;
    state_->environment = environment_();
    if (worker_.joinable()) {
        state_->wake();
    } else {
        state_->running = true;
        worker_ = std::thread([state = state_] { work(state); });
    }
    // Only when there is nothing to answer yet is a fresh answer worth a short wait.
    if (!kept) state_->answered.wait_for(lock, firstAnswerWait, [&] { return !state_->open[question]; });
    return kept ? kept->granted : false;
}

void X11SessionProbe::work(const std::shared_ptr<State>& state) {
    pthread_setname_np(pthread_self(), threadName);
    std::unique_lock lock(state->mutex);
    while (!state->stopping && !state->abandoned) {
        auto next = std::find_if(state->open.begin(), state->open.end(), [](const auto& time) { return time; });
        if (next == state->open.end()) {
            lock.unlock();
            waitForWork(*state);
            lock.lock();
            continue;
        }
        const auto question = static_cast<Question>(next - state->open.begin());
        const double askedAt = **next;
        const auto environment = state->environment;
        lock.unlock();
        const bool granted = !environment.isWayland() && ask(*state, question, environment);
        const bool standing = granted && state->display && !state->display->isBroken();
        lock.lock();
        state->answers[question] = State::Answer{granted, askedAt, standing};
        state->open[question].reset();
        state->answered.notify_all();
    }
    state->running = false;
    state->answered.notify_all();
}

// Sleeps until a question comes or the probe goes, or the server sends something: nothing was asked for but a
// keyboard mapping change goes to every client, and a server that went away shows as the end of the connection.
void X11SessionProbe::waitForWork(State& state) {
    std::array<pollfd, 2> watched{{{state.wakeFd, POLLIN, 0}, {-1, POLLIN, 0}}};
    if (state.display && !state.display->isBroken()) watched[1].fd = ConnectionNumber(state.display->get());
    // Without an eventfd, questions are looked for now and then.
    constexpr int questionsLookedForEvery = 100; // ms
    const int timeout = state.wakeFd >= 0 ? -1 : questionsLookedForEvery;
    if (::poll(watched.data(), watched.size(), timeout) <= 0) return;
    if (watched[0].revents != 0) {
        std::uint64_t count = 0;
        (void)!::read(state.wakeFd, &count, sizeof count);
    }
    if (watched[1].revents == 0) return;
    {
        std::lock_guard lock(state.mutex);
        if (state.stopping || state.abandoned) return;
    }
    Display* handle = state.display->get();
    while (!state.display->isBroken() && XPending(handle) > 0) {
        XEvent event;
        XNextEvent(handle, &event);
    }
    if (state.display->isBroken()) dropConnection(state);
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
        dropConnection(state);
    }
    if (!state.display) {
        state.display = X11Display::open(environment.display);
        state.displayName = environment.display;
    }
    return state.display.get();
}

// What the dropped connection granted no longer holds.
void X11SessionProbe::dropConnection(State& state) {
    state.display.reset();
    std::lock_guard lock(state.mutex);
    state.connectionLost();
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
