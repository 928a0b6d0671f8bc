#include "platform/BusConnection.hpp"
#include "power/SystemPowerExecutor.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdlib>
#include <future>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Kind = BusConnection::Kind;

// The private buses of tests/support/run-with-private-bus --hide-buses. A power test never builds an executor
// without them: CI runs as root, and a PowerOff that reached the machine's logind would switch it off.
std::string testBus(Kind kind) {
    const char* address = std::getenv(kind == Kind::system ? "ORVIK_TEST_SYSTEM_BUS" : "ORVIK_TEST_SESSION_BUS");
    if (!address || !*address) {
        ADD_FAILURE() << "power tests run only on the private buses of run-with-private-bus --hide-buses";
        std::abort();
    }
    return address;
}

// A python-dbusmock object: the logind mock, or a session manager the test starts on the session bus.
class Mock {
public:
    Mock(Kind kind, std::string service, std::string path)
        : bus_(BusConnection::open(kind, testBus(kind))), call_{service, path, "org.freedesktop.DBus.Mock", ""} {}

    static std::unique_ptr<Mock> start(const std::string& service, const std::string& path,
                                       const std::string& interface) {
        auto mock = std::make_unique<Mock>(Kind::session, service, path);
        mock->process_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"env", "DBUS_SESSION_BUS_ADDRESS=" + testBus(Kind::session), "/usr/bin/python3",
                                     "-m", "dbusmock", "--session", service, path, interface});
        EXPECT_TRUE(test::waitUntil([&] { return mock->bus_->hasOwner(service, 1s); }));
        return mock;
    }

    BusReply mockCall(const std::string& method, std::vector<BusArgument> arguments = {}) {
        auto call = call_;
        call.method = method;
        call.arguments = std::move(arguments);
        return bus_->call(call, 5s);
    }
    void addMethod(const std::string& interface, const std::string& name, const std::string& in,
                   const std::string& code = "") {
        ASSERT_TRUE(mockCall("AddMethod", {interface, name, in, std::string(), code}).ok()) << name;
    }
    void clearCalls() { ASSERT_TRUE(mockCall("ClearCalls").ok()); }

    // The calls received so far, as "Method(argument,…)".
    std::vector<std::string> calls() {
        auto reply = mockCall("GetCalls");
        std::vector<std::string> calls;
        auto* message = reply.message.get();
        if (!reply.ok() || sd_bus_message_enter_container(message, 'a', "(tsav)") < 0) return calls;
        std::uint64_t time = 0;
        const char* method = nullptr;
        while (sd_bus_message_enter_container(message, 'r', "tsav") > 0) {
            sd_bus_message_read(message, "ts", &time, &method);
            std::string text = std::string(method) + "(";
            sd_bus_message_enter_container(message, 'a', "v");
            for (const char* type = nullptr; sd_bus_message_peek_type(message, nullptr, &type) > 0;) {
                sd_bus_message_enter_container(message, 'v', type);
                const char* word = "";
                std::uint32_t value = 0; // also a boolean's size
                if (*type == 's') sd_bus_message_read_basic(message, 's', &word);
                if (*type != 's') sd_bus_message_read_basic(message, *type, &value);
                text += *type == 's' ? word : *type == 'b' ? (value ? "true" : "false") : std::to_string(value);
                text += ",";
                sd_bus_message_exit_container(message);
            }
            if (text.back() == ',') text.pop_back();
            calls.push_back(text + ")");
            sd_bus_message_exit_container(message);
            sd_bus_message_exit_container(message);
        }
        return calls;
    }

private:
    std::unique_ptr<BusConnection> bus_;
    BusCall call_;
    std::unique_ptr<test::ChildProcess> process_;
};

constexpr const char* logindManager = "org.freedesktop.login1.Manager";
const std::string denied =
    R"(raise dbus.exceptions.DBusException("no", name="org.freedesktop.DBus.Error.AccessDenied"))";
const std::string failing = R"(raise dbus.exceptions.DBusException("no", name="org.freedesktop.DBus.Error.Failed"))";

class PowerExecutor : public testing::Test {
protected:
    void SetUp() override { logind_.clearCalls(); }

    CommandOutcome perform(PowerAction action, std::function<std::optional<bool>()> screenLocked = {}) {
        SystemPowerExecutor::Options options{
            testBus(Kind::system), testBus(Kind::session), 1000ms, 300ms, std::move(screenLocked), {}};
        SystemPowerExecutor executor(options);
        std::promise<CommandOutcome> answer;
        executor.run(action, [&](CommandOutcome outcome) { answer.set_value(std::move(outcome)); });
        return answer.get_future().get();
    }

    // Only the calls that change something (GetSession and property reads leave the machine alone).
    std::vector<std::string> logindActions() {
        std::vector<std::string> actions;
        for (auto& call : logind_.calls()) {
            if (call.rfind("Get", 0) != 0) actions.push_back(call);
        }
        return actions;
    }

    Mock logind_{Kind::system, "org.freedesktop.login1", "/org/freedesktop/login1"};
};

TEST(PowerTestBuses, theStandardBusesReachNothingAndTheExecutorsBusIsThePrivateOne) {
    sd_bus* bus = nullptr;
    EXPECT_LT(sd_bus_open_system(&bus), 0);
    EXPECT_LT(sd_bus_open_user(&bus), 0);
    EXPECT_NE(testBus(Kind::system), testBus(Kind::session));
    auto system = BusConnection::open(Kind::system, testBus(Kind::system));
    ASSERT_TRUE(system);
    EXPECT_TRUE(system->hasOwner("org.freedesktop.login1", 5s));
}

struct LogindCase {
    PowerAction action;
    std::string call;
    friend void PrintTo(const LogindCase& row, std::ostream* out) { *out << row.call; }
};

class LogindFallback : public PowerExecutor, public testing::WithParamInterface<LogindCase> {};

TEST_P(LogindFallback, withoutASessionManagerLogindActsWithoutAsking) {
    EXPECT_EQ(perform(GetParam().action), CommandOutcome::success());
    EXPECT_EQ(logindActions(), std::vector<std::string>{GetParam().call});
}

INSTANTIATE_TEST_SUITE_P(Actions, LogindFallback,
                         testing::Values(LogindCase{PowerAction::sleep, "Suspend(false)"},
                                         LogindCase{PowerAction::restart, "Reboot(false)"},
                                         LogindCase{PowerAction::shutDown, "PowerOff(false)"},
                                         LogindCase{PowerAction::logOut, "TerminateSession(c1)"}),
                         [](const auto& test) { return test.param.call.substr(0, test.param.call.find('(')); });

struct Desktop {
    std::string service, path, interface;
};
const Desktop gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager"};
const Desktop kde{"org.kde.Shutdown", "/Shutdown", "org.kde.Shutdown"};
const Desktop xfce{"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager"};

struct DesktopCase {
    Desktop desktop;
    PowerAction action;
    std::string signature, call;
    friend void PrintTo(const DesktopCase& row, std::ostream* out) { *out << row.desktop.service << " " << row.call; }
};

class SessionManagerFixture : public PowerExecutor, public testing::WithParamInterface<DesktopCase> {};

TEST_P(SessionManagerFixture, theRunningSessionManagerIsAskedWithoutADialogAndLogindIsLeftAlone) {
    const auto& [desktop, action, signature, call] = GetParam();
    auto manager = Mock::start(desktop.service, desktop.path, desktop.interface);
    manager->addMethod(desktop.interface, call.substr(0, call.find('(')), signature);
    EXPECT_EQ(perform(action), CommandOutcome::success());
    EXPECT_EQ(manager->calls(), std::vector<std::string>{call});
    EXPECT_TRUE(logindActions().empty());
}

INSTANTIATE_TEST_SUITE_P(Desktops, SessionManagerFixture,
                         testing::Values(DesktopCase{gnome, PowerAction::restart, "", "RequestReboot()"},
                                         DesktopCase{gnome, PowerAction::shutDown, "", "RequestShutdown()"},
                                         DesktopCase{gnome, PowerAction::logOut, "u", "Logout(1)"},
                                         DesktopCase{kde, PowerAction::restart, "", "logoutAndReboot()"},
                                         DesktopCase{kde, PowerAction::shutDown, "", "logoutAndShutdown()"},
                                         DesktopCase{kde, PowerAction::logOut, "", "logout()"},
                                         DesktopCase{xfce, PowerAction::restart, "b", "Restart(true)"},
                                         DesktopCase{xfce, PowerAction::shutDown, "b", "Shutdown(true)"},
                                         DesktopCase{xfce, PowerAction::logOut, "bb", "Logout(false,true)"}),
                         [](const auto& test) {
                             const auto& service = test.param.desktop.service;
                             return service.substr(4, service.find('.', 4) - 4) + "_" +
                                    test.param.call.substr(0, test.param.call.find('('));
                         });

TEST_F(PowerExecutor, gnomeIsAskedBeforeXfceAndAFailingSessionManagerLeavesTheActionToTheNext) {
    auto gnomeManager = Mock::start(gnome.service, gnome.path, gnome.interface);
    auto xfceManager = Mock::start(xfce.service, xfce.path, xfce.interface);
    gnomeManager->addMethod(gnome.interface, "RequestReboot", "");
    xfceManager->addMethod(xfce.interface, "Restart", "b", failing);
    EXPECT_EQ(perform(PowerAction::restart), CommandOutcome::success());
    EXPECT_TRUE(xfceManager->calls().empty());

    gnomeManager->addMethod(gnome.interface, "RequestReboot", "", failing);
    EXPECT_EQ(perform(PowerAction::restart), CommandOutcome::success());
    EXPECT_EQ(xfceManager->calls(), std::vector<std::string>{"Restart(true)"});
    EXPECT_EQ(logindActions(), std::vector<std::string>{"Reboot(false)"});
}

TEST_F(PowerExecutor, aRefusalIsAutomationDeniedAndEndsTheAction) {
    auto manager = Mock::start(kde.service, kde.path, kde.interface);
    manager->addMethod(kde.interface, "logout", "", denied);
    EXPECT_EQ(perform(PowerAction::logOut), CommandOutcome::failure(ErrorCode::automationDenied));
    logind_.addMethod(logindManager, "Suspend", "b", denied);
    EXPECT_EQ(perform(PowerAction::sleep), CommandOutcome::failure(ErrorCode::automationDenied));
    EXPECT_EQ(logindActions(), std::vector<std::string>{"Suspend(false)"});
}

TEST_F(PowerExecutor, aServiceThatDoesNotAnswerTimesOutWithoutBlockingTheCaller) {
    const int logindPid = std::atoi(std::getenv("ORVIK_LOGIND_MOCK_PID"));
    kill(logindPid, SIGSTOP);
    SystemPowerExecutor executor({testBus(Kind::system), testBus(Kind::session), 500ms, 300ms, {}, {}});
    std::promise<CommandOutcome> answer;
    auto answered = answer.get_future();
    executor.run(PowerAction::sleep, [&](CommandOutcome outcome) { answer.set_value(std::move(outcome)); });
    EXPECT_EQ(answered.wait_for(0s), std::future_status::timeout);
    EXPECT_EQ(answered.get(), CommandOutcome::failure(ErrorCode::internalError, "Suspend timed out"));
    kill(logindPid, SIGCONT);
}

TEST_F(PowerExecutor, aLockCountsOnlyOnceTheSessionIsSeenLocked) {
    EXPECT_EQ(perform(PowerAction::lock), CommandOutcome::failure(ErrorCode::internalError, "no screen locker"));
    EXPECT_EQ(perform(PowerAction::lock, [] { return std::optional<bool>(true); }), CommandOutcome::success());
    logind_.addMethod(logindManager, "LockSession", "s",
                      R"(objects["/org/freedesktop/login1/session/" + args[0]].UpdateProperties()"
                      R"("org.freedesktop.login1.Session", {"LockedHint": dbus.Boolean(True)}))");
    EXPECT_EQ(perform(PowerAction::lock), CommandOutcome::success());
    EXPECT_EQ(logindActions(), std::vector<std::string>(3, "LockSession(c1)"));
}

TEST_F(PowerExecutor, displaySleepWithoutDpmsIsNotAvailable) {
    EXPECT_EQ(perform(PowerAction::displaySleep),
              CommandOutcome::failure(ErrorCode::internalError, "display sleep not available"));
}

} // namespace
} // namespace orvik::helper
