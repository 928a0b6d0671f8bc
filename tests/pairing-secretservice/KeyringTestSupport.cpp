#include "KeyringTestSupport.hpp"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace orvik::helper::testing {

Bytes keyWithEveryKindOfByte(std::uint8_t seed) {
    Bytes key(32);
    for (std::size_t index = 0; index < key.size(); ++index) key[index] = static_cast<std::uint8_t>(seed + index * 8);
    key[3] = 0x00;
    key[4] = 0xFF;
    return key;
}

pid_t keyringDaemon() {
    const char* pidText = std::getenv("ORVIK_TEST_KEYRING_PID");
    if (!pidText) ADD_FAILURE() << "run through tests/support/run-with-private-bus --keyring";
    return pidText ? static_cast<pid_t>(std::atoi(pidText)) : 0;
}

void killDaemon(pid_t daemon) {
    ASSERT_GT(daemon, 0);
    ASSERT_EQ(::kill(daemon, SIGKILL), 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::kill(daemon, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        ::waitpid(daemon, nullptr, WNOHANG);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

pid_t activatedDaemon() {
    const char* file = std::getenv("ORVIK_TEST_KEYRING_PID_FILE");
    if (!file) ADD_FAILURE() << "run through tests/support/run-with-private-bus --keyring --keyring-activation";
    std::ifstream stream(file ? file : "");
    pid_t pid = 0;
    stream >> pid;
    return pid;
}

void killRunningDaemon() {
    for (pid_t daemon : {activatedDaemon(), keyringDaemon()}) {
        if (daemon > 0 && ::kill(daemon, 0) == 0) {
            killDaemon(daemon);
            return;
        }
    }
    ADD_FAILURE() << "no keyring daemon runs";
}

void setActivationPassword(const char* password) {
    const char* file = std::getenv("ORVIK_TEST_KEYRING_PASSWORD_FILE");
    ASSERT_TRUE(file) << "run through tests/support/run-with-private-bus --keyring --keyring-activation";
    std::ofstream(file, std::ios::trunc) << password;
}

std::size_t failuresRecorded(test::ServerHarness& harness) {
    return harness.onServer([](HelperServer& server) { return server.recentHandshakeFailures(); }).size();
}

} // namespace orvik::helper::testing
