#pragma once

#include "core/LoopPresence.hpp"

#include <asio.hpp>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace orvik::helper {

namespace detail {

// Makes the initiation of an operation whose completion callback takes `Values...` and may be called from any
// thread; the awaiting coroutine is resumed on its own executor. A second call of the callback is ignored, and so
// is a call after the awaiting loop was destroyed.
template <class... Values, class Start> auto callbackInitiation(Start start) {
    return [start = std::move(start)](auto handler) mutable {
        using Handler = decltype(handler);
        asio::any_io_executor executor = asio::get_associated_executor(handler);
        auto loop = LoopPresence::of(executor);
        auto held = std::make_shared<std::optional<Handler>>(std::move(handler));
        auto called = std::make_shared<std::atomic<bool>>(false);
        start([held, called, executor, loop](Values... values) {
            if (called->exchange(true)) return;
            // The awaiting coroutine moves into the work: whatever thread drops this callback afterwards (the
            // service's own) never destroys it. The work runs it, or is dropped with the loop, on the loop's side.
            auto moved = std::make_shared<std::optional<Handler>>(std::move(**held));
            held->reset();
            loop->post(executor, [moved, values = std::make_tuple(std::move(values)...)]() mutable {
                auto resume = std::move(**moved);
                moved->reset();
                std::apply([&](auto&&... args) { std::move(resume)(std::move(args)...); }, std::move(values));
            });
        });
    };
}

} // namespace detail

// Awaits an operation that reports its end through a callback without arguments (the style of the injected
// services). `start` receives that callback.
//
// Callers pass a named callable, never a lambda written inside the co_await expression: g++ 12 mishandles
// closure and braced-initialised temporaries of a co_await expression (destroys them twice, or copies them
// bitwise), so every such argument is a named variable.
template <class Start> asio::awaitable<void> awaitCompletion(Start start) {
    auto initiation = detail::callbackInitiation<>(std::move(start));
    co_await asio::async_initiate<const asio::use_awaitable_t<>, void()>(std::move(initiation), asio::use_awaitable);
}

// Awaits an operation that reports one value through a callback. `start` receives that callback.
template <class T, class Start> asio::awaitable<T> awaitResult(Start start) {
    auto initiation = detail::callbackInitiation<T>(std::move(start));
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(T)>(std::move(initiation),
                                                                                    asio::use_awaitable);
}

} // namespace orvik::helper
