// Cost of the message codec on the hot paths: a pointer move framed and decoded (every finger movement), and a
// status snapshot decoded from its JSON payload (pushed every 2 seconds to every phone).
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <benchmark/benchmark.h>

using namespace orvik;

namespace {

HelperStatus fullStatus() {
    return HelperStatus{.battery = BatteryStatus{0.8f, true},
                        .volume = VolumeStatus{0.25f, false, true},
                        .secureInputActive = false,
                        .frontmostAppName = "Files",
                        .frontmostBundleID = "org.gnome.Nautilus.desktop",
                        .displayCount = 2,
                        .sleepTimer = SleepTimerStatus{PowerAction::sleep, 1800},
                        .isPaused = false,
                        .canControl = true};
}

void pointerMoveEncodeDecode(benchmark::State& state) {
    std::uint32_t sequence = 0;
    for (auto _ : state) {
        OrvikMessage message(PointerMove{1.5f, -0.75f, ++sequence});
        auto frame = message.frame();
        auto decoded = OrvikMessage::decode(*frame);
        benchmark::DoNotOptimize(decoded);
    }
}
BENCHMARK(pointerMoveEncodeDecode);

void statusJsonDecode(benchmark::State& state) {
    auto frame = *OrvikMessage(fullStatus()).frame();
    for (auto _ : state) {
        auto decoded = OrvikMessage::decode(frame);
        benchmark::DoNotOptimize(decoded);
    }
    state.counters["payloadBytes"] = static_cast<double>(frame.payload.size());
}
BENCHMARK(statusJsonDecode);

void statusJsonEncode(benchmark::State& state) {
    OrvikMessage message(fullStatus());
    for (auto _ : state) {
        auto frame = message.frame();
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(statusJsonEncode);

} // namespace

BENCHMARK_MAIN();
