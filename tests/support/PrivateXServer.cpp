#include "PrivateXServer.hpp"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace orvik::helper::x11test {

// Display numbers from here up are left to servers that are restarted on their number: wrappers that let Xvfb
// pick a free number take the lowest, and would take a low number this server gave up for a moment.
constexpr int firstRestartableDisplay = 400;
constexpr int restartableDisplays = 500;

PrivateXServer::PrivateXServer(std::string screen) : screen_(std::move(screen)) {
    const int offset = static_cast<int>(getpid()) % restartableDisplays;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int display = firstRestartableDisplay + (offset + attempt * 37) % restartableDisplays;
        if (start(":" + std::to_string(display))) return;
    }
}

PrivateXServer::~PrivateXServer() {
    resume();
    stop();
}

// Xvfb writes the display number to -displayfd once it accepts connections; with no display named it picks a
// free one.
bool PrivateXServer::start(const std::string& display) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    std::string fd = std::to_string(pipeEnds[1]);
    std::vector<const char*> arguments = {"Xvfb"};
    if (!display.empty()) arguments.push_back(display.c_str());
    for (const char* argument : {"-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0"}) {
        arguments.push_back(argument);
    }
    arguments.push_back(screen_.c_str());
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(arguments.data()), environ) != 0) {
        pid_ = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    char number[16] = {};
    bool ready = pid_ != 0 && read(pipeEnds[0], number, sizeof number - 1) > 0;
    close(pipeEnds[0]);
    if (ready) name_ = ":" + std::to_string(std::atoi(number));
    return ready;
}

void PrivateXServer::stop() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

bool PrivateXServer::restart() {
    stop();
    return !name_.empty() && start(name_);
}

void PrivateXServer::pause() {
    if (pid_ != 0) kill(pid_, SIGSTOP);
}

void PrivateXServer::resume() {
    if (pid_ != 0) kill(pid_, SIGCONT);
}

} // namespace orvik::helper::x11test
