// The memory a start keeps after it moved the key file's keys into the real keyring, against a later start that
// finds them there (run it under tests/support/run-with-private-bus --keyring). Each start is a process of its own:
// the device store over the Secret Service and a defaults file, its background work done (every key moved, or
// every key read), then its resident memory.
//
//   bench_helper_keyring_memory [DEVICES]      (default 1000)

#include "BenchDevices.hpp"
#include "core/FileUserDefaults.hpp"
#include "pairing/DeviceList.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/secretservice/SecretServiceVault.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace orvik;
using namespace orvik::helper;

namespace {

using Clock = std::chrono::steady_clock;

// A field of /proc/self/status in kB, such as "VmRSS".
long statusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    }
    return -1;
}

// One start in a process of its own; prints what it kept. Returns whether the child ended well.
bool startInChild(const char* title, const std::filesystem::path& folder, std::size_t expectedKeys) {
    std::fflush(stdout);
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        auto started = Clock::now();
        auto defaults = std::make_shared<FileUserDefaults>(folder / "defaults.json");
        auto keyFile = std::make_shared<KeyFileVault>(folder / "device-keys.json");
        auto store = std::make_shared<KeychainDeviceStore>(defaults, std::make_shared<SecretServiceVault>(), keyFile);
        store->waitForBackgroundWork();
        // A write the keyring answered too late (a busy machine) stops a move until the next start: go on here.
        for (int round = 0; round < 10 && !keyFile->entries().empty(); ++round) store->migrateKeyFile();
        auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
        auto known = store->sessionKeys().size();
        auto left = keyFile->entries().size();
        std::printf("%-44s %6.1f MB resident (%6.1f MB at most), %zu of %zu keys known, %zu left in the key file, "
                    "%.1f s\n",
                    title, static_cast<double>(statusField("VmRSS")) / 1024,
                    static_cast<double>(statusField("VmHWM")) / 1024, known, expectedKeys, left, seconds);
        std::fflush(stdout);
        ::_exit(known == expectedKeys && left == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int run(std::size_t count) {
    bench::TemporaryFolder folder;
    const auto devices = bench::pairedPhones(count);
    FileUserDefaults(folder.path / "defaults.json")
        .setData(KeychainDeviceStore::metadataKey, DeviceList(devices).encode());
    bench::writeKeyFile(folder.path / "device-keys.json", devices);
    std::printf("%zu paired devices\n", count);

    bool good = startInChild("first start, keys moved from the key file:", folder.path, count) &&
                startInChild("later start, keys read from the keyring:", folder.path, count);
    SecretServiceVault vault;
    for (const auto& device : devices) vault.remove(device.id);
    return good ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    return orvik::bench::keyringBenchMain(argc, argv, run);
}
