#include "server/HelperServerThread.hpp"

#include "core/Log.hpp"

#include <pthread.h>

#include <exception>

namespace orvik::helper {

HelperServerThread::HelperServerThread() : work_(asio::make_work_guard(context_)) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), threadName);
        for (;;) {
            try {
                context_.run();
                return;
            } catch (const std::exception& error) {
                // A handler that throws must not take the whole server down with it.
                Log::fault("Server", std::string("Unexpected error: ") + error.what());
            }
        }
    });
}

HelperServerThread::~HelperServerThread() {
    work_.reset();
    context_.stop();
    if (thread_.joinable()) thread_.join();
}

} // namespace orvik::helper
