#pragma once

#include <string>
#include <sys/types.h>

namespace orvik::helper::x11test {

// An Xvfb of the test's own, which the test may stop, pause, and start again on the same display. It starts on
// a free display number; every process it starts is ended by its pid.
class PrivateXServer {
public:
    explicit PrivateXServer(std::string screen = "640x480x24");
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N"; empty when Xvfb did not start.
    const std::string& name() const { return name_; }

    // Ends the server (SIGTERM) and waits for it.
    void stop();
    // Starts a new server on the same display; false when it did not come up.
    bool restart();
    // Stops and continues the running server (SIGSTOP, SIGCONT): it keeps its clients but answers none.
    void pause();
    void resume();

private:
    bool start(const std::string& display);

    std::string screen_;
    std::string name_;
    pid_t pid_ = 0;
};

} // namespace orvik::helper::x11test
