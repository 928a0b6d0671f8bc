// The start of a helper with many paired devices, against the real keyring (run it under
// tests/support/run-with-private-bus --keyring): the time from building the device store to a listening server,
// first with every key in the key file (they move to the keyring in the background) and then with every key in
// the keyring (read together in the background); for comparison, looking each key up on its own. Then what an
// authentication costs the server's thread in the store, against one save of the list (what it cost before).
//
//   bench_helper_device_store [DEVICES]      (default 1000)

#include "BenchDevices.hpp"
#include "BenchServer.hpp"
#include "core/FileUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "injection/RecordingSink.hpp"
#include "pairing/DeviceList.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/secretservice/SecretServiceVault.hpp"
#include "server/HelperServer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

using namespace orvik;
using namespace orvik::helper;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

using bench::onThread;

// A store over the real keyring and the given files, and a server over it on loopback.
struct Start {
    Start(const std::filesystem::path& folder, std::shared_ptr<UserDefaults> defaults) {
        store = std::make_shared<KeychainDeviceStore>(std::move(defaults), std::make_shared<SecretServiceVault>(),
                                                      std::make_shared<KeyFileVault>(folder / "device-keys.json"));
        server = HelperServer::create(serverThread.executor(),
                                      bench::benchServerConfiguration(store, std::make_shared<RecordingSink>()));
        bench::startListening(serverThread, *server);
    }
    ~Start() {
        onThread(serverThread, [this] { server->stop(); });
        server.reset();
    }

    IoThread serverThread{HelperServer::threadName};
    std::shared_ptr<KeychainDeviceStore> store;
    std::shared_ptr<HelperServer> server;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void run(std::size_t count) {
    bench::TemporaryFolder folder;
    const auto devices = bench::pairedPhones(count);
    auto defaults = std::make_shared<FileUserDefaults>(folder.path / "defaults.json");
    defaults->setData(KeychainDeviceStore::metadataKey, DeviceList(devices).encode());
    bench::writeKeyFile(folder.path / "device-keys.json", devices);
    std::printf("%zu paired devices\n", count);

    {
        auto started = Clock::now();
        Start first(folder.path, defaults);
        std::printf("first start, every key in the key file: listening after %.1f ms\n", millisecondsSince(started));
        first.store->waitForBackgroundWork();
        std::printf("  keys moved to the keyring in the background after %.1f s\n", millisecondsSince(started) / 1000);
    }
    {
        auto started = Clock::now();
        Start later(folder.path, defaults);
        std::printf("later start, every key in the keyring: listening after %.1f ms\n", millisecondsSince(started));
        later.store->waitForBackgroundWork();
        auto known = later.store->sessionKeys().size();
        std::printf("  %zu keys known after %.1f ms (read in the background)\n", known, millisecondsSince(started));

        std::vector<double> authentications;
        for (std::size_t round = 0; round < 10000; ++round) {
            const auto& id = devices[round % devices.size()].id;
            auto at = Clock::now();
            later.store->updateLastSeen(id, std::chrono::system_clock::now());
            auto name = later.store->device(id)->name;
            authentications.push_back(std::chrono::duration<double, std::micro>(Clock::now() - at).count());
        }
        std::printf("an authentication's store work on the server thread: median %.1f us\n", median(authentications));
        std::vector<double> saves;
        for (int round = 0; round < 30; ++round) {
            auto at = Clock::now();
            later.store->updateLastSeen(devices[0].id, std::chrono::system_clock::now());
            later.store->flush();
            saves.push_back(std::chrono::duration<double, std::milli>(Clock::now() - at).count());
        }
        std::printf("one save of the list (what every authentication cost before): median %.2f ms\n", median(saves));
    }
    {
        SecretServiceVault vault;
        auto started = Clock::now();
        for (const auto& device : devices) vault.read(device.id);
        std::printf("for comparison, looking each key up on its own: %.1f s\n", millisecondsSince(started) / 1000);
        for (const auto& device : devices) vault.remove(device.id);
    }
}

} // namespace

int main(int argc, char** argv) {
    return orvik::bench::keyringBenchMain(argc, argv, [](std::size_t count) {
        run(count);
        return 0;
    });
}
