#pragma once

#include <asio.hpp>

#include <system_error>

namespace orvik::helper {

// Asio opens and accepts sockets without close-on-exec, so every program started meanwhile would inherit the
// listening socket and the phones' connections. These open and accept with the flag set atomically.
struct CloseOnExecSockets {
    CloseOnExecSockets() = delete;

    // Opens the acceptor's socket for `protocol`, non-blocking (accept below relies on it).
    static void open(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp& protocol, std::error_code& error);

    struct Accepted {
        std::error_code error;
        asio::ip::tcp::socket socket;
        // The peer's address, as accept reported it.
        asio::ip::tcp::endpoint peer;
    };

    // The next connection of an acceptor opened above, on the acceptor's executor; an error and no socket when
    // the acceptor failed or was closed (operation_aborted).
    static asio::awaitable<Accepted> accept(asio::ip::tcp::acceptor& acceptor);
};

} // namespace orvik::helper
