#pragma once

#include <functional>

class QSocketNotifier;

namespace orvik::helper {

// Ends the application on SIGINT (Ctrl+C), SIGTERM (the session ending) and SIGHUP (its terminal closing) through
// the same clean path as Quit: the handler only writes a byte that the GUI thread reads. Install it early: a
// signal that arrives before the event loop runs is acted on once it does. One per process; GUI thread only.
class QuitSignals {
public:
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // What a signal does; runs on the GUI thread. Needs the application object, which owns what watches.
    void onSignal(std::function<void()> quit);

private:
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> quit_;
};

} // namespace orvik::helper
