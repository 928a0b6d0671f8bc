// Input through the X11 sink to a running X server (DISPLAY): the time of one pointer move from the input
// controller to the server, and how fast Unicode text types while still arriving intact.
#include "injection/InputController.hpp"
#include "injection/TextTyping.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "injection/x11/X11Unicode.hpp"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace orvik;
using namespace orvik::helper;
using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

// One move through the controller and the sink, confirmed by XQueryPointer on the sink's own connection: its
// answer comes after the server handled the move.
void pointerMove(benchmark::State& state) {
    auto sink = std::make_shared<CGEventSink>(0.4);
    InputController controller(sink);
    sink->postMouse(MouseEventKind::moved, std::nullopt, {400, 400}, 0, {});
    std::vector<double> microseconds;
    microseconds.reserve(100000);
    int step = 1;
    std::int64_t mismatches = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        controller.movePointer(static_cast<float>(step), 0);
        auto location = sink->cursorLocation();
        microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        mismatches += location.x != (step > 0 ? 401 : 400);
        step = -step;
    }
    state.counters["median_us"] = percentile(microseconds, 0.5);
    state.counters["p99_us"] = percentile(microseconds, 0.99);
    state.counters["mismatches"] = static_cast<double>(mismatches);
}

// An application window that decodes what is typed into it, reading its events as they come.
class Receiver {
public:
    Receiver() {
        display_ = XOpenDisplay(nullptr);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = KeyPressMask | StructureNotifyMask;
        window_ = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, 800, 600, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(display_, window_);
        XEvent event;
        do {
            XWindowEvent(display_, window_, StructureNotifyMask, &event);
        } while (event.type != MapNotify);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~Receiver() { XCloseDisplay(display_); }

    // Reads key presses until `count` characters arrived or `timeout` passed.
    std::u32string read(std::size_t count, std::chrono::seconds timeout) {
        std::u32string text;
        auto deadline = Clock::now() + timeout;
        while (text.size() < count && Clock::now() < deadline) {
            if (XPending(display_) == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
            if (event.type != KeyPress) continue;
            KeySym keysym = NoSymbol;
            char latin1[8];
            XLookupString(&event.xkey, latin1, sizeof latin1, &keysym, nullptr);
            if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
                text += static_cast<char32_t>(keysym);
            } else if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) {
                text += static_cast<char32_t>(keysym - 0x01000000);
            } else if (!IsModifierKey(keysym)) {
                text += U'\uFFFD';
            }
        }
        return text;
    }

private:
    Display* display_;
    Window window_;
};

// Types `text` in the chunks the text typing policy makes, with the sink's own timer thread, and counts what a
// prompt application receives.
void unicodeTyping(benchmark::State& state, const std::string& text) {
    std::vector<std::u16string> chunks;
    std::u32string expected;
    for (const auto& segment : TextTyping::segments(text)) {
        if (const auto* chunk = std::get_if<TextTyping::Segment::Text>(&segment.value)) {
            chunks.push_back(chunk->units);
            expected += X11Unicode::codePoints(chunk->units);
        }
    }

    double charactersPerSecond = 0;
    std::int64_t intact = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        Receiver receiver;
        auto sink = std::make_shared<CGEventSink>(0.4);
        InputController controller(sink);
        auto start = Clock::now();
        std::thread typist([&] {
            for (const auto& chunk : chunks) controller.typeUnicode(chunk);
        });
        auto received = receiver.read(expected.size(), std::chrono::seconds(20));
        auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
        typist.join();
        charactersPerSecond += static_cast<double>(received.size()) / seconds;
        intact += received == expected;
        ++runs;
    }
    state.counters["chars_per_s"] = charactersPerSecond / static_cast<double>(runs);
    state.counters["intact_runs"] = static_cast<double>(intact);
    state.counters["runs"] = static_cast<double>(runs);
}

// Letters on the keyboard mixed with characters that need borrowed keycodes, repeated.
std::string mixedText() {
    std::string text;
    for (int repeat = 0; repeat < 10; ++repeat) text += "Grüße aus Köln – 日本語のテキスト, жёлтый €5 ß. ";
    return text;
}

// 200 different characters, none on the keyboard: every one needs a keycode of its own.
std::string distinctText() {
    std::string text;
    for (char32_t character = 0x4E00; character < 0x4E00 + 200; ++character) {
        text += static_cast<char>(0xE0 | (character >> 12));
        text += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::puts(
            "bench_x11_input: DISPLAY is not set; it needs a running X server (e.g. tests/support/run-with-xvfb).");
        return 0;
    }
    benchmark::RegisterBenchmark("x11/pointer_move_round_trip", pointerMove)->Iterations(20000);
    benchmark::RegisterBenchmark("x11/unicode_typing_mixed", unicodeTyping, mixedText())
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("x11/unicode_typing_distinct", unicodeTyping, distinctText())
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
