#pragma once

// What the device-store benches start from: a folder of their own and many paired phones.
#include "core/AtomicFile.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "pairing/KeyFileDocument.hpp"
#include "pairing/PairedDevice.hpp"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace orvik::bench {

// A new folder under the temporary folder, removed with what it holds.
struct TemporaryFolder {
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvik-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::filesystem::path path;
};

// `count` phones, paired now, named "Phone 0", "Phone 1", …
inline std::vector<helper::PairedDevice> pairedPhones(std::size_t count) {
    std::vector<helper::PairedDevice> devices;
    for (std::size_t index = 0; index < count; ++index) {
        devices.push_back({Uuid::random(), "Phone " + std::to_string(index), "iPhone15,2",
                           std::chrono::system_clock::now(), std::nullopt});
    }
    return devices;
}

// A key file holding a new key for each device, as the helper writes it where no Secret Service runs.
inline void writeKeyFile(const std::filesystem::path& file, const std::vector<helper::PairedDevice>& devices) {
    helper::KeyFileDocument keyFile;
    for (const auto& device : devices) keyFile.keys[device.id] = *OrvikKeys::randomBytes(OrvikKeys::deviceKeyLength);
    helper::AtomicFile::replace(file, keyFile.serialize(), 0600);
}

// The keyring benches' main: the phone count from the first argument (1,000 without one), a private session bus
// with a keyring required, and an error printed rather than thrown.
template <typename Run> int keyringBenchMain(int argc, char** argv, Run run) {
    const std::size_t count = argc > 1 ? static_cast<std::size_t>(std::atoi(argv[1])) : 1000;
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        std::fprintf(stderr, "run under tests/support/run-with-private-bus --keyring\n");
        return 2;
    }
    try {
        return run(count);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

} // namespace orvik::bench
