#include "AppBenchSteps.hpp"

#include "WaitUntil.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <thread>

namespace orvik::bench {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::ProcessUsage;
using test::UsageRate;

// The start has settled: listener up, tray found (or the window standing in for it), and the input sink no longer
// reads the pointer, which it does for ten seconds after its last use.
constexpr auto settles = 12s;
constexpr auto quietAfterConnections = 10s;
// A phone keeps its session with a ping well within the helper's 20 s idle limit.
constexpr auto keepAliveInterval = 10s;
// After the phone's status arrived: the connection's notification and menu rows are done, and the device store
// has saved the phone's last-seen date (5 s after it authenticated).
constexpr auto connectionSettles = 8s;

const char* trayName(test::TrayKind tray) {
    switch (tray) {
    case test::TrayKind::none: return "no tray";
    case test::TrayKind::xembed: return "XEmbed tray";
    case test::TrayKind::statusNotifier: return "StatusNotifierItem tray";
    }
    return "tray";
}

void printIdle(const std::string& who, const UsageRate& idle, std::ostream& out) {
    out << std::fixed << std::setprecision(2) << "\n"
        << who << ", idle: " << idle.wakeUpsPerSecond << " wake-ups/s, " << std::setprecision(0) << idle.cpuShare * 1e6
        << " µs of CPU a second\n";
    for (const auto& thread : idle.busiestThreads) out << "    " << thread << "\n";
}

double megabytes(std::size_t kib) {
    return static_cast<double>(kib) / 1024.0;
}

// Wake-ups and CPU by thread name over an interval. A thread that started and ended within it is not seen: /proc
// keeps no counts of ended threads.
void printByThreadName(const ProcessUsage& before, const ProcessUsage& after, std::chrono::duration<double> wall,
                       std::ostream& out) {
    const double seconds = wall.count();
    std::map<std::string, std::pair<double, double>> byName; // wake-ups, CPU seconds
    for (const auto& [thread, count] : after.wakeUpsByThread) {
        const auto earlier = before.wakeUpsByThread.find(thread);
        const auto cpu = after.cpuSecondsByThread.find(thread);
        const auto cpuEarlier = before.cpuSecondsByThread.find(thread);
        auto& [wakeUps, cpuSeconds] = byName[thread.substr(0, thread.rfind(' '))];
        wakeUps += static_cast<double>(count - (earlier == before.wakeUpsByThread.end() ? 0 : earlier->second));
        if (cpu != after.cpuSecondsByThread.end()) {
            cpuSeconds += cpu->second - (cpuEarlier == before.cpuSecondsByThread.end() ? 0 : cpuEarlier->second);
        }
    }
    const auto rate = UsageRate::between(before, after, wall);
    out << std::fixed << std::setprecision(2) << "    whole process: " << rate.wakeUpsPerSecond << " wake-ups/s, "
        << std::setprecision(0) << rate.cpuShare * 1e6 << " µs of CPU a second\n";
    for (const auto& [name, use] : byName) {
        if (use.first <= 0) continue;
        out << std::setprecision(2) << "      " << name << ": " << use.first / seconds << " wake-ups/s, "
            << std::setprecision(0) << use.second * 1e6 / seconds << " µs/s\n";
    }
}

// Connections and what they cost the process: CPU per connection by thread, and resident memory.
void measureConnections(pid_t pid, const std::function<bool(int)>& connect, const BenchOptions& options,
                        std::ostream& out) {
    const auto start = ProcessUsage::of(pid);
    if (!start || !connect(options.warmUpConnections)) {
        out << "    connections failed\n";
        return;
    }
    const auto warm = ProcessUsage::of(pid);
    if (!connect(options.connections)) {
        out << "    connections failed\n";
        return;
    }
    const auto after = ProcessUsage::of(pid);
    std::this_thread::sleep_for(quietAfterConnections);
    const auto quiet = ProcessUsage::of(pid);
    if (!warm || !after || !quiet) return;
    const double count = options.connections;
    out << std::fixed << std::setprecision(3)
        << "    CPU per connection: " << (after->cpuSeconds - warm->cpuSeconds) * 1e3 / count << " ms\n";
    for (const auto& [thread, seconds] : after->cpuSecondsByThread) {
        const auto earlier = warm->cpuSecondsByThread.find(thread);
        const double used = seconds - (earlier == warm->cpuSecondsByThread.end() ? 0 : earlier->second);
        if (used > 0) out << "      " << thread << ": " << used * 1e3 / count << " ms\n";
    }
    out << std::setprecision(1) << "    resident: " << megabytes(start->residentKiB) << " MB at rest, "
        << megabytes(warm->residentKiB) << " MB after " << options.warmUpConnections << " connections, "
        << megabytes(after->residentKiB) << " MB after " << options.connections << " more, "
        << megabytes(quiet->residentKiB) << " MB after " << quietAfterConnections.count() << " s of quiet\n";
}

bool connectAs(const std::string& address, const std::string& id, const std::string& keyHex, int times) {
    return ChildProcess::run({ORVIK_PHONE_PATH, "--identity", id, "--key", keyHex, "--connect", address, "--quiet",
                              "--wait-ms", "0", "--repeat", std::to_string(times)},
                             600s)
               .status == 0;
}

// The first line of `file` whose `key` is `value` (and that follows the first event `afterEvent`, when one is
// named), waiting for it to be written.
std::optional<nlohmann::json> lineOf(const std::filesystem::path& file, const std::string& key,
                                     const std::string& value, const std::string& afterEvent = {}) {
    std::optional<nlohmann::json> found;
    test::waitUntil([&] {
        std::ifstream lines(file);
        bool after = afterEvent.empty();
        for (std::string line; !found && std::getline(lines, line);) {
            auto parsed = nlohmann::json::parse(line, nullptr, false);
            if (!parsed.is_object()) continue;
            if (after && parsed.value(key, "") == value) found = parsed;
            after = after || parsed.value("event", "") == afterEvent;
        }
        return found.has_value();
    });
    return found;
}

std::optional<std::string> installed(const std::vector<std::string>& candidates) {
    for (const auto& path : candidates) {
        if (std::filesystem::exists(path)) return path;
    }
    return std::nullopt;
}

} // namespace

void measureHelper(test::TrayKind tray, const BenchOptions& options, std::ostream& out) {
    test::TrayHost host(tray);
    if (!host.ready()) {
        out << "\norvik-helper, " << trayName(tray) << ": the tray did not start\n";
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    test::HelperUnderTest helper({.pairedDevices = static_cast<std::size_t>(options.phones)});
    const int port = helper.listenerPort();
    std::this_thread::sleep_until(started + settles);
    const auto idle = helper.usageOver(std::chrono::seconds(options.idleSeconds));
    if (port == 0 || !idle) {
        out << "\norvik-helper, " << trayName(tray) << ": did not start\n";
        return;
    }
    printIdle(std::string("orvik-helper, ") + trayName(tray), *idle, out);
    if (tray == test::TrayKind::none) return;
    const auto& phone = helper.devices().front();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    measureConnections(
        helper.pid(), [&](int times) { return connectAs(address, phone.id, phone.keyHex, times); }, options, out);
}

void measureConnectedPhone(const BenchOptions& options, std::ostream& out) {
    out << "\norvik-helper, XEmbed tray, one phone connected and idle (a ping every " << keepAliveInterval.count()
        << " s):\n";
    test::TrayHost host(test::TrayKind::xembed);
    if (!host.ready()) {
        out << "    the tray did not start\n";
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    test::HelperUnderTest helper({.pairedDevices = static_cast<std::size_t>(options.phones)});
    const int port = helper.listenerPort();
    std::this_thread::sleep_until(started + settles);
    const auto& device = helper.devices().front();
    ChildProcess phone({ORVIK_PHONE_PATH, "--identity", device.id, "--key", device.keyHex, "--connect",
                        "127.0.0.1:" + std::to_string(port), "--quiet", "--stdin", "--wait-ms", "0"});
    bool connected = false;
    while (auto line = phone.readLine(test::generous)) {
        auto parsed = nlohmann::json::parse(*line, nullptr, false);
        if (parsed.is_object() && parsed.value("type", "") == "status") {
            connected = true;
            break;
        }
    }
    if (port == 0 || !connected) {
        out << "    the phone did not connect\n";
        return;
    }
    std::this_thread::sleep_for(connectionSettles);
    const auto before = ProcessUsage::of(helper.pid());
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(options.idleSeconds);
    for (std::uint64_t ping = 1; std::chrono::steady_clock::now() < end; ++ping) {
        std::this_thread::sleep_until(std::min(end, std::chrono::steady_clock::now() + keepAliveInterval));
        if (!phone.write(toJson(OrvikMessage(Ping{ping})).dump() + "\n")) break;
    }
    const auto after = ProcessUsage::of(helper.pid());
    const auto wall = std::chrono::steady_clock::now() - start;
    std::size_t pongs = 0;
    while (auto line = phone.readLine(0ms)) {
        if (line->find("\"pong\"") != std::string::npos) ++pongs;
    }
    if (!before || !after || pongs == 0) {
        out << "    the helper or the phone ended early\n";
        return;
    }
    printByThreadName(*before, *after, wall, out);
    phone.closeInput();
    phone.waitForExit(10s);
}

PairedTestServer::~PairedTestServer() {
    if (!process) return;
    process->closeInput();
    process->waitForExit(10s);
    std::filesystem::remove(events);
}

std::optional<PairedTestServer> pairedTestServer(std::string* why) {
    PairedTestServer server;
    server.events = std::filesystem::temp_directory_path() / "orvik-app-bench-server.jsonl";
    std::filesystem::remove(server.events);
    // Its event lines go to a file: unread, a pipe would fill and stop it.
    server.process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"sh", "-c", "exec \"$0\" > \"$1\"", ORVIK_TEST_SERVER_PATH, server.events.string()});
    const auto ready = lineOf(server.events, "status", "ready");
    const auto pairing = lineOf(server.events, "event", "pairing");
    // The listener re-opens with the window's keys: a connect before it is back is refused.
    const auto reopened = lineOf(server.events, "status", "ready", "pairing");
    if (!ready || !pairing || !reopened) {
        if (why) *why = "did not start";
        return std::nullopt;
    }
    server.port = ready->at("port").get<std::uint16_t>();
    const std::string address = "127.0.0.1:" + std::to_string(server.port);
    for (const auto& line : ChildProcess::run({ORVIK_PHONE_PATH, "--pair-url", pairing->at("url").get<std::string>(),
                                               "--connect", address, "--quiet"},
                                              60s)
                                .lines) {
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        if (!parsed.is_object() || parsed.value("event", "") != "paired") continue;
        server.deviceID = parsed.at("deviceID").get<std::string>();
        server.keyHex = parsed.at("deviceKeyHex").get<std::string>();
    }
    if (server.deviceID.empty()) {
        if (why) *why = "pairing failed";
        return std::nullopt;
    }
    return server;
}

void measureTestServer(const BenchOptions& options, std::ostream& out) {
    std::string why;
    auto server = pairedTestServer(&why);
    if (!server) {
        out << "\norvik-test-server: " << why << "\n";
        return;
    }
    std::this_thread::sleep_for(2s);
    const pid_t pid = server->process->pid();
    if (const auto idle = UsageRate::over(pid, std::chrono::seconds(options.idleSeconds))) {
        printIdle("orvik-test-server", *idle, out);
    }
    const std::string address = "127.0.0.1:" + std::to_string(server->port);
    measureConnections(
        pid, [&](int times) { return connectAs(address, server->deviceID, server->keyHex, times); }, options, out);
}

void measurePeer(const BenchOptions& options, std::ostream& out) {
    const auto daemon = installed({"/usr/lib/x86_64-linux-gnu/libexec/kdeconnectd", "/usr/libexec/kdeconnectd"});
    const auto indicator = installed({"/usr/bin/kdeconnect-indicator"});
    if (!daemon || !indicator) {
        out << "\npeer: KDE Connect is not installed (apt-get install kdeconnect) - no figures\n";
        return;
    }
    test::TrayHost host(test::TrayKind::xembed);
    ChildProcess peerDaemon({*daemon});
    ChildProcess peerIndicator({*indicator});
    std::this_thread::sleep_for(settles);
    const auto before = std::make_pair(ProcessUsage::of(peerDaemon.pid()), ProcessUsage::of(peerIndicator.pid()));
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(options.idleSeconds));
    const auto after = std::make_pair(ProcessUsage::of(peerDaemon.pid()), ProcessUsage::of(peerIndicator.pid()));
    if (!before.first || !before.second || !after.first || !after.second) {
        out << "\npeer: KDE Connect ended early\n";
        return;
    }
    const auto wall = std::chrono::steady_clock::now() - start;
    printIdle("peer: kdeconnectd, XEmbed tray", UsageRate::between(*before.first, *after.first, wall), out);
    printIdle("peer: kdeconnect-indicator, XEmbed tray", UsageRate::between(*before.second, *after.second, wall), out);
}

} // namespace orvik::bench
