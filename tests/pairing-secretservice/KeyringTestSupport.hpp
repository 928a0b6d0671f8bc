#pragma once

// What the tests against a real gnome-keyring share: the store over it, and the daemons that
// tests/support/run-with-private-bus --keyring starts.
#include "ServerHarness.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/tests/TemporaryDirectory.hpp"
#include "pairing/KeychainDeviceStore.hpp"
#include "pairing/secretservice/SecretServiceVault.hpp"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace orvik::helper::testing {

Bytes keyWithEveryKindOfByte(std::uint8_t seed);

class KeyringTest : public ::testing::Test {
protected:
    TemporaryDirectory folder;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<SecretServiceVault> vault = std::make_shared<SecretServiceVault>();
    std::filesystem::path keyFilePath = folder / "device-keys.json";

    std::shared_ptr<KeychainDeviceStore> makeStore() {
        return std::make_shared<KeychainDeviceStore>(defaults, vault, std::make_shared<KeyFileVault>(keyFilePath));
    }
};

// The daemon the script started first.
pid_t keyringDaemon();
// Kills the keyring daemon with this pid and waits until it has gone.
void killDaemon(pid_t daemon);
// The daemon the bus started in place of a killed one; 0 before it did.
pid_t activatedDaemon();
// Kills whichever keyring daemon runs now: the first one, or the last the bus started.
void killRunningDaemon();
// What the bus's activation of the keyring starts with: the login keyring unlocked with this password, or locked
// when it is empty.
void setActivationPassword(const char* password);

std::size_t failuresRecorded(test::ServerHarness& harness);

} // namespace orvik::helper::testing
