#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/transport/ClientHelloLimit.hpp"
#include "orvik/protocol/transport/ConnectionError.hpp"

#include "orvik/protocol/transport/Asio.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace orvik {

// TLS over a TCP socket, driven by OpenSSL through memory buffers so that every failure is reported with the
// complete OpenSSL error queue of the call that failed (the queue is per thread, and an event loop that runs
// other connections in between would clear or mix it).
//
// Everything runs on the socket's executor, which must be single-threaded (or a strand). One read and one
// write may be in flight at once; writes of output are serialised internally.
class TlsStream {
public:
    enum class Role { client, server };

    TlsStream(asio::ip::tcp::socket socket, std::shared_ptr<asio::ssl::context> context, Role role);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    asio::ip::tcp::socket& socket() { return socket_; }
    SSL* nativeHandle() { return ssl_; }

    // Throws ConnectionError::failed; a fatal alert is sent to the peer before it is thrown, except to a client whose
    // first flight announces more than ClientHelloLimit takes (refused with std::errc::message_size).
    asio::awaitable<void> handshake();
    // At least one byte of plaintext. Throws `closed` when the peer closed (close_notify or end of stream),
    // `cancelled` after cancelRead(), `failed` otherwise.
    asio::awaitable<std::size_t> readSome(std::span<std::uint8_t> buffer);
    // All of `data`, or throws `failed`.
    asio::awaitable<void> write(ByteView data);
    // Encrypts the start of `data` (at most writeChunk bytes) and sends what the socket takes at once, waiting for
    // nothing (a write that costs no turn of the event loop). Returns how much of `data` it took; ciphertext the
    // socket did not take waits for flush(). Throws `failed`.
    std::size_t writeNow(ByteView data);
    // Ciphertext waits to be sent: the socket was full, or a write or flush is sending.
    bool hasPendingOutput() const;
    // Sends all ciphertext waiting, or throws `failed`.
    asio::awaitable<void> flush();
    // Sends close_notify without waiting for the peer's.
    asio::awaitable<void> sendCloseNotify();
    // The same without waiting for the socket either: false while some of it waits for flush(); true once it went
    // out, or never can (the socket failed).
    bool sendCloseNotifyNow();
    // Ends the pending readSome (and any later one) with `cancelled`, leaving the socket open.
    void cancelRead();

    // The peer's close_notify has arrived: it sends nothing more.
    bool peerClosed() const;

    // After the handshake: the PSK identity the client offered, and the negotiated suite.
    std::optional<std::string> pskIdentity() const;
    std::string cipherName() const;

    // Plaintext encrypted at a time: its ciphertext goes to the socket in one send.
    static constexpr std::size_t writeChunk = 64 * 1024;

private:
    asio::awaitable<void> flushOutput();
    // Sends ciphertext waiting (taken from the output buffer) until the socket is full; true when none is left.
    // Only while no flushOutput() is sending.
    bool sendWaitingOutput(std::error_code& error);
    void encrypt(ByteView chunk);
    // Sends the alert OpenSSL queued for a failure, if the socket still takes it.
    asio::awaitable<void> flushAlert();
    // False at the end of the stream.
    asio::awaitable<bool> fillInput();
    // Throws when the client's first flight announces more than the limit.
    void checkHello(ByteView received);
    ConnectionError failure(int sslError, std::error_code socketError = {});

    asio::ip::tcp::socket socket_;
    std::shared_ptr<asio::ssl::context> context_;
    SSL* ssl_ = nullptr;
    BIO* input_ = nullptr;                       // network → OpenSSL
    BIO* output_ = nullptr;                      // OpenSSL → network
    std::unique_ptr<std::uint8_t[]> readBuffer_; // sized for the handshake, then for reading frames
    std::size_t readBufferSize_ = 0;
    std::vector<std::uint8_t> writeBuffer_; // ciphertext taken from output_, sent up to writeOffset_
    std::size_t writeOffset_ = 0;
    bool flushing_ = false;
    asio::steady_timer flushDone_;
    std::optional<ConnectionError> flushError_;
    asio::cancellation_signal readCancel_;
    bool readCancelled_ = false;
    // A server's, until the client's first flight is known to stay within the limit.
    std::optional<ClientHelloLimit> helloLimit_;
};

} // namespace orvik
