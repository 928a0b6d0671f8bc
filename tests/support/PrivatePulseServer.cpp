#include "PrivatePulseServer.hpp"

#include "WaitUntil.hpp"

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace orvik::test {

PrivatePulseServer::PrivatePulseServer() {
    char folderTemplate[] = "/tmp/orvik-pulse-XXXXXX";
    if (!mkdtemp(folderTemplate)) throw std::runtime_error("no temporary folder for pulseaudio");
    folder_ = folderTemplate;
    setenv("HOME", folder_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    address_ = "unix:" + (folder_ / "native").string();
}

PrivatePulseServer::~PrivatePulseServer() {
    stop();
    std::filesystem::remove_all(folder_);
}

bool PrivatePulseServer::start() {
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1", "--disallow-exit",
        "--log-level=error", "-L", "module-native-protocol-unix socket=" + (folder_ / "native").string(), "-L",
        "module-null-sink sink_name=orvik_a", "-L", "module-null-sink sink_name=orvik_b"});
    return waitUntil([&] { return pactl({"info"}).status == 0; });
}

void PrivatePulseServer::stop() {
    daemon_.reset();
}

void PrivatePulseServer::pause() {
    if (daemon_) daemon_->signal(SIGSTOP);
}

void PrivatePulseServer::resume() {
    if (daemon_) daemon_->signal(SIGCONT);
}

ChildProcess::Result PrivatePulseServer::pactl(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"pactl", "--server=" + address_});
    return ChildProcess::run(std::move(arguments), std::chrono::seconds(10));
}

std::string PrivatePulseServer::pactlLine(std::vector<std::string> arguments) const {
    auto result = pactl(std::move(arguments));
    return result.lines.empty() ? "" : result.lines.front();
}

std::string PrivatePulseServer::percents(const std::string& sink) const {
    std::istringstream words(pactlLine({"get-sink-volume", sink}));
    std::string word, shown;
    while (words >> word) {
        if (word.back() == '%') shown += (shown.empty() ? "" : " ") + word;
    }
    return shown;
}

} // namespace orvik::test
