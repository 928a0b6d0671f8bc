#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace orvik::helper {

// One running helper per settings folder, so two servers never share one settings file. The first start holds
// an exclusive lock for as long as it runs (the kernel drops it when the process ends, by a crash too) and listens
// on a local socket in the settings folder (in the runtime folder where the settings folder takes none); a later
// start finds the lock taken and connects to that socket, which asks the running helper to bring its window
// forward, then ends. A connection is the whole request: the running helper answers "ok" to its own user and
// closes it. GUI thread only.
//
// The lock is taken on the settings folder itself, which needs no file in it: a read-only folder, or a file left
// there by a run as another user, cannot break it. A lock file in the runtime folder is held beside it, and alone
// where the settings folder cannot be opened or locked (not made yet and not makeable, a file system without
// locks).
class SingleInstance {
public:
    struct Paths {
        std::filesystem::path settings;
        // Empty where there is no runtime folder.
        std::filesystem::path runtimeLock;
        // The first start listens on the first of these it can make; a later start asks each in turn. The settings
        // folder's comes first: every start on those settings finds it, whatever runtime folder it was given. A
        // path longer than a socket address holds (107 bytes) cannot be used: both starts log it.
        std::vector<std::filesystem::path> sockets;

        // The socket in the settings folder; in the runtime folder (none when empty), a lock file and a socket
        // under names made from the settings folder.
        static Paths of(const std::filesystem::path& settings, const std::filesystem::path& runtime);
        // Those of the user's settings folder and $XDG_RUNTIME_DIR.
        static Paths standard();
    };

    // How long a later start waits for the running helper to answer, or for the lock while it is ending.
    static constexpr std::chrono::milliseconds handOverLimit{5000};

    enum class Start {
        first,      // this process holds the lock and listens
        handedOver, // another one runs and answered
        noAnswer,   // another one holds the lock but did not answer in time
        noLock,     // no lock could be taken anywhere: another one could be running unseen
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
    SingleInstance(std::vector<int> locks, int listener, std::filesystem::path socket);
    void answerLaterStart();

    std::vector<int> locks_;
    int listener_;
    std::filesystem::path socket_;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> bringForward_;
};

} // namespace orvik::helper
