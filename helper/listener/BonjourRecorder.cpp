#include "listener/BonjourRecorder.hpp"

#include <asio/post.hpp>

namespace orvik::helper {

class BonjourRecorder::Advertiser final : public BonjourAdvertising {
public:
    Advertiser(std::shared_ptr<BonjourRecorder> recorder, asio::any_io_executor executor)
        : recorder_(std::move(recorder)), executor_(std::move(executor)) {}

    void advertise(BonjourService service, StateHandler onState) override {
        std::lock_guard lock(recorder_->mutex_);
        recorder_->calls_.push_back({Call::Kind::advertise, service});
        recorder_->current_ = std::move(service);
        recorder_->executor_ = executor_;
        recorder_->handler_ = std::move(onState);
        ++recorder_->generation_;
    }

    void withdraw() override {
        std::lock_guard lock(recorder_->mutex_);
        recorder_->calls_.push_back({Call::Kind::withdraw, {}});
        recorder_->current_.reset();
        recorder_->handler_ = nullptr;
        ++recorder_->generation_;
    }

private:
    std::shared_ptr<BonjourRecorder> recorder_;
    asio::any_io_executor executor_;
};

std::shared_ptr<BonjourRecorder> BonjourRecorder::make() {
    return std::shared_ptr<BonjourRecorder>(new BonjourRecorder());
}

BonjourAdvertiserFactory BonjourRecorder::factory() {
    return [self = shared_from_this()](asio::any_io_executor executor) -> std::unique_ptr<BonjourAdvertising> {
        return std::make_unique<Advertiser>(self, std::move(executor));
    };
}

std::vector<BonjourRecorder::Call> BonjourRecorder::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::optional<BonjourService> BonjourRecorder::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void BonjourRecorder::report(BonjourState state) {
    std::lock_guard lock(mutex_);
    if (!handler_ || !executor_) return;
    // Delivered only if the advertisement is still the current one when the executor runs it.
    asio::post(*executor_, [self = shared_from_this(), generation = generation_, state = std::move(state)] {
        BonjourAdvertising::StateHandler handler;
        {
            std::lock_guard guard(self->mutex_);
            if (self->generation_ != generation) return;
            handler = self->handler_;
        }
        if (handler) handler(state);
    });
}

} // namespace orvik::helper
