#include "core/IoThread.hpp"

#include "core/Log.hpp"

#include <pthread.h>

#include <exception>

namespace orvik::helper {

IoThread::IoThread(std::string name, AtDestruction atDestruction)
    : atDestruction_(atDestruction), work_(asio::make_work_guard(context_)) {
    thread_ = std::thread([this, name = std::move(name)] {
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        for (;;) {
            try {
                context_.run();
                return;
            } catch (const std::exception& error) {
                Log::fault("Core", std::string("Unexpected error on ") + name + ": " + error.what());
            }
        }
    });
}

IoThread::~IoThread() {
    work_.reset();
    if (atDestruction_ == AtDestruction::dropPendingWork) context_.stop();
    if (thread_.joinable()) thread_.join();
}

} // namespace orvik::helper
