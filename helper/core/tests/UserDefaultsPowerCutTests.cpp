// A writer that dies at an arbitrary moment must leave either the old or the new defaults file, never a torn one.
// The writer is a child process: once killed at a chosen byte of its write (a file-size limit raises SIGXFSZ
// inside write()), and then repeatedly with SIGKILL at varying moments of its write cycle.
#include "core/FileUserDefaults.hpp"
#include "core/tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace orvik::helper {
namespace {

constexpr std::size_t payloadSize = 64 * 1024;
constexpr int killRounds = 12;

Bytes uniformPayload(std::uint8_t fill) {
    return Bytes(payloadSize, fill);
}

// The payload is present, complete and written by one single write (all its bytes equal).
std::optional<std::uint8_t> completePayloadFill(const std::filesystem::path& file) {
    auto payload = FileUserDefaults(file).data("payload");
    if (!payload || payload->size() != payloadSize) return std::nullopt;
    auto fill = payload->front();
    if (!std::all_of(payload->begin(), payload->end(), [fill](auto byte) { return byte == fill; })) return std::nullopt;
    return fill;
}

void disableCoreDumps() {
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

TEST(UserDefaultsPowerCut, DyingInsideTheWriteLeavesTheOldFile) {
    testing::TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults(file).setData("payload", uniformPayload(7));

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        disableCoreDumps();
        FileUserDefaults defaults(file);
        rlimit halfFile{payloadSize / 2, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &halfFile);
        defaults.setData("payload", uniformPayload(8));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(folder.files().size(), 2u) << "the half-written temporary file should be left";

    EXPECT_EQ(completePayloadFill(file), 7);
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"defaults.json"}));
}

[[noreturn]] void writeForever(const std::filesystem::path& file, int readyPipe) {
    disableCoreDumps();
    FileUserDefaults defaults(file);
    char ready = 'r';
    (void)::write(readyPipe, &ready, 1);
    for (std::uint8_t fill = 1;; fill = static_cast<std::uint8_t>(fill % 250 + 1)) {
        defaults.setData("payload", uniformPayload(fill));
    }
}

TEST(UserDefaultsPowerCut, AWriterKilledAtAnyMomentLeavesACompleteFile) {
    testing::TemporaryDirectory folder;
    auto file = folder / "defaults.json";
    FileUserDefaults(file).setData("payload", uniformPayload(0));

    for (int round = 0; round < killRounds; ++round) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            writeForever(file, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);
        char ready = 0;
        ASSERT_EQ(::read(pipeEnds[0], &ready, 1), 1);
        ::close(pipeEnds[0]);
        // A different moment of the write cycle each round; the outcome must not depend on which.
        std::this_thread::sleep_for(std::chrono::microseconds(round * 300));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        EXPECT_TRUE(completePayloadFill(file)) << "round " << round;
        EXPECT_EQ(folder.files(), (std::vector<std::string>{"defaults.json"})) << "round " << round;
    }
}

} // namespace
} // namespace orvik::helper
