#pragma once

#include "HelperUnderTest.hpp"

#include <ostream>

namespace orvik::bench {

struct BenchOptions {
    int idleSeconds = 10;
    int connections = 600;
    int phones = 20;
    // Connections made before the first reading: allocator pools and TLS caches fill meanwhile.
    int warmUpConnections = 100;
    // Only the connected, idle phone's figures.
    bool connectedOnly = false;
};

// orvik-helper with the given tray: idle figures, and (with a tray) connection costs and memory.
void measureHelper(test::TrayKind tray, const BenchOptions& options, std::ostream& out);
// orvik-helper with an XEmbed tray and one phone connected that sends only its keep-alive: wake-ups and CPU by
// thread over `idleSeconds`.
void measureConnectedPhone(const BenchOptions& options, std::ostream& out);
// orvik-test-server, the same server without the application around it: connection cost and memory.
void measureTestServer(const BenchOptions& options, std::ostream& out);
// A peer program doing the same job (KDE Connect's daemon and tray indicator), idle beside an XEmbed tray; says
// so when none is installed.
void measurePeer(const BenchOptions& options, std::ostream& out);

} // namespace orvik::bench
