#pragma once

#include "screen/PixelBuffer.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace orvik::helper {

// Hands out pixel buffers of one size and takes them back when their last user lets go, so a running capture
// allocates nothing per frame. A buffer is free when the pool holds its only reference. The pool grows while every
// buffer is in use (a slow encoder) up to `limit`; beyond it `acquire` answers nothing and the caller drops the
// frame rather than letting memory grow without bound. Thread-safe.
class PixelBufferPool {
public:
    static constexpr std::size_t defaultLimit = 8;

    PixelBufferPool(int width, int height, std::size_t limit = defaultLimit)
        : width_(width), height_(height), limit_(limit) {}

    int width() const { return width_; }
    int height() const { return height_; }

    std::shared_ptr<PixelBuffer> acquire() {
        std::lock_guard lock(mutex_);
        for (auto& buffer : buffers_) {
            if (buffer.use_count() == 1) return buffer;
        }
        if (buffers_.size() >= limit_) return nullptr;
        buffers_.push_back(std::make_shared<PixelBuffer>(width_, height_));
        return buffers_.back();
    }

private:
    const int width_;
    const int height_;
    const std::size_t limit_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<PixelBuffer>> buffers_;
};

} // namespace orvik::helper
