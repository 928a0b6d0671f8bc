#include "SlowLinkPhone.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "orvik/protocol/transport/FrameReader.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"
#include "orvik/protocol/transport/ReceivedMessage.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <utility>

namespace orvik::test {
namespace {

using Clock = std::chrono::steady_clock;

// TLS through memory buffers over a blocking socket, so that each flight can be held back before it is sent.
class DelayedLink {
public:
    explicit DelayedLink(const SlowLinkPhone& phone)
        : phone_(phone), deadline_(Clock::now() + phone.timeout),
          context_(OrvikTLS::clientContext(
              {OrvikKeys::sessionPSK(phone.deviceKey, phone.deviceID), OrvikKeys::sessionIdentity(phone.deviceID)})) {}
    ~DelayedLink() {
        if (ssl_ != nullptr) SSL_free(ssl_);
        if (socket_ >= 0) ::close(socket_);
    }
    DelayedLink(const DelayedLink&) = delete;
    DelayedLink& operator=(const DelayedLink&) = delete;

    bool connect() {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) return false;
        int on = 1;
        ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, phone_.localAddress.c_str(), &local.sin_addr);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(phone_.port);
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            ::connect(socket_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
            return false;
        }
        ssl_ = SSL_new(context_->native_handle());
        BIO* input = BIO_new(BIO_s_mem());
        BIO* output = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(input, -1);
        SSL_set_bio(ssl_, input, output);
        SSL_set_connect_state(ssl_);
        return true;
    }

    bool handshake() {
        for (;;) {
            ERR_clear_error();
            const int result = SSL_do_handshake(ssl_);
            if (!sendFlight()) return false;
            if (result == 1) return true;
            if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ || !receiveSome()) return false;
        }
    }

    bool send(const OrvikMessage& message) {
        const auto bytes = message.frame()->encoded();
        ERR_clear_error();
        return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) > 0 && sendFlight();
    }

    std::optional<OrvikMessage> receive() {
        for (;;) {
            if (auto frame = reader_.next()) {
                auto received = ReceivedMessage::decode(*frame);
                if (auto* message = received.message()) return *message;
                continue;
            }
            std::uint8_t buffer[4096];
            ERR_clear_error();
            const int count = SSL_read(ssl_, buffer, sizeof buffer);
            if (count > 0) {
                reader_.append({buffer, static_cast<std::size_t>(count)});
            } else if (SSL_get_error(ssl_, count) != SSL_ERROR_WANT_READ || !receiveSome()) {
                return std::nullopt;
            }
        }
    }

private:
    // What TLS produced since the last flight, sent whole once the link's delay has passed.
    bool sendFlight() {
        Bytes flight(BIO_ctrl_pending(SSL_get_wbio(ssl_)));
        if (flight.empty()) return true;
        BIO_read(SSL_get_wbio(ssl_), flight.data(), static_cast<int>(flight.size()));
        std::this_thread::sleep_for(phone_.flightDelay);
        answerDelayed_ = false;
        std::size_t sent = 0;
        while (sent < flight.size()) {
            const auto written = ::send(socket_, flight.data() + sent, flight.size() - sent, MSG_NOSIGNAL);
            if (written <= 0) return false;
            sent += static_cast<std::size_t>(written);
        }
        return true;
    }

    bool receiveSome() {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
        pollfd descriptor{socket_, POLLIN, 0};
        if (left <= 0 || ::poll(&descriptor, 1, static_cast<int>(left)) <= 0) return false;
        // The helper's answer to a flight arrives that much later; what follows it in the same flight with it.
        if (phone_.lateBothWays && !std::exchange(answerDelayed_, true))
            std::this_thread::sleep_for(phone_.flightDelay);
        std::uint8_t buffer[16384];
        const auto count = ::recv(socket_, buffer, sizeof buffer, 0);
        if (count <= 0) return false;
        BIO_write(SSL_get_rbio(ssl_), buffer, static_cast<int>(count));
        return true;
    }

    const SlowLinkPhone& phone_;
    Clock::time_point deadline_;
    std::shared_ptr<asio::ssl::context> context_;
    int socket_ = -1;
    SSL* ssl_ = nullptr;
    FrameReader reader_;
    bool answerDelayed_ = true;
};

} // namespace

bool SlowLinkPhone::authenticates() const {
    DelayedLink link(*this);
    if (!link.connect() || !link.handshake() || !link.send(Hello{1, 1, "1.0", Capabilities{}})) return false;
    auto reply = link.receive();
    const auto* ack = reply ? reply->get<HelloAck>() : nullptr;
    if (ack == nullptr) return false;
    const auto key = OrvikKeys::authenticationKey(deviceKey, deviceID);
    if (!link.send(Authenticate{deviceID, OrvikKeys::proof(key, ack->challenge)})) return false;
    reply = link.receive();
    return reply && reply->get<Authenticated>() != nullptr;
}

} // namespace orvik::test
