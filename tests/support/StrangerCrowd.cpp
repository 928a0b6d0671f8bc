#include "StrangerCrowd.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "orvik/protocol/transport/ClientHelloLimit.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace orvik::test {
namespace {

using Clock = std::chrono::steady_clock;

// The first flight of a client offering an identity nobody knows, as it goes on the wire.
Bytes clientHello() {
    auto bytes = OrvikKeys::randomBytes(SymmetricKey::length);
    auto key = bytes ? SymmetricKey::fromBytes(*bytes) : std::nullopt;
    if (!key) throw std::runtime_error("no random bytes");
    auto context = OrvikTLS::clientContext({*key, "stranger"});
    SSL* ssl = SSL_new(context->native_handle());
    BIO* input = BIO_new(BIO_s_mem());
    BIO* output = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(input, -1);
    SSL_set_bio(ssl, input, output);
    SSL_set_connect_state(ssl);
    SSL_do_handshake(ssl);
    Bytes hello(BIO_ctrl_pending(output));
    BIO_read(output, hello.data(), static_cast<int>(hello.size()));
    SSL_free(ssl);
    return hello;
}

// The largest length OpenSSL's server takes for a ClientHello.
constexpr std::size_t largestHelloLength = 131396;

// A handshake message announced as a ClientHello of this length, in records of the largest size, without its last
// byte: the server holds all of it while it waits for the rest.
Bytes helloWithoutItsLastByte(std::size_t messageLength) {
    constexpr std::size_t recordLength = 16384;
    Bytes message(4 + messageLength, 0);
    message[0] = 1; // client_hello
    message[1] = static_cast<std::uint8_t>(messageLength >> 16);
    message[2] = static_cast<std::uint8_t>(messageLength >> 8);
    message[3] = static_cast<std::uint8_t>(messageLength);
    Bytes records;
    for (std::size_t offset = 0; offset < message.size(); offset += recordLength) {
        const std::size_t length = std::min(recordLength, message.size() - offset);
        const std::uint8_t header[] = {22, 3, 3, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length)};
        records.insert(records.end(), std::begin(header), std::end(header));
        records.insert(records.end(), message.begin() + static_cast<std::ptrdiff_t>(offset),
                       message.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    records.pop_back();
    return records;
}

// The first record's header and the handshake header of the largest ClientHello.
constexpr std::size_t largestHeaderLength = 9;

Bytes firstFlight(StrangerCrowd::Kind kind) {
    using Kind = StrangerCrowd::Kind;
    switch (kind) {
    case Kind::halfHelloThenClose: {
        auto hello = clientHello();
        hello.resize(hello.size() / 2);
        return hello;
    }
    case Kind::wholeHelloThenWait: return clientHello();
    case Kind::largestHelloThenWait: return helloWithoutItsLastByte(largestHelloLength);
    case Kind::limitHelloThenWait: return helloWithoutItsLastByte(ClientHelloLimit::maxLength);
    case Kind::largestHeaderThenWait: {
        auto header = helloWithoutItsLastByte(largestHelloLength);
        header.resize(largestHeaderLength);
        return header;
    }
    }
    return {};
}

} // namespace

StrangerCrowd::StrangerCrowd(Options options) : options_(options), hello_(firstFlight(options.kind)) {
    thread_ = std::thread([this] { run(); });
}

StrangerCrowd::~StrangerCrowd() {
    stopping_ = true;
    thread_.join();
}

std::string StrangerCrowd::address(int index) {
    return "127.1." + std::to_string(index / 250) + "." + std::to_string(index % 250 + 1);
}

int StrangerCrowd::open(int addressIndex) const {
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) return -1;
    // The port is chosen at connect, for the 4-tuple: many connections from one address reuse ports.
    int on = 1;
    ::setsockopt(socket, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address(addressIndex).c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(options_.port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(socket);
        return -1;
    }
    // Refused connections are closed at once by the helper; the bytes then go nowhere, which is fine. The largest
    // hello is more than a socket buffer holds: it waits for the helper to read it.
    const bool large = options_.kind == Kind::largestHelloThenWait || options_.kind == Kind::limitHelloThenWait;
    const int flags = large ? MSG_NOSIGNAL : MSG_NOSIGNAL | MSG_DONTWAIT;
    static_cast<void>(::send(socket, hello_.data(), hello_.size(), flags));
    return socket;
}

void StrangerCrowd::run() {
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / options_.connectsPerSecond));
    std::deque<std::pair<Clock::time_point, int>> open;
    auto next = Clock::now();
    for (int index = 0; !stopping_; index = (index + 1) % options_.addresses) {
        std::this_thread::sleep_until(next);
        next += interval;
        const auto now = Clock::now();
        while (!open.empty() && open.front().first <= now) {
            ::close(open.front().second);
            open.pop_front();
        }
        if (int socket = this->open(index); socket >= 0) {
            open.emplace_back(now + options_.holdFor, socket);
            ++connects_;
        }
        // Behind after a stall: no burst to catch up.
        if (next < now) next = now;
    }
    for (const auto& [until, socket] : open) ::close(socket);
}

} // namespace orvik::test
