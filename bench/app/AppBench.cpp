// orvik-app-bench: the real orvik-helper as a user runs it, measured from outside: wake-ups and CPU while idle
// with no tray, an XEmbed tray and a StatusNotifierItem tray (per thread), then the CPU a phone's connection costs
// and the resident memory over hundreds of them; the same for orvik-test-server, and the idle figures of a peer
// program when one is installed; first, the wake-ups by thread with one phone connected and idle; then both programs'
// memory while keyless strangers flood them, and a slow phone's attempts meanwhile. Prints figures; asserts
// nothing. Run it on a desktop of its own:
//
//   tests/support/run-with-xvfb --window-manager -- tests/support/run-with-private-bus --
//       build/release/bench/app/orvik-app-bench [--idle-seconds N] [--connections N] [--phones N]
//       [--only connected|floods]
//
// (one command line; docs/performance.md has the figures and how they were taken).
#include "AppBenchSteps.hpp"

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    using namespace orvik::bench;
    BenchOptions options;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string_view option = argv[index];
        const int value = std::atoi(argv[index + 1]);
        if (option == "--idle-seconds") options.idleSeconds = value;
        if (option == "--connections") options.connections = value;
        if (option == "--phones") options.phones = value;
        if (option == "--only") {
            options.connectedOnly = std::string_view(argv[index + 1]) == "connected";
            options.floodsOnly = std::string_view(argv[index + 1]) == "floods";
        }
    }
    if (options.idleSeconds <= 0 || options.connections <= 0 || options.phones <= 0) {
        std::cerr << "usage: orvik-app-bench [--idle-seconds N] [--connections N] [--phones N] "
                     "[--only connected|floods]\n";
        return 2;
    }
    std::cout << "orvik-app-bench: " << options.phones << " paired phones, idle over " << options.idleSeconds
              << " s after the start settled, " << options.connections << " connections after "
              << options.warmUpConnections << " to warm up\n";
    if (options.floodsOnly) {
        measureFloods(options, std::cout);
        return 0;
    }
    measureConnectedPhone(options, std::cout);
    if (options.connectedOnly) return 0;
    for (auto tray :
         {orvik::test::TrayKind::none, orvik::test::TrayKind::xembed, orvik::test::TrayKind::statusNotifier}) {
        measureHelper(tray, options, std::cout);
    }
    measureTestServer(options, std::cout);
    measureFloods(options, std::cout);
    measurePeer(options, std::cout);
    return 0;
}
