#pragma once

#include <asio.hpp>

#include <optional>
#include <string>
#include <thread>

namespace orvik::helper {

// One io_context run by one named thread: the server's serial queue, the pasteboard's worker, a test phone.
// Handlers that throw are logged and the loop goes on, so one faulty handler cannot stop the thread.
//
// Destroying it either stops the thread at once and then destroys every operation still pending, which
// releases what those operations hold (a server's sessions), or first lets the pending work run to its end (a
// worker whose queued calls must still happen). Destroy it after dropping your own references to what runs there,
// and never from its own thread.
class IoThread {
public:
    enum class AtDestruction { dropPendingWork, finishPendingWork };

    // Linux cuts thread names at 15 characters.
    explicit IoThread(std::string name, AtDestruction atDestruction = AtDestruction::dropPendingWork);
    ~IoThread();

    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    asio::any_io_executor executor() { return context_.get_executor(); }
    std::thread::id threadID() const { return thread_.get_id(); }

private:
    AtDestruction atDestruction_;
    asio::io_context context_{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
};

} // namespace orvik::helper
