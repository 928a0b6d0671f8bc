// Input through the X11 sink to a running X server (DISPLAY): what one pointer move costs its caller and how
// soon an application sees it, and how fast mixed text types while an application that reads its queue only
// every half second still receives every character.
#include "injection/InputController.hpp"
#include "injection/TextTyping.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "injection/x11/X11Unicode.hpp"

#include <benchmark/benchmark.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
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

constexpr auto slowReaderPause = std::chrono::milliseconds(500);
constexpr auto typingLimit = std::chrono::seconds(60);

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

double microsecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// An application window with the keyboard focus under the whole screen.
class Receiver {
public:
    Receiver() {
        display_ = XOpenDisplay(nullptr);
        int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = KeyPressMask | PointerMotionMask | StructureNotifyMask;
        window_ = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0,
                                static_cast<unsigned>(DisplayWidth(display_, screen)),
                                static_cast<unsigned>(DisplayHeight(display_, screen)), 0, CopyFromParent, InputOutput,
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
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // Waits for the motion event that puts the pointer at x.
    void awaitMotionTo(int x) {
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MotionNotify && event.xmotion.x_root == x) return;
            }
            pollfd descriptor{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&descriptor, 1, 1000);
        }
    }

    // Reads the whole queue, looking each key up in the keyboard map of this moment (as an application that
    // reads late does), and appends the characters typed.
    void readQueue(std::u32string& text) {
        XSync(display_, False);
        int count = XEventsQueued(display_, QueuedAlready);
        // Read after the events: those that arrive meanwhile wait for the next read.
        XkbDescPtr map = XkbGetMap(display_, XkbAllClientInfoMask, XkbUseCoreKbd);
        for (; count > 0; --count) {
            XEvent event;
            XNextEvent(display_, &event);
            unsigned consumed = 0;
            KeySym keysym = NoSymbol;
            if (event.type != KeyPress || !map) continue;
            XkbTranslateKeyCode(map, static_cast<KeyCode>(event.xkey.keycode), event.xkey.state, &consumed, &keysym);
            if (!IsModifierKey(keysym))
                text += static_cast<char32_t>(xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(keysym)));
        }
        if (map) XkbFreeKeyboard(map, XkbAllComponentsMask, True);
    }

private:
    Display* display_;
    Window window_;
};

// One relative move through the controller: the time its caller spends posting it, and the time until the
// application under the pointer receives the motion.
void pointerMove(benchmark::State& state) {
    Receiver receiver;
    auto sink = std::make_shared<CGEventSink>(0.4);
    InputController controller(sink);
    sink->postMouse(MouseEventKind::moved, std::nullopt, {400, 400}, 0, {});
    receiver.awaitMotionTo(400);
    std::vector<double> posted;
    std::vector<double> delivered;
    int step = 1;
    for (auto _ : state) {
        auto start = Clock::now();
        controller.movePointer(static_cast<float>(step), 0);
        posted.push_back(microsecondsSince(start));
        receiver.awaitMotionTo(step > 0 ? 401 : 400);
        delivered.push_back(microsecondsSince(start));
        step = -step;
    }
    state.counters["posted_median_us"] = percentile(posted, 0.5);
    state.counters["posted_p99_us"] = percentile(posted, 0.99);
    state.counters["delivered_median_us"] = percentile(delivered, 0.5);
    state.counters["delivered_p99_us"] = percentile(delivered, 0.99);
}

// Whether the pointer is at `x` now, asked on a connection of its own.
bool pointerAt(Display* display, int x) {
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
    return rootX == x;
}

// Types `text` in the chunks of the text typing policy, with the sink's own clock and thread, to an application
// that reads its queue every half second. Counts characters per second until the sink has sent them all (a
// pointer move posted after the text has arrived) and until that application has them all (or the limit
// passed), and the runs in which every character arrived as sent.
void slowReaderTyping(benchmark::State& state, const std::string& text) {
    constexpr int marker = 321;
    std::vector<std::u16string> chunks;
    std::u32string expected;
    for (const auto& segment : TextTyping::segments(text)) {
        if (const auto* chunk = std::get_if<TextTyping::Segment::Text>(&segment.value)) {
            chunks.push_back(chunk->units);
            expected += X11Unicode::codePoints(chunk->units);
        }
    }
    double sentPerSecond = 0;
    double receivedPerSecond = 0;
    std::int64_t intact = 0;
    std::int64_t runs = 0;
    Display* observer = XOpenDisplay(nullptr);
    for (auto _ : state) {
        Receiver receiver;
        auto sink = std::make_shared<CGEventSink>(0.4);
        InputController controller(sink);
        sink->postMouse(MouseEventKind::moved, std::nullopt, {marker + 1, 100}, 0, {});
        while (!pointerAt(observer, marker + 1)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto start = Clock::now();
        for (const auto& chunk : chunks) controller.typeUnicode(chunk);
        sink->postMouse(MouseEventKind::moved, std::nullopt, {marker, 100}, 0, {});
        auto sent = std::thread([&] {
            while (!pointerAt(observer, marker) && Clock::now() - start < typingLimit) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sentPerSecond +=
                static_cast<double>(expected.size()) / std::chrono::duration<double>(Clock::now() - start).count();
        });
        std::u32string received;
        while (received.size() < expected.size() && Clock::now() - start < typingLimit) {
            std::this_thread::sleep_for(slowReaderPause);
            receiver.readQueue(received);
        }
        receivedPerSecond +=
            static_cast<double>(received.size()) / std::chrono::duration<double>(Clock::now() - start).count();
        sent.join();
        intact += received == expected;
        ++runs;
    }
    XCloseDisplay(observer);
    state.counters["sent_chars_per_s"] = sentPerSecond / static_cast<double>(runs);
    state.counters["received_chars_per_s"] = receivedPerSecond / static_cast<double>(runs);
    state.counters["intact_runs"] = static_cast<double>(intact);
    state.counters["runs"] = static_cast<double>(runs);
}

// Letters on the keyboard mixed with characters that need borrowed keycodes, repeated.
std::string mixedText() {
    std::string text;
    for (int repeat = 0; repeat < 4; ++repeat) text += "Grüße aus Köln – 日本語のテキスト, жёлтый €5 ß. ";
    return text;
}

// 120 different characters, none on the keyboard, between letters that are: more than there are places to borrow,
// so places are taken again once their last press is old enough.
std::string distinctText() {
    std::string text;
    for (char32_t character = 0x4E00; character < 0x4E00 + 120; ++character) {
        text += static_cast<char>('a' + (character % 26));
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
    benchmark::RegisterBenchmark("x11/pointer_move", pointerMove)->Iterations(5000)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("x11/slow_reader_typing_mixed", slowReaderTyping, mixedText())
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("x11/slow_reader_typing_distinct", slowReaderTyping, distinctText())
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
