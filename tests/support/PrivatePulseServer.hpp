#pragma once

#include "ChildProcess.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace orvik::test {

// A PulseAudio daemon of the test's own with two null sinks, "orvik_a" (the default) and "orvik_b", on a socket in
// a temporary folder. HOME and XDG_RUNTIME_DIR of this process point there too (libpulse and the daemon keep their
// files in them). Stopping and starting again keeps the address, as a restarted sound server does.
class PrivatePulseServer {
public:
    PrivatePulseServer();
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    // Returns once pactl reaches the daemon; false when it never did.
    bool start();
    void stop();
    // Stops and continues the daemon (SIGSTOP, SIGCONT): a sound server that hangs.
    void pause();
    void resume();

    const std::string& address() const { return address_; }
    ChildProcess::Result pactl(std::vector<std::string> arguments) const;
    // pactl's first output line, e.g. "Volume: front-left: 32768 /  50% / …" or "Mute: yes".
    std::string pactlLine(std::vector<std::string> arguments) const;
    // The channels' percentages as pactl shows them, e.g. "80% 40%".
    std::string percents(const std::string& sink) const;

private:
    std::filesystem::path folder_;
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
};

} // namespace orvik::test
