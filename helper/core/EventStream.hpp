#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace orvik::helper {

// A stream of values from one producer thread to one consumer that keeps only the newest `capacity` values not
// yet taken. Publishing never waits for the consumer: it takes the lock only to append (dropping the oldest value
// when full) and then calls the wake callback, which should only schedule the consumer (e.g. post to the GUI
// thread), never drain inline. The consumer takes values with next() or drain() on its own thread.
template <class T> class EventStream {
public:
    using Wake = std::function<void()>;

    explicit EventStream(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // Sets the callback run after each publish and after finish; it may run on the producer's thread.
    void setWake(Wake wake) {
        std::lock_guard lock(mutex_);
        wake_ = std::move(wake);
    }

    // Appends a value; ignored once the stream is finished.
    void publish(T value) {
        Wake wake;
        {
            std::lock_guard lock(mutex_);
            if (finished_) return;
            if (values_.size() == capacity_) values_.pop_front();
            values_.push_back(std::move(value));
            wake = wake_;
        }
        if (wake) wake();
    }

    // Ends the stream: values still held can be taken, nothing more is appended.
    void finish() {
        Wake wake;
        {
            std::lock_guard lock(mutex_);
            if (finished_) return;
            finished_ = true;
            wake = wake_;
        }
        if (wake) wake();
    }

    // The oldest value not yet taken, or absent when none is waiting.
    std::optional<T> next() {
        std::lock_guard lock(mutex_);
        if (values_.empty()) return std::nullopt;
        T value = std::move(values_.front());
        values_.pop_front();
        return value;
    }

    // Every value waiting, oldest first.
    std::vector<T> drain() {
        std::lock_guard lock(mutex_);
        std::vector<T> taken(std::make_move_iterator(values_.begin()), std::make_move_iterator(values_.end()));
        values_.clear();
        return taken;
    }

    bool isFinished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }

    std::size_t capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<T> values_;
    Wake wake_;
    bool finished_ = false;
};

} // namespace orvik::helper
