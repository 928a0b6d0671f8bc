#include "AppBenchSteps.hpp"

#include "SlowLinkPhone.hpp"
#include "StrangerCrowd.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <algorithm>
#include <atomic>
#include <iomanip>
#include <thread>

namespace orvik::bench {
namespace {

using namespace std::chrono_literals;
using Kind = test::StrangerCrowd::Kind;

// As the strangers were measured before: 300 addresses, 400 connections a second, for 20 s at least.
constexpr int strangerAddresses = 300;
constexpr double strangersPerSecond = 400;
constexpr auto floodLength = 20s;
constexpr auto afterFlood = 10s;
constexpr auto sampling = 250ms;
constexpr int oneWayAttempts = 50;
constexpr int twoWayAttempts = 40;

const char* describe(Kind kind) {
    switch (kind) {
    case Kind::largestHeaderThenWait: return "9-byte header of the largest ClientHello, then waits";
    case Kind::largestHelloThenWait: return "largest ClientHello but its last byte, then waits";
    case Kind::limitHelloThenWait: return "ClientHello of the helper's limit but its last byte, then waits";
    case Kind::halfHelloThenClose: return "half a ClientHello, closes after 0.5 s";
    case Kind::wholeHelloThenWait: return "whole ClientHello, then waits";
    }
    return "";
}

std::optional<Bytes> hexBytes(const std::string& hex) {
    Bytes bytes;
    for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(index, 2), nullptr, 16)));
    }
    if (bytes.size() * 2 != hex.size()) return std::nullopt;
    return bytes;
}

double residentMegabytes(pid_t pid) {
    const auto usage = test::ProcessUsage::of(pid);
    return usage ? static_cast<double>(usage->residentKiB) / 1024.0 : 0;
}

// How many of its attempts a phone whose flights are 50 ms late makes, one after another.
int attemptsIn(const test::SlowLinkPhone& phone, int attempts) {
    int authenticated = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (phone.authenticates()) ++authenticated;
        std::this_thread::sleep_for(50ms);
    }
    return authenticated;
}

void flood(pid_t pid, const test::SlowLinkPhone& phone, Kind kind, std::ostream& out) {
    const double rest = residentMegabytes(pid);
    std::atomic<double> peak = rest;
    std::atomic<bool> flooding = true;
    std::thread sampler([&] {
        while (flooding) {
            peak = std::max(peak.load(), residentMegabytes(pid));
            std::this_thread::sleep_for(sampling);
        }
    });
    const auto started = std::chrono::steady_clock::now();
    int oneWay = 0;
    int twoWay = 0;
    {
        const bool waits = kind != Kind::halfHelloThenClose;
        test::StrangerCrowd crowd({phone.port, kind, strangerAddresses, strangersPerSecond, waits ? 3500ms : 500ms});
        std::this_thread::sleep_for(2s);
        oneWay = attemptsIn(phone, oneWayAttempts);
        auto bothWays = phone;
        bothWays.lateBothWays = true;
        twoWay = attemptsIn(bothWays, twoWayAttempts);
        std::this_thread::sleep_until(std::max(std::chrono::steady_clock::now(), started + floodLength));
    }
    flooding = false;
    sampler.join();
    std::this_thread::sleep_for(afterFlood);
    out << std::fixed << std::setprecision(1) << "    " << describe(kind) << ": " << rest << " MB before, up to "
        << peak.load() << " MB during, " << residentMegabytes(pid) << " MB " << afterFlood.count()
        << " s after; the slow phone got in " << oneWay << "/" << oneWayAttempts << " (late one way), " << twoWay << "/"
        << twoWayAttempts << " (both ways)\n";
}

void floods(pid_t pid, std::uint16_t port, const std::string& id, const std::string& keyHex, std::ostream& out) {
    const auto deviceID = Uuid::parse(id);
    const auto key = hexBytes(keyHex);
    if (!deviceID || !key) {
        out << "    no paired phone\n";
        return;
    }
    const test::SlowLinkPhone phone{port, "127.0.0.1", *deviceID, *key, 50ms};
    for (auto kind : {Kind::largestHeaderThenWait, Kind::largestHelloThenWait, Kind::limitHelloThenWait,
                      Kind::halfHelloThenClose}) {
        flood(pid, phone, kind, out);
    }
}

} // namespace

void measureFloods(const BenchOptions& options, std::ostream& out) {
    out << "\nStrangers from " << strangerAddresses << " addresses, " << strangersPerSecond
        << " connections a second for " << floodLength.count() << " s: resident memory, and a phone whose flights are "
        << "50 ms late meanwhile\norvik-test-server:\n";
    if (auto server = pairedTestServer()) {
        std::this_thread::sleep_for(2s);
        floods(server->process->pid(), server->port, server->deviceID, server->keyHex, out);
    } else {
        out << "    did not start or pair\n";
    }

    out << "orvik-helper, XEmbed tray:\n";
    test::TrayHost host(test::TrayKind::xembed);
    const auto started = std::chrono::steady_clock::now();
    test::HelperUnderTest helper({.pairedDevices = static_cast<std::size_t>(options.phones)});
    const int port = helper.listenerPort();
    std::this_thread::sleep_until(started + 12s);
    if (!host.ready() || port == 0) {
        out << "    did not start\n";
        return;
    }
    const auto& device = helper.devices().front();
    floods(helper.pid(), static_cast<std::uint16_t>(port), device.id, device.keyHex, out);
}

} // namespace orvik::bench
