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

asio::awaitable<std::pair<std::error_code, asio::ip::tcp::socket>>
CloseOnExecSockets::accept(asio::ip::tcp::acceptor& acceptor) {
    for (;;) {
        auto [waitError] = co_await acceptor.async_wait(asio::socket_base::wait_read,
                                                        asio::experimental::as_tuple(asio::use_awaitable));
        asio::ip::tcp::socket socket(acceptor.get_executor());
        if (waitError) co_return std::pair{waitError, std::move(socket)};
        // The new socket is blocking, as Asio's own accept leaves it.
        const int descriptor = ::accept4(acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC);
        if (descriptor < 0) {
            // Another wake-up took it, or the peer gave up before we came: wait for the next one.
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            co_return std::pair{lastError(), std::move(socket)};
        }
        std::error_code error;
        const auto local = acceptor.local_endpoint(error);
        if (!error) socket.assign(local.protocol(), descriptor, error);
        if (error) ::close(descriptor);
        co_return std::pair{error, std::move(socket)};
    }
}

} // namespace orvik::helper
