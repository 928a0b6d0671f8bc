#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace orvik::helper {

// One running helper per settings folder, so two servers never share one settings file. The first start holds
// an exclusive lock on a file in the settings folder for as long as it runs (the kernel drops it when the
// process ends, by a crash too) and listens on a local socket in the runtime folder; a later start finds the
// lock taken and connects to that socket, which asks the running helper to bring its window forward, then ends.
// A connection is the whole request: the running helper answers "ok" and closes it. GUI thread only.
class SingleInstance {
public:
    struct Paths {
        std::filesystem::path lock;
        std::filesystem::path socket;

        // Beside the settings file, and in $XDG_RUNTIME_DIR under a name made from the settings folder (in the
        // settings folder where no runtime folder is set).
        static Paths standard();
    };

    // How long a later start waits for the running helper to answer, or for the lock while it is ending.
    static constexpr std::chrono::milliseconds handOverLimit{5000};

    enum class Start {
        first,      // this process holds the lock and listens
        handedOver, // another one runs and answered
        noAnswer,   // another one holds the lock but did not answer in time
    };

    // Takes the lock and listens, or hands over to the helper holding it. `instance` receives the held lock.
    static Start claim(const Paths& paths, std::unique_ptr<SingleInstance>& instance,
                       std::chrono::milliseconds limit = handOverLimit);

    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Runs `bringForward` for every later start, once the event loop runs. Needs the application object, which
    // owns what watches.
    void onLaterStart(std::function<void()> bringForward);

private:
    SingleInstance(int lock, int listener, std::filesystem::path socket);
    void answerLaterStart();

    int lock_;
    int listener_;
    std::filesystem::path socket_;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> bringForward_;
};

} // namespace orvik::helper
