#include "core/LoopPresence.hpp"

#include <vector>

namespace orvik::helper {

// One per context: closed while the context is destroyed, before its scheduler goes.
class LoopPresenceService final : public asio::execution_context::service {
public:
    static inline asio::execution_context::id id;

    explicit LoopPresenceService(asio::execution_context& context) : service(context) {}

    const std::shared_ptr<LoopPresence>& presence() const { return presence_; }

private:
    void shutdown() override {
        std::lock_guard lock(presence_->mutex_);
        presence_->present_ = false;
    }

    std::shared_ptr<LoopPresence> presence_ = std::make_shared<LoopPresence>();
};

namespace {

// Work for loops that are gone, kept until the process ends (reachable, so not a leak).
void keepUnrun(std::function<void()> work) {
    static std::mutex mutex;
    static auto* kept = new std::vector<std::function<void()>>;
    std::lock_guard lock(mutex);
    kept->push_back(std::move(work));
}

} // namespace

std::shared_ptr<LoopPresence> LoopPresence::of(const asio::any_io_executor& executor) {
    auto& context = asio::query(executor, asio::execution::context);
    return asio::use_service<LoopPresenceService>(context).presence();
}

void LoopPresence::post(const asio::any_io_executor& executor, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (present_) {
            asio::post(executor, std::move(work));
            return;
        }
    }
    keepUnrun(std::move(work));
}

} // namespace orvik::helper
