#include "onboarding/ViewTiming.hpp"

#include <QTimer>

namespace orvik::helper {
namespace {

class QtTicker final : public Ticker {
public:
    QtTicker() { timer_.setInterval(period); }
    void start(std::function<void()> tick) override {
        timer_.disconnect();
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        timer_.start();
    }
    void stop() override { timer_.stop(); }
    bool isRunning() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

ViewTiming ViewTiming::system() {
    return {[] { return std::chrono::system_clock::now(); }, [] { return std::make_unique<QtTicker>(); }};
}

} // namespace orvik::helper
