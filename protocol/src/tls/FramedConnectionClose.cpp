#include "orvik/protocol/transport/FramedConnection.hpp"

ORVIK_COROUTINE_CODE_BEGIN

namespace orvik {

namespace {
constexpr std::size_t drainChunk = 16 * 1024;
}

void FramedConnection::cancel() {
    asio::post(executor_, [self = shared_from_this()] { self->cancelNow(); });
}

void FramedConnection::cancelNow() {
    if (cancelRequested_) return;
    cancelRequested_ = true;
    switch (state_) {
    case State::idle:
    case State::startFailed:
        state_ = State::closed;
        closeSocket();
        failQueue(ConnectionError::closed());
        break;
    case State::starting:
        // start() sees the flag once the aborted handshake returns, and finishes the job.
        closeSocket();
        break;
    case State::ready:
        failAfterReady(ConnectionError::cancelled());
        state_ = State::closing;
        stream_.cancelRead();
        // What was queued goes out first, held or not.
        if (!queue_.empty()) startWriter();
        if (closeAtOnce()) break;
        asio::co_spawn(executor_, closeGracefully(shared_from_this()), asio::detached);
        break;
    case State::closing:
    case State::closed: break;
    }
}

bool FramedConnection::closeAtOnce() {
    // A peer that sent close_notify sends nothing more, so nothing is left to drain; when our close_notify also
    // goes out at once, there is nothing to wait for (and no timer to set).
    if (writing_ || !stream_.peerClosed() || !stream_.sendCloseNotifyNow()) return false;
    closeSocket();
    state_ = State::closed;
    failQueue(ConnectionError::closed());
    return true;
}

asio::awaitable<void> FramedConnection::closeGracefully([[maybe_unused]] std::shared_ptr<FramedConnection> keepAlive) {
    armCloseTimer(closeFlushTimeout);
    while (writing_) {
        asio::error_code ignored;
        co_await writerIdle_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }
    try {
        co_await stream_.sendCloseNotify();
    } catch (const ConnectionError&) {
        // The socket is gone; closing is all that is left.
    }
    // A peer that sent close_notify sends nothing more: no unread data can turn our close into a reset.
    if (!stream_.peerClosed()) {
        asio::error_code ignored;
        stream_.socket().shutdown(asio::socket_base::shutdown_send, ignored);
        armCloseTimer(closeDrainTimeout);
        co_await drainInput();
    }
    closeTimer_.cancel();
    closeSocket();
    state_ = State::closed;
    failQueue(ConnectionError::closed());
}

asio::awaitable<void> FramedConnection::drainInput() {
    std::vector<std::uint8_t> scratch(drainChunk);
    std::size_t drained = 0;
    while (drained < closeDrainLimit) {
        asio::error_code error;
        std::size_t count = co_await stream_.socket().async_read_some(asio::buffer(scratch),
                                                                      asio::redirect_error(asio::use_awaitable, error));
        if (error) break;
        drained += count;
    }
}

void FramedConnection::armCloseTimer(std::chrono::milliseconds limit) {
    closeTimer_.expires_after(limit);
    closeTimer_.async_wait([weak = weak_from_this()](std::error_code error) {
        auto connection = weak.lock();
        if (!error && connection) connection->closeSocket();
    });
}

void FramedConnection::closeSocket() {
    asio::error_code ignored;
    stream_.socket().close(ignored);
}

} // namespace orvik

ORVIK_COROUTINE_CODE_END
