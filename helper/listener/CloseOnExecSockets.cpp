#include "listener/CloseOnExecSockets.hpp"

#include <asio/experimental/as_tuple.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace orvik::helper {

namespace {

std::error_code lastError() {
    return {errno, asio::error::get_system_category()};
}

} // namespace

void CloseOnExecSockets::open(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp& protocol,
                              std::error_code& error) {
    const int descriptor = ::socket(protocol.family(), protocol.type() | SOCK_CLOEXEC, protocol.protocol());
    if (descriptor < 0) {
        error = lastError();
        return;
    }
    acceptor.assign(protocol, descriptor, error);
    if (error) {
        ::close(descriptor);
        return;
    }
    acceptor.non_blocking(true, error);
}

asio::awaitable<CloseOnExecSockets::Accepted> CloseOnExecSockets::accept(asio::ip::tcp::acceptor& acceptor) {
    for (;;) {
        auto [waitError] = co_await acceptor.async_wait(asio::socket_base::wait_read,
                                                        asio::experimental::as_tuple(asio::use_awaitable));
        Accepted accepted{waitError, asio::ip::tcp::socket(acceptor.get_executor()), {}};
        if (waitError) co_return accepted;
        // The peer's address comes with the connection (asking for it afterwards would cost a call), and the
        // family of that address is the socket's. The new socket is blocking, as Asio's own accept leaves it.
        auto length = static_cast<socklen_t>(accepted.peer.capacity());
        const int descriptor = ::accept4(acceptor.native_handle(), accepted.peer.data(), &length, SOCK_CLOEXEC);
        if (descriptor < 0) {
            // Another wake-up took it, or the peer gave up before we came: wait for the next one.
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            accepted.error = lastError();
            co_return accepted;
        }
        accepted.peer.resize(length);
        accepted.socket.assign(accepted.peer.protocol(), descriptor, accepted.error);
        if (accepted.error) ::close(descriptor);
        co_return accepted;
    }
}

} // namespace orvik::helper
