#include "orvik/protocol/transport/TlsStream.hpp"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

ORVIK_COROUTINE_CODE_BEGIN

namespace orvik {

namespace {

// One socket read; a few TLS records.
constexpr std::size_t readChunk = 64 * 1024;
// One socket read during the handshake, whose flights are small: a server holding many handshakes (most of them a
// stranger's, which never finish) holds a small buffer for each.
constexpr std::size_t handshakeReadChunk = 4 * 1024;

// Takes every error OpenSSL queued on this thread, oldest first.
ConnectionError::NetworkError takeErrorQueue(std::error_code fallback, std::string fallbackText) {
    ConnectionError::NetworkError error;
    while (unsigned long code = ERR_get_error()) {
        error.tlsErrors.push_back(code);
        const char* reason = ERR_reason_error_string(code);
        if (!error.text.empty()) error.text += "; ";
        error.text += reason != nullptr ? reason : "OpenSSL error " + std::to_string(code);
    }
    if (error.tlsErrors.empty()) {
        error.code = fallback;
        error.text = std::move(fallbackText);
    } else {
        error.code = std::error_code(static_cast<int>(error.tlsErrors.front()), asio::error::get_ssl_category());
    }
    return error;
}

} // namespace

TlsStream::TlsStream(asio::ip::tcp::socket socket, std::shared_ptr<asio::ssl::context> context, Role role)
    : socket_(std::move(socket)), context_(std::move(context)),
      flushDone_(socket_.get_executor(), asio::steady_timer::time_point::max()) {
    ssl_ = SSL_new(context_->native_handle());
    input_ = BIO_new(BIO_s_mem());
    output_ = BIO_new(BIO_s_mem());
    if (ssl_ == nullptr || input_ == nullptr || output_ == nullptr) {
        BIO_free(input_);
        BIO_free(output_);
        SSL_free(ssl_);
        throw std::runtime_error("TLS session allocation failed");
    }
    // An empty input buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(input_, -1);
    SSL_set_bio(ssl_, input_, output_);
    // Sends are tried at once and never block (see flushOutput); Asio would switch the socket to non-blocking
    // mode at its first operation anyway.
    asio::error_code ignored;
    socket_.non_blocking(true, ignored);
    SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_RELEASE_BUFFERS);
    if (role == Role::server) {
        SSL_set_accept_state(ssl_);
        helloLimit_.emplace();
    } else {
        SSL_set_connect_state(ssl_);
    }
}

TlsStream::~TlsStream() {
    SSL_free(ssl_);
} // frees both buffers too

ConnectionError TlsStream::failure(int sslError, std::error_code socketError) {
    if (socketError) {
        ERR_clear_error();
        return ConnectionError::failed(socketError);
    }
    auto fallback = sslError == SSL_ERROR_SYSCALL ? asio::error::make_error_code(asio::error::connection_aborted)
                                                  : asio::error::make_error_code(asio::error::fault);
    auto error = takeErrorQueue(fallback, "TLS error " + std::to_string(sslError));
    // OpenSSL keeps the offered identity also when no key was found for it.
    if (const char* identity = SSL_get_psk_identity(ssl_)) error.pskIdentity = identity;
    return ConnectionError::failed(std::move(error));
}

asio::awaitable<void> TlsStream::handshake() {
    for (;;) {
        ERR_clear_error();
        int result = SSL_do_handshake(ssl_);
        if (result == 1) {
            co_await flushOutput();
            co_return;
        }
        int error = SSL_get_error(ssl_, result);
        if (error != SSL_ERROR_WANT_READ) {
            auto thrown = failure(error);
            co_await flushAlert();
            throw thrown;
        }
        co_await flushOutput();
        const bool filled = co_await fillInput();
        if (!filled) throw ConnectionError::failed(asio::error::make_error_code(asio::error::eof));
    }
}

asio::awaitable<std::size_t> TlsStream::readSome(std::span<std::uint8_t> buffer) {
    const int wanted = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
    for (;;) {
        ERR_clear_error();
        int result = SSL_read(ssl_, buffer.data(), wanted);
        if (result > 0) co_return static_cast<std::size_t>(result);
        int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_ZERO_RETURN) {
            ERR_clear_error();
            throw ConnectionError::closed();
        }
        if (error != SSL_ERROR_WANT_READ) {
            auto thrown = failure(error);
            co_await flushAlert();
            throw thrown;
        }
        // Reading may have produced output (an alert answering a renegotiation request).
        co_await flushOutput();
        const bool filled = co_await fillInput();
        if (!filled) throw ConnectionError::closed();
    }
}

void TlsStream::encrypt(ByteView chunk) {
    // SSL_write returns after each record (partial writes); the records of a chunk leave together.
    while (!chunk.empty()) {
        ERR_clear_error();
        int result = SSL_write(ssl_, chunk.data(), static_cast<int>(chunk.size()));
        if (result <= 0) throw failure(SSL_get_error(ssl_, result));
        chunk = chunk.subspan(static_cast<std::size_t>(result));
    }
}

asio::awaitable<void> TlsStream::write(ByteView data) {
    while (!data.empty()) {
        auto chunk = data.first(std::min(data.size(), writeChunk));
        data = data.subspan(chunk.size());
        encrypt(chunk);
        co_await flushOutput();
    }
}

std::size_t TlsStream::writeNow(ByteView data) {
    if (flushError_) throw *flushError_;
    auto chunk = data.first(std::min(data.size(), writeChunk));
    encrypt(chunk);
    // A flush under way sends it, after what it is sending.
    if (flushing_) return chunk.size();
    std::error_code error;
    sendWaitingOutput(error);
    if (error) {
        flushError_ = ConnectionError::failed(error);
        throw *flushError_;
    }
    return chunk.size();
}

bool TlsStream::hasPendingOutput() const {
    return flushing_ || writeOffset_ < writeBuffer_.size() || BIO_ctrl_pending(output_) > 0;
}

asio::awaitable<void> TlsStream::flush() {
    co_await flushOutput();
}

asio::awaitable<void> TlsStream::sendCloseNotify() {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    co_await flushOutput();
}

bool TlsStream::sendCloseNotifyNow() {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
    if (flushError_) return true;
    if (flushing_) return false;
    std::error_code error;
    const bool sent = sendWaitingOutput(error);
    if (error) flushError_ = ConnectionError::failed(error);
    return sent || error;
}

void TlsStream::cancelRead() {
    readCancelled_ = true;
    readCancel_.emit(asio::cancellation_type::terminal);
}

asio::awaitable<void> TlsStream::flushOutput() {
    // Another coroutine is writing: it drains everything queued, ours included, before it finishes.
    while (flushing_) {
        asio::error_code ignored;
        co_await flushDone_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
        if (flushError_) throw *flushError_;
        if (!hasPendingOutput()) co_return;
    }
    if (flushError_) throw *flushError_;
    flushing_ = true;
    std::error_code error;
    // Output that fits the socket's buffer (nearly all) is sent at once; only the rest waits for the socket.
    while (!sendWaitingOutput(error) && !error) {
        const auto unsent = asio::buffer(writeBuffer_.data() + writeOffset_, writeBuffer_.size() - writeOffset_);
        co_await asio::async_write(socket_, unsent, asio::redirect_error(asio::use_awaitable, error));
        if (!error) writeOffset_ = writeBuffer_.size();
    }
    flushing_ = false;
    if (error) flushError_ = ConnectionError::failed(error);
    flushDone_.cancel();
    if (flushError_) throw *flushError_;
}

bool TlsStream::sendWaitingOutput(std::error_code& error) {
    for (;;) {
        if (writeOffset_ == writeBuffer_.size()) {
            const auto pending = BIO_ctrl_pending(output_);
            if (pending == 0) return true;
            writeBuffer_.resize(pending);
            const int taken = BIO_read(output_, writeBuffer_.data(), static_cast<int>(pending));
            writeBuffer_.resize(taken > 0 ? static_cast<std::size_t>(taken) : 0);
            writeOffset_ = 0;
            if (writeBuffer_.empty()) return true;
        }
        const auto unsent = asio::buffer(writeBuffer_.data() + writeOffset_, writeBuffer_.size() - writeOffset_);
        const std::size_t sent = socket_.write_some(unsent, error);
        if (error == asio::error::would_block || error == asio::error::try_again) {
            error = {};
            return false;
        }
        if (error) return false;
        writeOffset_ += sent;
        if (writeOffset_ < writeBuffer_.size()) return false;
    }
}

asio::awaitable<void> TlsStream::flushAlert() {
    // The alert tells the peer why; a failure to deliver it changes nothing.
    try {
        co_await flushOutput();
    } catch (const ConnectionError&) {
    }
}

asio::awaitable<bool> TlsStream::fillInput() {
    if (readCancelled_) throw ConnectionError::cancelled();
    const std::size_t chunk = SSL_is_init_finished(ssl_) ? readChunk : handshakeReadChunk;
    if (readBufferSize_ != chunk) {
        // Not zeroed: only what a read filled is ever looked at.
        readBuffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(chunk);
        readBufferSize_ = chunk;
    }
    std::error_code error;
    std::size_t count = co_await socket_.async_read_some(
        asio::buffer(readBuffer_.get(), chunk),
        asio::bind_cancellation_slot(readCancel_.slot(), asio::redirect_error(asio::use_awaitable, error)));
    if (readCancelled_) throw ConnectionError::cancelled();
    if (error == asio::error::eof) co_return false;
    if (error) throw ConnectionError::failed(error);
    if (helloLimit_) checkHello({readBuffer_.get(), count});
    BIO_write(input_, readBuffer_.get(), static_cast<int>(count));
    co_return true;
}

void TlsStream::checkHello(ByteView received) {
    const auto verdict = helloLimit_->take(received);
    if (verdict == ClientHelloLimit::Verdict::undecided) return;
    helloLimit_.reset();
    // Before OpenSSL sees the header, so it allocates nothing for it. No alert: the client is nobody we know.
    if (verdict == ClientHelloLimit::Verdict::refused) {
        throw ConnectionError::failed(std::make_error_code(std::errc::message_size),
                                      "ClientHello over " + std::to_string(ClientHelloLimit::maxLength) + " bytes");
    }
}

bool TlsStream::peerClosed() const {
    return (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

std::optional<std::string> TlsStream::pskIdentity() const {
    const char* identity = SSL_get_psk_identity(ssl_);
    if (identity == nullptr) return std::nullopt;
    return std::string(identity);
}

std::string TlsStream::cipherName() const {
    const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_);
    return cipher != nullptr ? SSL_CIPHER_get_name(cipher) : "";
}

} // namespace orvik

ORVIK_COROUTINE_CODE_END
