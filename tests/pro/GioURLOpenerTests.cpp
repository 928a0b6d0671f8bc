#include "pro/GioURLOpener.hpp"

#include "ChildReport.hpp"
#include "TemporaryFolder.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>

namespace orvik::helper {
namespace {

using test::TemporaryFolder;

bool opened(GioURLOpener& opener, const std::string& url) {
    std::promise<bool> answer;
    opener.open(url, [&](bool handed) { answer.set_value(handed); });
    return answer.get_future().get();
}

// The desktop of the test: a handler program registered as the default for https in the user's MIME
// applications list, and no other application folders. Set before GIO first reads them, once per process: GIO
// keeps what it read.
class GioURLOpenerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(received);
        static const bool prepared = (prepare(), true);
        (void)prepared;
    }

    static void prepare() {
        setenv("XDG_CONFIG_HOME", (desktop.path() / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (desktop.path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (desktop.path() / "none").c_str(), 1);
        setenv("XDG_DATA_DIRS", (desktop.path() / "none").c_str(), 1);
        // No session bus: GIO's launch notice goes nowhere instead of starting a bus.
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (desktop.path() / "no-bus").string()).c_str(), 1);
        const auto handler =
            desktop.write("handler",
                          "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" + received.string() + ".part'\nmv '" +
                              received.string() + ".part' '" + received.string() + "'\n",
                          true);
        desktop.write("data/applications/orvik-test-browser.desktop",
                      "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" + handler.string() +
                          " %u\nMimeType=x-scheme-handler/https;\n");
        desktop.write("data/applications/orvik-test-report.desktop",
                      "[Desktop Entry]\nType=Application\nName=Report\nExec='" ORVIK_TEST_CHILD_REPORT "' '" +
                          report.string() + "' %u\nMimeType=x-scheme-handler/orvik-report;\n");
        desktop.write("config/mimeapps.list",
                      "[Default Applications]\nx-scheme-handler/https=orvik-test-browser.desktop\n"
                      "x-scheme-handler/orvik-report=orvik-test-report.desktop\n");
    }

    static inline const TemporaryFolder desktop;
    static inline const std::filesystem::path received = desktop.path() / "received";
    static inline const std::filesystem::path report = desktop.path() / "report";
};

TEST_F(GioURLOpenerFixture, TheDefaultHandlerGetsTheLinkAsOneArgumentAndSchemesWithoutOneAreRefused) {
    GioURLOpener opener;
    const std::string url = "https://example.org/a?b=1&c=$(touch x);d 'e'";
    EXPECT_TRUE(opened(opener, url));
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(received); }));
    std::stringstream text;
    text << std::ifstream(received).rdbuf();
    EXPECT_EQ(text.str(), "1\n" + url + "\n");
    EXPECT_FALSE(opened(opener, "shortcuts://run-shortcut?name=A"));
}

TEST_F(GioURLOpenerFixture, TheHandlerGetsOnlyTheNullDeviceAsStandardDescriptorsAndTheHomeAsItsFolder) {
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);
    const auto home = desktop.path() / "home";
    std::filesystem::create_directories(home);
    const std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
    setenv("HOME", home.c_str(), 1);
    GioURLOpener opener;
    EXPECT_TRUE(opened(opener, "orvik-report://example.org/a"));
    setenv("HOME", previousHome.c_str(), 1);
    ::close(leaked[0]);
    ::close(leaked[1]);
    const auto seen = test::ChildReport::awaited(report);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->descriptors, test::ChildReport::onlyNullDevices());
    EXPECT_EQ(seen->input, "end");
    EXPECT_EQ(seen->workingDirectory, home.string());
    EXPECT_EQ(seen->arguments, std::vector<std::string>{"orvik-report://example.org/a"});
}

} // namespace
} // namespace orvik::helper
