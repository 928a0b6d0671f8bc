#pragma once

#include "HelperUnderTest.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace orvik::bench {

struct BenchOptions {
    int idleSeconds = 10;
    int connections = 600;
    int phones = 20;
    // Connections made before the first reading: allocator pools and TLS caches fill meanwhile.
    int warmUpConnections = 100;
    // Only the connected, idle phone's figures.
    bool connectedOnly = false;
    // Only the strangers' floods.
    bool floodsOnly = false;
};

// orvik-test-server with a phone paired by the command-line phone; its event lines go to a file of its own.
struct PairedTestServer {
    PairedTestServer() = default;
    PairedTestServer(PairedTestServer&&) = default;
    PairedTestServer& operator=(PairedTestServer&&) = default;
    ~PairedTestServer();

    std::filesystem::path events;
    std::unique_ptr<test::ChildProcess> process;
    std::uint16_t port = 0;
    std::string deviceID;
    std::string keyHex;
};
// Absent when it did not start or the pairing failed (`why` says which).
std::optional<PairedTestServer> pairedTestServer(std::string* why = nullptr);

// orvik-helper with the given tray: idle figures, and (with a tray) connection costs and memory.
void measureHelper(test::TrayKind tray, const BenchOptions& options, std::ostream& out);
// orvik-helper with an XEmbed tray and one phone connected that sends only its keep-alive: wake-ups and CPU by
// thread over `idleSeconds`.
void measureConnectedPhone(const BenchOptions& options, std::ostream& out);
// orvik-test-server, the same server without the application around it: connection cost and memory.
void measureTestServer(const BenchOptions& options, std::ostream& out);
// Keyless strangers flooding orvik-test-server and orvik-helper (with an XEmbed tray): resident memory before,
// during and after each kind of flood, and how often a phone on a slow link gets in meanwhile.
void measureFloods(const BenchOptions& options, std::ostream& out);
// A peer program doing the same job (KDE Connect's daemon and tray indicator), idle beside an XEmbed tray; says
// so when none is installed.
void measurePeer(const BenchOptions& options, std::ostream& out);

} // namespace orvik::bench
