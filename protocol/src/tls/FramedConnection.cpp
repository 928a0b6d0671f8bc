#include "orvik/protocol/transport/FramedConnection.hpp"

#include <stdexcept>
#include <string>

ORVIK_COROUTINE_CODE_BEGIN

namespace orvik {

namespace {

// Larger than one TLS record, so a read usually takes whatever has arrived.
constexpr std::size_t receiveChunk = 64 * 1024;
// Most bytes of frames joined into one write (one burst of TLS records, one send). A larger frame goes alone.
constexpr std::size_t writeBatchLimit = 64 * 1024;

std::optional<asio::ip::tcp::endpoint> endpointOf(asio::ip::tcp::socket& socket, bool remote) {
    asio::error_code error;
    auto endpoint = remote ? socket.remote_endpoint(error) : socket.local_endpoint(error);
    if (error) return std::nullopt;
    return endpoint;
}

} // namespace

std::shared_ptr<FramedConnection> FramedConnection::accepted(asio::ip::tcp::socket socket,
                                                             std::shared_ptr<asio::ssl::context> serverContext,
                                                             std::optional<asio::ip::tcp::endpoint> peer) {
    return std::make_shared<FramedConnection>(Passkey{}, TlsStream::Role::server, std::move(socket),
                                              std::move(serverContext), std::move(peer));
}

std::shared_ptr<FramedConnection> FramedConnection::connected(asio::ip::tcp::socket socket,
                                                              std::shared_ptr<asio::ssl::context> clientContext) {
    return std::make_shared<FramedConnection>(Passkey{}, TlsStream::Role::client, std::move(socket),
                                              std::move(clientContext));
}

asio::awaitable<std::shared_ptr<FramedConnection>>
FramedConnection::connect(std::string host, std::uint16_t port, PreSharedKey key, std::chrono::milliseconds timeout) {
    auto context = OrvikTLS::clientContext(std::move(key));
    co_return co_await connect(std::move(host), port, std::move(context), timeout);
}

asio::awaitable<std::shared_ptr<FramedConnection>>
FramedConnection::connect(std::string host, std::uint16_t port, std::shared_ptr<asio::ssl::context> clientContext,
                          std::chrono::milliseconds timeout) {
    using namespace asio::experimental::awaitable_operators;
    if (host.empty() || port == 0) throw ConnectionError::invalidEndpoint();
    auto executor = co_await asio::this_coro::executor;
    asio::ip::tcp::resolver resolver(executor);
    asio::ip::tcp::socket socket(executor);
    // One budget for both steps; errors are redirected so that `||` ends with whichever finishes first.
    asio::steady_timer deadline(executor, timeout);
    std::error_code resolveError, connectError, timerError;

    auto resolved = co_await (
        resolver.async_resolve(host, std::to_string(port), asio::redirect_error(asio::use_awaitable, resolveError)) ||
        deadline.async_wait(asio::redirect_error(asio::use_awaitable, timerError)));
    if (resolved.index() == 1) throw ConnectionError::timedOut();
    if (resolveError)
        throw ConnectionError::failed(resolveError, "cannot resolve " + host + ": " + resolveError.message());

    auto connected = co_await (
        asio::async_connect(socket, std::get<0>(resolved), asio::redirect_error(asio::use_awaitable, connectError)) ||
        deadline.async_wait(asio::redirect_error(asio::use_awaitable, timerError)));
    if (connected.index() == 1) throw ConnectionError::timedOut();
    if (connectError) throw ConnectionError::failed(connectError);
    OrvikTLS::configureSocket(socket);

    co_return std::make_shared<FramedConnection>(Passkey{}, TlsStream::Role::client, std::move(socket),
                                                 std::move(clientContext));
}

FramedConnection::FramedConnection(Passkey, TlsStream::Role role, asio::ip::tcp::socket socket,
                                   std::shared_ptr<asio::ssl::context> context,
                                   std::optional<asio::ip::tcp::endpoint> peer)
    : executor_(socket.get_executor()), stream_(std::move(socket), std::move(context), role),
      remoteEndpoint_(peer ? std::move(peer) : endpointOf(stream_.socket(), true)),
      writerIdle_(executor_, asio::steady_timer::time_point::max()),
      drained_(executor_, asio::steady_timer::time_point::max()), handshakeTimer_(executor_), closeTimer_(executor_) {
    peerAddress_ = remoteEndpoint_ ? remoteEndpoint_->address().to_string() : "unknown";
}

std::optional<asio::ip::tcp::endpoint> FramedConnection::localEndpoint() {
    return endpointOf(stream_.socket(), false);
}

asio::awaitable<void> FramedConnection::start(std::chrono::milliseconds timeout, TerminationHandler onTermination) {
    auto self = shared_from_this();
    if (cancelRequested_) throw ConnectionError::cancelled();
    if (state_ != State::idle) throw std::logic_error("FramedConnection started twice");
    state_ = State::starting;

    handshakeTimer_.expires_after(timeout);
    handshakeTimer_.async_wait([weak = weak_from_this()](std::error_code error) {
        auto connection = weak.lock();
        if (error || !connection || connection->state_ != State::starting) return;
        connection->timedOut_ = true;
        connection->closeSocket();
    });
    std::optional<ConnectionError> failure;
    try {
        co_await stream_.handshake();
    } catch (const ConnectionError& error) {
        failure = error;
    }
    handshakeTimer_.cancel();

    // Besides the timer and cancel(), which close the socket, only a cancellation of the awaiting coroutine
    // aborts the handshake's socket operations: that cancels the connection too.
    const auto* network = failure ? &failure->networkError() : nullptr;
    if (network && *network && (*network)->code == asio::error::operation_aborted) cancelRequested_ = true;
    if (timedOut_ || cancelRequested_) {
        state_ = State::closed;
        closeSocket();
        failQueue(ConnectionError::closed());
        throw timedOut_ ? ConnectionError::timedOut() : ConnectionError::cancelled();
    }
    if (failure) {
        state_ = State::startFailed;
        failQueue(*failure);
        throw *failure;
    }

    state_ = State::ready;
    onTermination_ = std::move(onTermination);
    pskIdentity_ = stream_.pskIdentity();
    cipherSuite_ = stream_.cipherName();
    if (!queue_.empty()) startWriter();
}

asio::awaitable<ReceivedMessage> FramedConnection::receive() {
    const Frame frame = co_await receiveFrame();
    co_return ReceivedMessage::decode(frame);
}

asio::awaitable<Frame> FramedConnection::receiveFrame() {
    auto self = shared_from_this();
    for (;;) {
        if (cancelRequested_) throw ConnectionError::cancelled();
        if (state_ != State::ready) throw ConnectionError::closed();
        std::optional<ConnectionError> oversize;
        try {
            if (auto frame = reader_.next()) co_return std::move(*frame);
        } catch (const DecodingError& error) {
            oversize = ConnectionError::failed(std::make_error_code(std::errc::message_size), error.what());
        }
        if (oversize) {
            // The stream cannot be resynchronised after a refused header.
            failAfterReady(*oversize);
            cancelNow();
            throw *oversize;
        }
        if (failure_) throw *failure_;

        // Made at the first read: a connection that never finishes its handshake never needs it. Not zeroed:
        // only what a read filled is ever looked at.
        if (!readBuffer_) readBuffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(receiveChunk);
        std::size_t count = 0;
        try {
            count = co_await stream_.readSome({readBuffer_.get(), receiveChunk});
        } catch (const ConnectionError& error) {
            if (error.kind() != ConnectionError::Kind::cancelled) failAfterReady(error);
            throw;
        }
        reader_.append({readBuffer_.get(), count});
    }
}

void FramedConnection::send(OrvikMessage message, SendCompletion completion) {
    // Framing runs on the caller's thread; only the queue lives on the executor.
    auto frame = message.frame();
    enqueue(frame ? std::optional<Bytes>(frame->encoded()) : std::nullopt, std::move(completion));
}

void FramedConnection::sendFrame(Frame frame, SendCompletion completion) {
    enqueue(frame.fitsLimit() ? std::optional<Bytes>(frame.encoded()) : std::nullopt, std::move(completion));
}

void FramedConnection::enqueue(std::optional<Bytes> bytes, SendCompletion completion) {
    // Runs at once on the connection's own thread (a round trip through the executor costs a reactor poll);
    // refusals still complete later, never inside send().
    asio::dispatch(executor_, [self = shared_from_this(), bytes = std::move(bytes),
                               completion = std::move(completion)]() mutable {
        bool accepting = !self->cancelRequested_ && (self->state_ == State::idle || self->state_ == State::starting ||
                                                     self->state_ == State::ready);
        if (!bytes || !accepting) {
            asio::post(self->executor_,
                       [completion = std::move(completion)] { complete(completion, ConnectionError::closed()); });
            return;
        }
        if (self->queuedBytes_ + bytes->size() > outgoingHardLimit) {
            asio::post(self->executor_,
                       [completion = std::move(completion)] { complete(completion, ConnectionError::closed()); });
            self->refuseOverflow();
            return;
        }
        self->queuedBytes_ += bytes->size();
        self->queue_.push_back({std::move(*bytes), std::move(completion)});
        if (self->state_ == State::ready && self->holds_ == 0) self->startWriter();
    });
}

FramedConnection::WriteHold::WriteHold(std::shared_ptr<FramedConnection> connection)
    : connection_(std::move(connection)) {
    ++connection_->holds_;
}

FramedConnection::WriteHold::~WriteHold() {
    try {
        connection_->releaseHold();
    } catch (...) {
        // Only running out of memory gets here: the writer stops, and the next send starts it again.
        connection_->writing_ = false;
    }
}

void FramedConnection::releaseHold() {
    if (--holds_ > 0 || state_ != State::ready || queue_.empty() || writing_) return;
    writing_ = true;
    writeQueued();
}

void FramedConnection::startWriter() {
    if (writing_) return;
    writing_ = true;
    // The writer starts after the work already posted, so that frames sent in this turn of the executor (a reply
    // and the status behind it) go out in its first write.
    asio::post(executor_, [self = shared_from_this()] { self->writeQueued(); });
}

std::vector<FramedConnection::Outgoing> FramedConnection::takeBatch() {
    std::vector<Outgoing> batch;
    std::size_t bytes = 0;
    while (!queue_.empty() && (batch.empty() || bytes + queue_.front().bytes.size() <= writeBatchLimit)) {
        bytes += queue_.front().bytes.size();
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
    return batch;
}

void FramedConnection::writeQueued() {
    // Sent here without a coroutine (nearly every write fits the socket): one spawned for each would cost a turn
    // of the executor to finish.
    while (!queue_.empty()) {
        // Everything queued meanwhile, up to the limit, in one write.
        auto batch = takeBatch();
        Bytes joined;
        if (batch.size() > 1) {
            for (const auto& frame : batch) joined.insert(joined.end(), frame.bytes.begin(), frame.bytes.end());
        }
        const ByteView outgoing = batch.size() > 1 ? ByteView(joined) : ByteView(batch.front().bytes);
        std::size_t taken = 0;
        std::optional<ConnectionError> failure;
        try {
            while (taken < outgoing.size() && !stream_.hasPendingOutput()) {
                taken += stream_.writeNow(outgoing.subspan(taken));
            }
        } catch (const ConnectionError& error) {
            failure = error;
        }
        if (!failure && (taken < outgoing.size() || stream_.hasPendingOutput())) {
            asio::co_spawn(executor_, writeRest(shared_from_this(), std::move(batch), std::move(joined), taken),
                           asio::detached);
            return;
        }
        batchWritten(batch, failure);
    }
    writerFinished();
}

asio::awaitable<void> FramedConnection::writeRest([[maybe_unused]] std::shared_ptr<FramedConnection> keepAlive,
                                                  std::vector<Outgoing> batch, Bytes joined, std::size_t taken) {
    for (;;) {
        const ByteView outgoing = batch.size() > 1 ? ByteView(joined) : ByteView(batch.front().bytes);
        std::optional<ConnectionError> failure;
        try {
            co_await stream_.flush();
            co_await stream_.write(outgoing.subspan(taken));
        } catch (const ConnectionError& error) {
            failure = error;
        }
        batchWritten(batch, failure);
        if (queue_.empty()) break;
        batch = takeBatch();
        joined.clear();
        if (batch.size() > 1) {
            for (const auto& frame : batch) joined.insert(joined.end(), frame.bytes.begin(), frame.bytes.end());
        }
        taken = 0;
    }
    writerFinished();
}

void FramedConnection::batchWritten(std::vector<Outgoing>& batch, const std::optional<ConnectionError>& failure) {
    // Frames written together succeed or fail together.
    std::size_t bytes = 0;
    for (const auto& frame : batch) bytes += frame.bytes.size();
    written(bytes);
    for (auto& sent : batch) complete(sent.completion, failure);
    if (failure) {
        failAfterReady(*failure);
        failQueue(*failure);
    }
}

void FramedConnection::writerFinished() {
    writing_ = false;
    writerIdle_.cancel();
}

void FramedConnection::failAfterReady(const ConnectionError& error) {
    if (!failure_) failure_ = error;
    drained_.cancel();
    if (terminated_ || (state_ != State::ready && state_ != State::closing)) return;
    terminated_ = true;
    if (!onTermination_) return;
    asio::post(executor_, [handler = std::move(onTermination_), error] { handler(error); });
}

void FramedConnection::failQueue(const ConnectionError& error) {
    auto pending = std::move(queue_);
    queue_.clear();
    for (const auto& item : pending) queuedBytes_ -= item.bytes.size();
    drained_.cancel();
    for (auto& item : pending) complete(item.completion, error);
}

void FramedConnection::written(std::size_t bytes) {
    queuedBytes_ -= bytes;
    if (queuedBytes_ <= outgoingLimit / 2) drained_.cancel();
}

asio::awaitable<void> FramedConnection::writable() {
    auto self = shared_from_this();
    while (queuedBytes_ > outgoingLimit / 2 && state_ == State::ready && !cancelRequested_ && !failure_) {
        asio::error_code ignored;
        drained_.expires_at(asio::steady_timer::time_point::max());
        co_await drained_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }
}

void FramedConnection::refuseOverflow() {
    // The peer has left the hard limit's worth unread: it is gone or hostile, and waiting on it costs memory.
    failAfterReady(ConnectionError::failed(std::make_error_code(std::errc::no_buffer_space),
                                           "more than " + std::to_string(outgoingHardLimit) + " bytes unread"));
    cancelNow();
}

void FramedConnection::complete(const SendCompletion& completion, std::optional<ConnectionError> error) {
    if (!completion) return;
    try {
        completion(std::move(error));
    } catch (...) {
        // A completion must not throw; one that does must not stop the writer.
    }
}

} // namespace orvik

ORVIK_COROUTINE_CODE_END
