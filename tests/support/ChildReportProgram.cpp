// orvik_test_child_report REPORT [ARGUMENT...]: a child's view of what it was given. Writes its working directory,
// each open descriptor with what it refers to, whether standard input is at its end, the signals it started with
// blocked and ignored, and its arguments to REPORT (complete once it appears), in the form ChildReport reads.
#include <dirent.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int usageStatus = 2;

std::vector<int> openDescriptors() {
    std::vector<int> numbers;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) return numbers;
    const int own = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        const int number = std::atoi(entry->d_name);
        if (number != own) numbers.push_back(number);
    }
    ::closedir(folder);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::string target(int descriptor) {
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char buffer[PATH_MAX] = {};
    const auto length = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    return length < 0 ? std::string("?") : std::string(buffer, static_cast<std::size_t>(length));
}

// "end" for the null device, "waiting" for an input nobody writes to, "data" when something was there.
std::string inputState() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, 0) <= 0) return "waiting";
    char byte = 0;
    const auto count = ::read(STDIN_FILENO, &byte, 1);
    return count == 0 ? "end" : count > 0 ? "data" : "error";
}

// The kernel's hexadecimal mask of one "Sig…:" line of /proc/self/status ("SigBlk", "SigIgn"); "?" without it.
std::string signalMask(const std::string& name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            std::istringstream fields(line.substr(name.size() + 1));
            std::string mask;
            fields >> mask;
            return mask;
        }
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usageStatus;
    std::ostringstream report;
    char folder[PATH_MAX] = {};
    report << "cwd " << (::getcwd(folder, sizeof folder) ? folder : "?") << '\n';
    for (const int descriptor : openDescriptors()) report << "fd " << descriptor << ' ' << target(descriptor) << '\n';
    report << "stdin " << inputState() << '\n';
    report << "blocked " << signalMask("SigBlk") << '\n';
    report << "ignored " << signalMask("SigIgn") << '\n';
    for (int index = 2; index < argc; ++index) report << "argument " << argv[index] << '\n';
    const std::string file = argv[1];
    std::ofstream(file + ".part") << report.str();
    return std::rename((file + ".part").c_str(), file.c_str()) == 0 ? 0 : 1;
}
