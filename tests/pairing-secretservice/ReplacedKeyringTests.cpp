// The device store when another keyring daemon takes the place of the one it read, against real gnome-keyrings on a
// bus of the test's own (tests/support/run-with-private-bus --keyring --keyring-activation).
#include "ChildProcess.hpp"
#include "KeyringTestSupport.hpp"
#include "ServerHarness.hpp"
#include "WaitUntil.hpp"
#include "core/tests/CapturedLog.hpp"
#include "pairing/tests/TestDevices.hpp"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using testing::anna;
using testing::CapturedLog;
using testing::failuresRecorded;
using testing::keyWithEveryKindOfByte;
using testing::killRunningDaemon;
using testing::setActivationPassword;

using ReplacedKeyring = testing::KeyringTest;

constexpr const char* password = "orvik-test-password";
constexpr const char* secretsName = "org.freedesktop.secrets";

// The unique name owning the Secret Service's name; empty when nobody does.
std::string secretsOwner() {
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return {};
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
        g_variant_new("(s)", secretsName), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (!reply) return {};
    const char* owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    return owner;
}

// As a desktop's session does when something asks for the keyring: the bus starts its daemon.
void startKeyringByBus() {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_TRUE(bus) << error->message;
    g_autoptr(GVariant) started = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "StartServiceByName",
        g_variant_new("(su)", secretsName, 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    ASSERT_TRUE(started) << error->message;
}

// `gnome-keyring-daemon --replace --unlock`, as a user who restarts the keyring of a running session.
std::unique_ptr<test::ChildProcess> replaceKeyringUnlocked() {
    auto daemon = std::make_unique<test::ChildProcess>(std::vector<std::string>{
        "gnome-keyring-daemon", "--replace", "--foreground", "--unlock", "--components=secrets"});
    daemon->write(password);
    daemon->closeInput();
    return daemon;
}

// Tries to get the phone in until it does (or 10 s have passed); how long that took since `since`, printed.
std::unique_ptr<test::TestPhone> phoneGettingIn(test::ServerHarness& harness, const test::TestDevice& paired,
                                                std::chrono::steady_clock::time_point since, const char* what) {
    std::unique_ptr<test::TestPhone> phone;
    while (!phone && std::chrono::steady_clock::now() - since < 10s) {
        try {
            phone = harness.authenticatedPhone(paired);
        } catch (const std::exception&) {
            // Refused while the listener opens anew with the key.
        }
    }
    auto in = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since);
    if (phone) std::cout << "in " << in.count() << " ms after " << what << "\n";
    return phone;
}

// What the device store logged.
std::vector<CapturedLog::Line> storeLines(const CapturedLog& log) {
    auto lines = log.lines();
    std::erase_if(lines, [](const CapturedLog::Line& line) { return !line.text.starts_with("DeviceStore: "); });
    return lines;
}

std::size_t errorsLogged(const CapturedLog& log) {
    auto lines = storeLines(log);
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [](const CapturedLog::Line& line) { return line.level == Log::Level::error; }));
}

// Mend: a phone waiting on a locked keyring got in at an unlock in place, but not when an unlocked daemon took the
// locked one's place (killed and started again, or `--replace --unlock`): such a daemon sends no collection signal,
// and the phone was refused (20 tries of 20) until a key change or a restart. The store follows the service's owner.
TEST_F(ReplacedKeyring, APhoneWaitingOnALockedKeyringGetsInOnceAnUnlockedDaemonTakesItsPlace) {
    enum class Way { killedAndStartedAgain, replaced };
    for (auto way : {Way::killedAndStartedAgain, Way::replaced}) {
        const char* what = way == Way::replaced ? "the replacing daemon took the name" : "the daemon started again";
        SCOPED_TRACE(what);
        test::TestDevice paired{anna.id, keyWithEveryKindOfByte(30)};
        setActivationPassword(password);
        makeStore()->add(anna, paired.key);
        setActivationPassword("");
        killRunningDaemon();

        CapturedLog log;
        test::ServerHarness::Options options;
        options.deviceStore = makeStore();
        test::ServerHarness harness(std::move(options));
        harness.start();
        ASSERT_TRUE(test::waitUntil([&] {
            auto lines = log.lines();
            return std::any_of(lines.begin(), lines.end(), [](const CapturedLog::Line& line) {
                return line.text == "DeviceStore: Device keys wait for an unlock: the keyring is locked";
            });
        })) << "the bus started a locked keyring for the store";
        EXPECT_THROW(harness.connect(paired.sessionKey()), ConnectionError) << "no key while the keyring is locked";

        std::unique_ptr<test::ChildProcess> replacing;
        const auto lockedOwner = secretsOwner();
        if (way == Way::killedAndStartedAgain) {
            setActivationPassword(password);
            killRunningDaemon();
            startKeyringByBus();
        } else {
            replacing = replaceKeyringUnlocked();
        }
        ASSERT_TRUE(test::waitUntil([&] {
            auto owner = secretsOwner();
            return !owner.empty() && owner != lockedOwner;
        }));
        auto phone = phoneGettingIn(harness, paired, std::chrono::steady_clock::now(), what);
        EXPECT_TRUE(phone) << "never got in";
        EXPECT_EQ(failuresRecorded(harness), 0u);
        EXPECT_EQ(errorsLogged(log), 0u);
    }
}

// A daemon replaced while the keyring is unlocked, or one gone for good, changes nothing for a paired phone: its key,
// known, stays in use, nothing is said, and no key goes to the key file unasked.
TEST_F(ReplacedKeyring, AnUnlockedDaemonReplacedOrGoneLeavesAPairedPhoneInUnsaid) {
    enum class Way { replaced, gone };
    for (auto way : {Way::replaced, Way::gone}) {
        SCOPED_TRACE(way == Way::replaced ? "replaced" : "gone");
        test::TestDevice paired{anna.id, keyWithEveryKindOfByte(31)};
        setActivationPassword(password);
        makeStore()->add(anna, paired.key);
        CapturedLog log;
        test::ServerHarness::Options options;
        options.deviceStore = makeStore();
        test::ServerHarness harness(std::move(options));
        harness.start();
        ASSERT_TRUE(phoneGettingIn(harness, paired, std::chrono::steady_clock::now(), "the start"));

        const auto before = secretsOwner();
        std::unique_ptr<test::ChildProcess> replacing;
        if (way == Way::replaced) {
            replacing = replaceKeyringUnlocked();
        } else {
            killRunningDaemon();
        }
        ASSERT_TRUE(test::waitUntil([&] {
            auto owner = secretsOwner();
            return way == Way::gone ? owner.empty() : !owner.empty() && owner != before;
        }));
        // Whatever the store would do at the change has had time to happen.
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(harness.authenticatedPhone(paired));
        EXPECT_EQ(failuresRecorded(harness), 0u);
        EXPECT_TRUE(storeLines(log).empty()) << "a keyring gone is said when a key has to go to the key file";
        EXPECT_FALSE(std::filesystem::exists(keyFilePath));
    }
}

} // namespace
} // namespace orvik::helper
