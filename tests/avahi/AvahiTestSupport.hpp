#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <string>

namespace orvik::test {

// What `avahi-browse -rtp _orvik._tcp` lists now (parsable lines, resolved).
std::string browseOrvikServices();
// Whether the listing contains `needle` within the time given.
bool browseSees(const std::string& needle, std::chrono::seconds within);

// A test that runs a private avahi-daemon (run-with-private-bus.sh provides the bus and the start command).
class AvahiDaemonTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { stopDaemon(); }

    void startDaemon();
    void stopDaemon();

private:
    std::string startCommand_;
    pid_t daemon_ = -1;
};

} // namespace orvik::test
