#pragma once

#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/crypto/PreSharedKey.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/transport/ConnectionError.hpp"
#include "orvik/protocol/transport/FrameReader.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"
#include "orvik/protocol/transport/ReceivedMessage.hpp"
#include "orvik/protocol/transport/TlsStream.hpp"

#include "orvik/protocol/transport/Asio.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvik {

// One TLS connection carrying framed messages.
//
// All its work runs on the executor of its socket, which must be single-threaded (the server uses one
// io_context thread for everything). start(), receive() and receiveFrame() are awaited from coroutines on that
// executor, one receive at a time; send() and cancel() may be called from any thread.
class FramedConnection : public std::enable_shared_from_this<FramedConnection> {
    struct Passkey {};

public:
    using TerminationHandler = std::function<void(ConnectionError)>;
    using SendCompletion = std::function<void(std::optional<ConnectionError>)>;

    // Bounds of a graceful close: flushing what was queued and close_notify, then reading what the peer still
    // sends so that closing does not answer unread data with a reset (which can destroy our last message
    // before the peer has read it).
    static constexpr std::chrono::milliseconds closeFlushTimeout{2000};
    static constexpr std::chrono::milliseconds closeDrainTimeout{1000};
    static constexpr std::size_t closeDrainLimit = 4 * 1024 * 1024;
    // Bounds of what waits to be written. From `outgoingLimit` bytes on the connection is full: its owner stops
    // producing (the server stops reading the session) until writable() returns, once half of it has gone out.
    // A connection whose queue would pass `outgoingHardLimit` all the same (its peer reads nothing while sends
    // keep coming) fails: the frame is refused and the connection is cancelled.
    static constexpr std::size_t outgoingLimit = 1024 * 1024;
    static constexpr std::size_t outgoingHardLimit = 16 * 1024 * 1024;

    // Server side: an accepted socket and the listener's context (OrvikTLS::serverContext). Starts nothing. The
    // socket has its options from its listening socket (OrvikTLS::configureAcceptor). `peer` is the address accept
    // reported, when the caller has it (else the socket is asked).
    static std::shared_ptr<FramedConnection> accepted(asio::ip::tcp::socket socket,
                                                      std::shared_ptr<asio::ssl::context> serverContext,
                                                      std::optional<asio::ip::tcp::endpoint> peer = std::nullopt);

    // Client side: resolves and connects within `timeout`, on the awaiting coroutine's executor; TLS runs in
    // start(). Throws ConnectionError: invalidEndpoint (empty host, port 0), timedOut, failed.
    static asio::awaitable<std::shared_ptr<FramedConnection>>
    connect(std::string host, std::uint16_t port, PreSharedKey key,
            std::chrono::milliseconds timeout = OrvikTLS::defaultConnectionTimeout);
    // The same with a client context of the caller's (OrvikTLS::clientContext with narrowed suites).
    static asio::awaitable<std::shared_ptr<FramedConnection>>
    connect(std::string host, std::uint16_t port, std::shared_ptr<asio::ssl::context> clientContext,
            std::chrono::milliseconds timeout = OrvikTLS::defaultConnectionTimeout);

    // Client side over a socket the caller connected (from a chosen local address, say); TLS runs in start().
    static std::shared_ptr<FramedConnection> connected(asio::ip::tcp::socket socket,
                                                       std::shared_ptr<asio::ssl::context> clientContext);

    FramedConnection(Passkey, TlsStream::Role role, asio::ip::tcp::socket socket,
                     std::shared_ptr<asio::ssl::context> context,
                     std::optional<asio::ip::tcp::endpoint> peer = std::nullopt);

    // Runs the TLS handshake within `timeout`. Throws ConnectionError: timedOut (the connection then cancels
    // itself), cancelled (cancel() before ready), failed (TLS or socket error, with every OpenSSL error queued;
    // the connection is left for the caller to cancel). After it returned, the first failure, close by the
    // peer or cancellation calls `onTermination` once with that error, posted to the executor.
    asio::awaitable<void> start(std::chrono::milliseconds timeout, TerminationHandler onTermination = {});

    // The next frame, decoded. Throws ConnectionError: closed (the peer closed), cancelled (after cancel()),
    // failed (a receive error, or a header announcing more than the frame limit: nothing is allocated for it
    // and the connection is cancelled).
    asio::awaitable<ReceivedMessage> receive();
    // The same without decoding.
    asio::awaitable<Frame> receiveFrame();

    // Queues one message; frames go out whole and in order. Frames queued while a write is in flight, or in the
    // same turn of the executor, are written together (up to 64 KiB): one TLS write, one send. `completion` runs
    // exactly once on the executor: without error once written, `failed` when writing failed, `closed` when the
    // message cannot be framed, the connection was cancelled or closed before the message could be queued, or
    // the message would take the queue past outgoingHardLimit (the connection then fails).
    // Sent on the executor while a WriteHold lives, frames wait for the hold's end and are written then, at once.
    void send(OrvikMessage message, SendCompletion completion = {});
    // The same for a frame as it is (tests and tools send undecodable payloads with it).
    void sendFrame(Frame frame, SendCompletion completion = {});

    // Holds back writing while it lives (on the executor, by code that does not suspend meanwhile): frames sent
    // meanwhile are written together when the last hold ends, at once, instead of in a later turn of the executor
    // (which costs a poll of the event loop). A reply and what follows it leave in one send.
    class WriteHold {
    public:
        explicit WriteHold(std::shared_ptr<FramedConnection> connection);
        ~WriteHold();
        WriteHold(const WriteHold&) = delete;
        WriteHold& operator=(const WriteHold&) = delete;

    private:
        std::shared_ptr<FramedConnection> connection_;
    };
    [[nodiscard]] WriteHold holdWrites() { return WriteHold(shared_from_this()); }

    // Bytes of the frames queued or being written; on the executor.
    std::size_t queuedBytes() const { return queuedBytes_; }
    bool isFull() const { return queuedBytes_ >= outgoingLimit; }
    // Returns once at most half of outgoingLimit waits to be written, or at once when the connection no longer
    // writes (closing, closed, failed). Awaited on the executor, by one coroutine at a time.
    asio::awaitable<void> writable();

    // Idempotent. Before ready the socket closes at once. After it, the connection finishes writing what was
    // queued, sends close_notify, shuts down its sending side, drains what the peer still sends, and closes,
    // each step bounded by the limits above.
    void cancel();

    asio::any_io_executor executor() const { return executor_; }
    // Text of the peer's address without port ("unknown" when the socket had no peer).
    const std::string& peerAddress() const { return peerAddress_; }
    // Asked of the socket (nobody needs it on the way in); nothing once the socket is closed.
    std::optional<asio::ip::tcp::endpoint> localEndpoint();
    const std::optional<asio::ip::tcp::endpoint>& remoteEndpoint() const { return remoteEndpoint_; }
    // Set once start() returned: the identity the client offered (server side) and the negotiated suite.
    const std::optional<std::string>& pskIdentity() const { return pskIdentity_; }
    const std::string& cipherSuite() const { return cipherSuite_; }

private:
    enum class State { idle, starting, startFailed, ready, closing, closed };

    struct Outgoing {
        Bytes bytes;
        SendCompletion completion;
    };

    void enqueue(std::optional<Bytes> bytes, SendCompletion completion);
    void startWriter();
    std::vector<Outgoing> takeBatch();
    // Writes what is queued while the socket takes it; hands the rest to writeRest when it is full.
    void writeQueued();
    asio::awaitable<void> writeRest(std::shared_ptr<FramedConnection> keepAlive, std::vector<Outgoing> batch,
                                    Bytes joined, std::size_t taken);
    void batchWritten(std::vector<Outgoing>& batch, const std::optional<ConnectionError>& failure);
    void writerFinished();
    void releaseHold();
    void cancelNow();
    // Closes without waiting when nothing is left to wait for; false otherwise.
    bool closeAtOnce();
    asio::awaitable<void> closeGracefully(std::shared_ptr<FramedConnection> keepAlive);
    asio::awaitable<void> drainInput();
    void armCloseTimer(std::chrono::milliseconds limit);
    void closeSocket();
    void failAfterReady(const ConnectionError& error);
    void failQueue(const ConnectionError& error);
    void written(std::size_t bytes);
    void refuseOverflow();
    static void complete(const SendCompletion& completion, std::optional<ConnectionError> error);

    asio::any_io_executor executor_;
    TlsStream stream_;
    std::string peerAddress_;
    std::optional<asio::ip::tcp::endpoint> remoteEndpoint_;
    std::optional<std::string> pskIdentity_;
    std::string cipherSuite_;

    State state_ = State::idle;
    bool cancelRequested_ = false;
    bool timedOut_ = false;
    std::optional<ConnectionError> failure_;
    TerminationHandler onTermination_;
    bool terminated_ = false;

    FrameReader reader_;
    std::unique_ptr<std::uint8_t[]> readBuffer_; // of receiveChunk bytes, from the first receive on

    std::deque<Outgoing> queue_;
    std::size_t queuedBytes_ = 0;
    bool writing_ = false;
    int holds_ = 0;
    asio::steady_timer writerIdle_;
    asio::steady_timer drained_;
    asio::steady_timer handshakeTimer_;
    asio::steady_timer closeTimer_;
};

} // namespace orvik
