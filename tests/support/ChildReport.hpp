#pragma once

#include "WaitUntil.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvik::test {

// What orvik_test_child_report found in the process it ran as.
struct ChildReport {
    std::string workingDirectory;
    // Descriptor → what it refers to ("/dev/null", "socket:[123]", "pipe:[456]").
    std::map<int, std::string> descriptors;
    // "end" when standard input is the null device.
    std::string input;
    std::vector<std::string> arguments;
    // The signals it started with blocked and ignored, as bit masks (bit N-1 for signal N).
    std::optional<std::uint64_t> blockedSignals;
    std::optional<std::uint64_t> ignoredSignals;

    static bool hasSignal(std::optional<std::uint64_t> mask, int number) {
        return mask && ((*mask >> (number - 1)) & 1U) != 0;
    }

    // Only standard input, output and error, all on the null device.
    static std::map<int, std::string> onlyNullDevices() {
        return {{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}};
    }

    // The report written to `file`, waited for; absent when none came.
    static std::optional<ChildReport> awaited(const std::filesystem::path& file) {
        if (!waitUntil([&] { return std::filesystem::exists(file); })) return std::nullopt;
        ChildReport report;
        std::ifstream text(file);
        for (std::string line; std::getline(text, line);) {
            std::istringstream words(line);
            std::string key;
            words >> key;
            const auto rest = line.substr(std::min(line.size(), key.size() + 1));
            if (key == "cwd") report.workingDirectory = rest;
            if (key == "stdin") report.input = rest;
            if (key == "argument") report.arguments.push_back(rest);
            if (key == "blocked") report.blockedSignals = maskOf(rest);
            if (key == "ignored") report.ignoredSignals = maskOf(rest);
            if (key == "fd") {
                int descriptor = -1;
                words >> descriptor;
                report.descriptors[descriptor] = rest.substr(std::min(rest.size(), rest.find(' ') + 1));
            }
        }
        return report;
    }

private:
    static std::optional<std::uint64_t> maskOf(const std::string& hexadecimal) {
        std::uint64_t mask = 0;
        std::istringstream digits(hexadecimal);
        if (!(digits >> std::hex >> mask)) return std::nullopt;
        return mask;
    }
};

} // namespace orvik::test
