#include "AvahiTestSupport.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace orvik::test {

std::string browseOrvikServices() {
    std::string output;
    if (FILE* pipe = popen("avahi-browse -rtp _orvik._tcp 2>/dev/null", "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

bool browseSees(const std::string& needle, std::chrono::seconds within) {
    auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
        if (browseOrvikServices().find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

void AvahiDaemonTest::SetUp() {
    const char* start = std::getenv("ORVIK_TEST_AVAHI_START");
    if (!start) GTEST_SKIP() << "run through run-with-private-bus.sh";
    startCommand_ = start;
}

void AvahiDaemonTest::startDaemon() {
    daemon_ = fork();
    if (daemon_ == 0) {
        execl(startCommand_.c_str(), startCommand_.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(daemon_, 0);
}

void AvahiDaemonTest::stopDaemon() {
    if (daemon_ <= 0) return;
    kill(daemon_, SIGTERM);
    waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
}

} // namespace orvik::test
