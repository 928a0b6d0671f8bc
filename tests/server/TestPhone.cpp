#include "TestPhone.hpp"

#include "orvik/protocol/crypto/OrvikKeys.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <system_error>

namespace orvik::test {

std::unique_ptr<TestPhone> TestPhone::connect(PhoneThread& thread, std::uint16_t port, PreSharedKey key,
                                              std::string_view ciphers, const std::string& localAddress) {
    auto context = OrvikTLS::clientContext(std::move(key), ciphers);
    auto connected = asio::co_spawn(
        thread.executor(),
        [port, context, localAddress]() -> asio::awaitable<std::shared_ptr<FramedConnection>> {
            asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
            socket.open(asio::ip::tcp::v4());
            socket.bind({asio::ip::make_address_v4(localAddress), 0});
            const asio::ip::tcp::endpoint server(asio::ip::address_v4::loopback(), port);
            asio::error_code refused;
            co_await socket.async_connect(server, asio::redirect_error(asio::use_awaitable, refused));
            if (refused) throw ConnectionError::failed(refused);
            auto connection = FramedConnection::connected(std::move(socket), context);
            co_await connection->start(5s);
            co_return connection;
        },
        asio::use_future);
    auto phone = std::unique_ptr<TestPhone>(new TestPhone(connected.get()));
    phone->startReading();
    return phone;
}

TestPhone::TestPhone(std::shared_ptr<FramedConnection> connection) : connection_(std::move(connection)) {}

TestPhone::~TestPhone() {
    close();
}

void TestPhone::startReading() {
    auto connection = connection_;
    asio::co_spawn(
        connection->executor(),
        [inbox = inbox_, connection]() -> asio::awaitable<void> {
            for (;;) {
                while (isPaused(*inbox)) {
                    asio::steady_timer pause(connection->executor(), 2ms);
                    co_await pause.async_wait(asio::use_awaitable);
                }
                std::optional<ReceivedMessage> received;
                try {
                    received = co_await connection->receive();
                } catch (const ConnectionError&) {
                    break;
                }
                if (auto* message = received->message()) {
                    std::lock_guard lock(inbox->mutex);
                    inbox->received.push_back(*message);
                    inbox->changed.notify_all();
                }
            }
            std::lock_guard lock(inbox->mutex);
            inbox->ended = true;
            inbox->changed.notify_all();
        },
        asio::detached);
}

void TestPhone::send(OrvikMessage message) {
    connection_->send(std::move(message));
}

void TestPhone::sendFrame(Frame frame) {
    connection_->sendFrame(std::move(frame));
}

std::size_t TestPhone::flood(const OrvikMessage& message, std::size_t count, std::chrono::milliseconds stall) {
    auto sending = asio::co_spawn(
        connection_->executor(),
        [connection = connection_, frame = *message.frame(), count, stall]() -> asio::awaitable<std::size_t> {
            constexpr std::size_t sendsPerTurn = 64;
            std::size_t sent = 0;
            while (sent < count) {
                if (connection->isFull()) {
                    // Waits until something has gone out, or gives up.
                    const auto before = connection->queuedBytes();
                    const auto deadline = std::chrono::steady_clock::now() + stall;
                    while (connection->queuedBytes() >= before && std::chrono::steady_clock::now() < deadline) {
                        asio::steady_timer pause(connection->executor(), 1ms);
                        co_await pause.async_wait(asio::use_awaitable);
                    }
                    if (connection->queuedBytes() >= before) break;
                    continue;
                }
                connection->sendFrame(frame);
                // The writer runs between turns.
                if (++sent % sendsPerTurn == 0) co_await asio::post(connection->executor(), asio::use_awaitable);
            }
            co_return sent;
        },
        asio::use_future);
    return sending.get();
}

bool TestPhone::isPaused(Inbox& inbox) {
    std::lock_guard lock(inbox.mutex);
    return inbox.paused;
}

void TestPhone::pauseReading() {
    std::lock_guard lock(inbox_->mutex);
    inbox_->paused = true;
}

void TestPhone::resumeReading() {
    std::lock_guard lock(inbox_->mutex);
    inbox_->paused = false;
}

std::optional<OrvikMessage> TestPhone::next(std::chrono::milliseconds wait) {
    std::unique_lock lock(inbox_->mutex);
    inbox_->changed.wait_for(lock, wait, [&] { return !inbox_->received.empty() || inbox_->ended; });
    if (inbox_->received.empty()) return std::nullopt;
    auto message = std::move(inbox_->received.front());
    inbox_->received.pop_front();
    return message;
}

std::optional<OrvikMessage> TestPhone::nextIgnoringStatus(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        auto message = next(std::max(left, 0ms));
        if (!message || !message->get<HelperStatus>()) return message;
    }
}

bool TestPhone::waitForEnd(std::chrono::milliseconds wait) {
    std::unique_lock lock(inbox_->mutex);
    return inbox_->changed.wait_for(lock, wait, [&] { return inbox_->ended; });
}

bool TestPhone::hasEnded() {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->ended;
}

bool TestPhone::staysQuiet(std::chrono::milliseconds wait) {
    auto message = nextIgnoringStatus(wait);
    return !message;
}

HelloAck TestPhone::hello(std::uint16_t version, std::uint16_t minimum) {
    send(Hello{version, minimum, "1.0", Capabilities{}});
    return expect<HelloAck>();
}

Authenticated TestPhone::authenticate(const Uuid& deviceID, const Bytes& deviceKey) {
    auto ack = hello();
    auto key = OrvikKeys::authenticationKey(deviceKey, deviceID);
    send(Authenticate{deviceID, OrvikKeys::proof(key, ack.challenge)});
    return expect<Authenticated>();
}

void TestPhone::close() {
    if (connection_) connection_->cancel();
}

RawClient::RawClient(const std::string& localAddress, std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) throw std::system_error(errno, std::generic_category(), "socket");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(socket_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        auto error = errno;
        ::close(socket_);
        throw std::system_error(error, std::generic_category(), "connect from " + localAddress);
    }
}

RawClient::~RawClient() {
    if (socket_ >= 0) ::close(socket_);
}

bool RawClient::waitForClose(std::chrono::milliseconds wait) {
    pollfd descriptor{socket_, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(wait.count())) <= 0) return false;
    std::uint8_t byte = 0;
    auto received = ::recv(socket_, &byte, 1, MSG_DONTWAIT);
    return received <= 0;
}

void RawClient::write(ByteView bytes) {
    auto written = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    (void)written;
}

PreSharedKey sessionKey(const Uuid& deviceID, const Bytes& deviceKey) {
    return PreSharedKey{OrvikKeys::sessionPSK(deviceKey, deviceID), OrvikKeys::sessionIdentity(deviceID)};
}

} // namespace orvik::test
