#pragma once

// What the device-store benches start from: a folder of their own and many paired phones.
#include "core/AtomicFile.hpp"
#include "orvik/protocol/crypto/OrvikKeys.hpp"
#include "pairing/KeyFileDocument.hpp"
#include "pairing/PairedDevice.hpp"

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
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

} // namespace orvik::bench
