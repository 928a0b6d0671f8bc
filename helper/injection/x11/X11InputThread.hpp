#pragma once

#include "core/ServerClock.hpp"
#include "injection/InputSink.hpp"
#include "injection/x11/X11Pointer.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper {

class X11InputConnection;
class X11Keyboard;

// The X thread of the sink: the only thread that makes X calls for it. Callers enqueue input and read a state
// the thread keeps fresh from the server's events (monitors, screen saver); neither waits for the X server, and
// reading seldom wakes the thread (see desktopMaxAge). The pointer is not followed (the user's own motion would wake
// the thread for nothing): cursor() asks the server where it is, in turn with the input, and answers at once with
// the last place known meanwhile. Mouse input posted after that question was placed from that answer: the thread
// replays it from where the pointer really was (X11Pointer::Replay), until the caller has taken the real place
// (settledCursor()) or placed the pointer itself (forgetCursor()).
//
// Input runs in the order it was posted. Input that waits for a spare keycode holds back everything after it.
// When the X server goes away, the input meant for it goes with it; input posted while no server is there waits
// up to `reconnectWait` for one to come back, and the thread tries to reconnect while someone needs it.
//
// The thread holds its object alive, so a sink that cannot wait for a stuck X server may leave it behind.
class X11InputThread : public std::enable_shared_from_this<X11InputThread> {
public:
    // One piece of input; false when it must wait for a spare keycode, and is run again later from where it
    // stopped. `now` is the sink clock's time.
    using Operation = std::function<bool(X11Keyboard&, X11Pointer&, double now)>;

    // Linux cuts thread names at 15 characters.
    static constexpr const char* threadName = "Orvik.X11Input";
    static constexpr std::chrono::milliseconds reconnectInterval{500};
    static constexpr std::chrono::milliseconds reconnectWait{2000};
    // Monitors and the screen saver are re-read when the server reports a change. A monitor a client defines
    // (`xrandr --setmonitor`) is reported to no one, so they are also re-read with input older than
    // `desktopMaxAgeForInput` (the thread is awake for it anyway), and when someone reads them and they are older
    // than `desktopMaxAge` (the status every connected phone gets every two seconds reads them).
    static constexpr std::chrono::milliseconds desktopMaxAgeForInput{1000};
    static constexpr std::chrono::seconds desktopMaxAge{30};
    static constexpr std::chrono::milliseconds firstConnectionLimit{3000};

    // Starts the thread and waits (at most firstConnectionLimit) for its first connection attempt.
    static std::shared_ptr<X11InputThread> start(std::string displayName, ServerClock now);
    ~X11InputThread();
    X11InputThread(const X11InputThread&) = delete;
    X11InputThread& operator=(const X11InputThread&) = delete;

    // Queues `operation`; `motion` is where it moves the pointer, which cursor() reports until the move has run.
    void post(Operation operation, std::optional<DisplayPoint> motion = std::nullopt);

    bool isConnected();
    // Where the pointer is after everything posted so far, without waiting: unsettled while the server has not yet
    // answered the question this asks (see above).
    CursorReading cursor();
    // After an unsettled cursor(): the real place once the server has answered and the input placed from the
    // answer has run, else absent. Asks nothing.
    std::optional<DisplayPoint> settledCursor();
    // After an unsettled cursor(): input posted from here on goes where it was placed.
    void forgetCursor();
    std::vector<DisplayInfo> monitors();
    bool screenSaverOn();
    // A monitor's bounds as the input controller and the replayed motion see them.
    static DisplayRect rectOf(const DisplayInfo& display);

    // Waits until everything that can run now has run and the server has handled it; false after `limit`.
    bool settle(std::chrono::milliseconds limit);
    // Lets go of what the thread holds on the server and ends it; false when it did not end within `limit`
    // (it is then left to finish on its own).
    bool stop(std::chrono::milliseconds limit);

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Operation operation;
        std::uint64_t sequence = 0;
        Clock::time_point postedAt;
        // Asks where the pointer is, in turn with the input (no operation).
        bool asksPointer = false;
    };
    // A question for the pointer's place, and the input the caller placed from the unsettled answer to it.
    struct Anchor {
        std::uint64_t question = 0;
        DisplayPoint toldCaller;
        bool answered = false;
        // From where the pointer really was, then where the replayed input has left it; absent when X did not say.
        std::optional<X11Pointer::Replay> replay;
        // The last input placed from the answer, once the caller took the real place or placed the pointer itself.
        std::optional<std::uint64_t> lastReplayed;
    };
    // What callers read.
    struct Shared {
        bool connected = false;
        DisplayPoint cursor;
        PixelRect screen;
        std::vector<DisplayInfo> monitors;
        bool screenSaverOn = false;
        Clock::time_point desktopReadAt;
        // While input placed from an answer to a question waits to run.
        std::optional<Anchor> anchor;
    };

    X11InputThread(std::string displayName, ServerClock now);
    void run();
    void connect();
    void disconnect();
    void work(double now, bool desktopWanted);
    void runOperations(double now);
    void readDesktop();
    void readPointer();
    void answerPointer(std::uint64_t question);
    // Runs one operation, replayed when it was placed from an answer; false when it must wait.
    bool runOperation(Pending& pending, double now);
    // How the input with this sequence number is replayed; absent when it goes where it was placed.
    std::optional<X11Pointer::Replay> replayFor(std::uint64_t sequence);
    // With mutex_ held: once the answer is in and the input placed from it has run, the caller takes the real place
    // from here on; false before.
    bool settleAnchor();
    void dropExpired();
    void waitForWork(double now);
    void shutDown();
    void dropConnection();
    void wake();
    // With mutex_ held: asks for monitors and the screen saver when they are older than `maxAge` (or there is no
    // connection); true when the thread must be woken for it.
    bool wantDesktopIfOlderThan(Clock::duration maxAge);

    const std::string displayName_;
    const ServerClock now_;
    int wakeFd_ = -1; // an eventfd callers write to
    int waitFd_ = -1; // epoll over wakeFd_ and the server's socket

    std::mutex mutex_;
    std::condition_variable changed_;
    Shared shared_;
    std::deque<Pending> inbox_;
    std::uint64_t posted_ = 0;
    std::uint64_t lastMotion_ = 0;
    std::uint64_t lastRun_ = 0;
    bool desktopWanted_ = false;
    bool connectionWanted_ = false;
    std::uint64_t settleRequested_ = 0;
    std::uint64_t settled_ = 0;
    bool attempted_ = false;
    bool stopping_ = false;
    bool finished_ = false;

    // The X thread only.
    std::unique_ptr<X11InputConnection> connection_;
    std::deque<Pending> queue_;
    std::optional<Clock::time_point> lastAttempt_;
    bool serverReadable_ = false; // the last wait ended with something to read from the server
    std::thread thread_;
};

} // namespace orvik::helper
