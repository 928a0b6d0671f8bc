#pragma once

#include <asio.hpp>

#include <optional>
#include <thread>

namespace orvik::helper {

// The server's own thread: one io_context run by one thread named "Orvik.HelperSer" (names are cut at 15
// characters). The server, its listener, every connection and every timer run there.
//
// Destroying it stops the thread and then destroys every operation still pending, which releases what those
// operations hold (sessions hold the server). Destroy it after dropping your own references to the server, and
// never from its own thread.
class HelperServerThread {
public:
    static constexpr const char* threadName = "Orvik.HelperSer";

    HelperServerThread();
    ~HelperServerThread();

    HelperServerThread(const HelperServerThread&) = delete;
    HelperServerThread& operator=(const HelperServerThread&) = delete;

    asio::any_io_executor executor() { return context_.get_executor(); }
    std::thread::id threadID() const { return thread_.get_id(); }

private:
    asio::io_context context_{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
};

} // namespace orvik::helper
