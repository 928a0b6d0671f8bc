// Phones on a real X server: orvik-phone pairs with the test server, reconnects with its new key, and its
// pointer, button, scroll, key, text and paste messages move, click and type on the desktop, as a window that has
// the keyboard focus sees them; and the server keeps serving when the X server dies under it. Process against
// process, over TLS on loopback.

// Google Test and the protocol first: Xlib defines macros (None, Bool, Status, ProtocolVersion) that clash with
// their names.
#include <gtest/gtest.h>

#include "ChildProcess.hpp"
#include "injection/x11/X11WheelAccumulator.hpp"
#include "orvik/protocol/keys/MacKey.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include "PrivateXServer.hpp"
#include "X11ClipboardReader.hpp"
#include "X11EventRecorder.hpp"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace orvik::test {
namespace {

using helper::x11test::X11EventRecorder;
using nlohmann::json;
using Event = X11EventRecorder::Event;
using namespace std::chrono_literals;

// Generous limits for other processes to act; nothing here measures time.
constexpr auto lineWait = 10s;
constexpr auto settleLimit = 10s;
constexpr auto pollPause = 1ms;
constexpr auto localMoveLead = 500ms;

constexpr unsigned modifierMask =
    ShiftMask | LockMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask;
constexpr unsigned buttonMask = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;

std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        auto candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    throw std::runtime_error(name + " is not installed");
}

// A program whose standard output is one JSON object per line.
class JsonLines {
public:
    explicit JsonLines(std::vector<std::string> argv) : process(std::move(argv)) {}

    // The next line for which `matches` holds; every line read is kept in `seen`.
    json waitFor(const std::function<bool(const json&)>& matches) {
        while (auto line = process.readLine(lineWait)) {
            seen.push_back(json::parse(*line));
            if (matches(seen.back())) return seen.back();
        }
        throw std::runtime_error("expected line did not come");
    }

    ChildProcess process;
    std::vector<json> seen;
};

bool hasValue(const json& line, const std::string& key, const std::string& value) {
    return line.value(key, "") == value;
}

// orvik-test-server posting to this test's X display, its pairing window open.
class DesktopServer : public JsonLines {
public:
    // The paste stays on the clipboard for 3 s rather than 0.4 s, so that a loaded machine still reads it on
    // Ctrl+V; the delay itself is tested with an injected clock in the server's own tests.
    DesktopServer() : JsonLines({ORVIK_TEST_SERVER_PATH, "--desktop", "--paste-restore-ms", "3000"}) {
        port = waitFor([](const json& l) { return hasValue(l, "status", "ready"); }).at("port").get<int>();
        url = waitFor([](const json& l) { return hasValue(l, "event", "pairing"); }).at("url").get<std::string>();
    }
    ~DesktopServer() {
        process.closeInput();
        process.waitForExit(5s);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port); }

    int port = 0;
    std::string url;
};

// orvik-phone sending what the test writes: paired by the server's URL, then authenticated with its new key; or
// authenticated as a device paired before.
class Phone : public JsonLines {
public:
    explicit Phone(const DesktopServer& server)
        : Phone(server, std::vector<std::string>{"--pair-url", server.url, "--reconnect"}) {}
    Phone(const DesktopServer& server, const json& paired)
        : Phone(server, std::vector<std::string>{"--identity", paired.at("deviceID").get<std::string>(), "--key",
                                                 paired.at("deviceKeyHex").get<std::string>()}) {}

    void send(const OrvikMessage& message) { ASSERT_TRUE(process.write(toJson(message).dump() + "\n")); }

    // Ends the session from the phone's side: it closes the connection once everything written is sent.
    std::optional<int> end() {
        process.closeInput();
        while (auto line = process.readLine(lineWait)) seen.push_back(json::parse(*line));
        return process.waitForExit(lineWait);
    }

private:
    Phone(const DesktopServer& server, std::vector<std::string> credentials)
        : JsonLines([&] {
              std::vector<std::string> argv{ORVIK_PHONE_PATH};
              argv.insert(argv.end(), credentials.begin(), credentials.end());
              for (const char* option : {"--quiet", "--stdin", "--wait-ms", "0", "--connect"}) argv.push_back(option);
              argv.push_back(server.address());
              return argv;
          }()) {}
};

KeyEvent keyEvent(MacKey key, ModifierFlags modifiers, KeyAction action) {
    return KeyEvent{rawValue(key), modifiers, action};
}

std::size_t count(const std::vector<Event>& events, int type, unsigned detail) {
    return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const Event& event) {
        return event.type == type && event.detail == detail;
    }));
}

class DesktopSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A child that ended makes writing to it fail instead of ending the test.
        std::signal(SIGPIPE, SIG_IGN);
    }

    // Reads the recorder until the events since the last call satisfy `done`, and returns them.
    std::vector<Event> eventsUntil(const std::function<bool(const std::vector<Event>&)>& done) {
        std::vector<Event> events;
        const auto deadline = std::chrono::steady_clock::now() + settleLimit;
        for (;;) {
            auto more = recorder.take();
            events.insert(events.end(), more.begin(), more.end());
            history.insert(history.end(), more.begin(), more.end());
            if (done(events)) return events;
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the desktop did not get the expected events";
                return events;
            }
            std::this_thread::sleep_for(pollPause);
        }
    }

    // The events that arrived since the last call.
    std::vector<Event> drain() {
        return eventsUntil([](const auto&) { return true; });
    }

    static bool eventually(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + settleLimit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(pollPause);
        }
        return true;
    }

    bool pointerAt(int x, int y) const {
        auto pointer = recorder.pointer();
        return pointer.x == x && pointer.y == y;
    }

    bool nothingHeld() const {
        return recorder.pressedKeys().empty() && (recorder.pointer().mask & (buttonMask | modifierMask)) == 0;
    }

    std::vector<Event> keyPresses() const { return X11EventRecorder::ofType(history, KeyPress); }

    void movesThePointerAndKeepsItOnTheScreen();
    void clicksAndDoubleClicksWhereThePointerIs();
    void scrollsWithTheWheel();
    void pressesAKeyWithModifiers();
    void typesTextExactly();
    void pastesThroughTheClipboardAndPutsItBack();
    void releasesWhatIsHeldWhenTheSessionEnds();

    // The window with the keyboard focus, first: the server's input goes wherever the focus is.
    X11EventRecorder recorder;
    X11ClipboardReader clipboard;
    std::vector<Event> history;

    std::optional<DesktopServer> server;
    std::optional<Phone> phone;
};

void DesktopSession::movesThePointerAndKeepsItOnTheScreen() {
    SCOPED_TRACE("pointer");
    Display* display = recorder.display();
    const int width = DisplayWidth(display, DefaultScreen(display));
    // The local mouse moves (device motion, as a real mouse's), and a moment later the phone's move starts from
    // there: the server hears of local motion from its X thread, not at once.
    XTestFakeMotionEvent(display, -1, 400, 300, CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(localMoveLead);

    phone->send(PointerMove{120, -80, 1});
    EXPECT_TRUE(eventually([&] { return pointerAt(520, 220); }));
    auto motions = X11EventRecorder::ofType(drain(), MotionNotify);
    ASSERT_FALSE(motions.empty());
    EXPECT_EQ(motions.back().x, 520);
    EXPECT_EQ(motions.back().y, 220);

    phone->send(PointerMove{5000, 0, 2});
    EXPECT_TRUE(eventually([&] { return pointerAt(width - 1, 220); })) << "stops at the screen's right edge";

    phone->send(PointerMove{-1000, 200, 3});
    EXPECT_TRUE(eventually([&] { return pointerAt(width - 1001, 420); }));
    drain();
}

void DesktopSession::clicksAndDoubleClicksWhereThePointerIs() {
    SCOPED_TRACE("buttons");
    const auto pointer = recorder.pointer();

    phone->send(ButtonEvent{MouseButton::left, ButtonAction::click});
    auto click = eventsUntil([](const auto& arrived) { return count(arrived, ButtonRelease, Button1) >= 1; });
    EXPECT_EQ(count(click, ButtonPress, Button1), 1u);

    phone->send(ButtonEvent{MouseButton::left, ButtonAction::doubleClick});
    auto twice = eventsUntil([](const auto& arrived) { return count(arrived, ButtonRelease, Button1) >= 2; });
    std::vector<int> order;
    for (const auto& event : twice) {
        if ((event.type == ButtonPress || event.type == ButtonRelease) && event.detail == Button1) {
            order.push_back(event.type);
            EXPECT_EQ(event.x, pointer.x);
            EXPECT_EQ(event.y, pointer.y);
        }
    }
    EXPECT_EQ(order, (std::vector<int>{ButtonPress, ButtonRelease, ButtonPress, ButtonRelease}));
    EXPECT_TRUE(eventually([&] { return nothingHeld(); }));
}

void DesktopSession::scrollsWithTheWheel() {
    SCOPED_TRACE("scroll");
    constexpr int notches = 2;
    // Positive dy scrolls up: wheel button 4.
    phone->send(ScrollEvent{0, static_cast<float>(notches * helper::X11WheelAccumulator::pixelsPerClick),
                            ScrollPhase::none, MomentumPhase::none});
    auto wheel = eventsUntil([](const auto& arrived) { return count(arrived, ButtonRelease, Button4) >= notches; });
    EXPECT_EQ(count(wheel, ButtonPress, Button4), static_cast<std::size_t>(notches));
    EXPECT_EQ(count(wheel, ButtonPress, Button5), 0u);
}

void DesktopSession::pressesAKeyWithModifiers() {
    SCOPED_TRACE("key combo");
    const unsigned keycodeA = recorder.keycodeOf(XK_a);
    phone->send(keyEvent(MacKey::a, ModifierFlags::command | ModifierFlags::shift, KeyAction::press));
    auto events = eventsUntil([&](const auto& arrived) { return count(arrived, KeyRelease, keycodeA) >= 1; });
    auto press = std::find_if(events.begin(), events.end(),
                              [&](const Event& event) { return event.type == KeyPress && event.detail == keycodeA; });
    ASSERT_NE(press, events.end());
    // Command is Control on this desktop.
    EXPECT_EQ(press->state & modifierMask, static_cast<unsigned>(ControlMask | ShiftMask));
    EXPECT_EQ(press->keysym, static_cast<KeySym>(XK_A));
    EXPECT_TRUE(eventually([&] { return nothingHeld(); })) << "the modifiers come up after the key";
}

void DesktopSession::typesTextExactly() {
    SCOPED_TRACE("text");
    const std::string typed = "Hello é€жü日本ß";
    const auto first = keyPresses().size();

    phone->send(TextInput{typed, TextMode::type});
    std::string text;
    eventsUntil([&](const auto&) {
        text.clear();
        for (std::size_t index = first; index < keyPresses().size(); ++index) text += keyPresses()[index].text;
        return text.size() >= typed.size();
    });
    EXPECT_EQ(text, typed);
    EXPECT_TRUE(eventually([&] { return nothingHeld(); }));
}

void DesktopSession::pastesThroughTheClipboardAndPutsItBack() {
    SCOPED_TRACE("paste");
    const std::string earlier = "copied earlier";
    ChildProcess earlierOwner({programPath("xclip"), "-selection", "clipboard", "-quiet", "-i"});
    ASSERT_TRUE(earlierOwner.write(earlier));
    earlierOwner.closeInput();
    ASSERT_TRUE(eventually([&] { return clipboard.text() == earlier; }));

    const std::string pasted = "pasted: Grüße ✓";
    const unsigned keycodeV = recorder.keycodeOf(XK_v);
    phone->send(TextInput{pasted, TextMode::paste});
    // The window pastes as an application does: on Ctrl+V it reads the clipboard at once.
    std::optional<std::string> readOnPaste;
    std::optional<unsigned> pasteState;
    eventsUntil([&](const auto& arrived) {
        for (const auto& event : arrived) {
            if (event.type == KeyPress && event.detail == keycodeV && (event.state & ControlMask)) {
                pasteState = event.state & modifierMask;
                readOnPaste = clipboard.text();
                return true;
            }
        }
        return false;
    });
    EXPECT_EQ(pasteState, static_cast<unsigned>(ControlMask));
    EXPECT_EQ(readOnPaste, pasted);
    EXPECT_TRUE(eventually([&] { return clipboard.text() == earlier; })) << "the earlier text is back";
}

void DesktopSession::releasesWhatIsHeldWhenTheSessionEnds() {
    SCOPED_TRACE("session end");
    const unsigned keycodeB = recorder.keycodeOf(XK_b);
    phone->send(ButtonEvent{MouseButton::left, ButtonAction::down});
    phone->send(keyEvent(MacKey::b, ModifierFlags::option, KeyAction::down));
    auto held = eventsUntil([&](const auto& arrived) {
        return count(arrived, ButtonPress, Button1) >= 1 && count(arrived, KeyPress, keycodeB) >= 1;
    });
    EXPECT_EQ(count(held, ButtonRelease, Button1), 0u);
    EXPECT_EQ(count(held, KeyRelease, keycodeB), 0u);
    auto press = std::find_if(held.begin(), held.end(),
                              [&](const Event& event) { return event.type == KeyPress && event.detail == keycodeB; });
    ASSERT_NE(press, held.end());
    // Option is Alt, with the left button held.
    EXPECT_EQ(press->state & (modifierMask | buttonMask), static_cast<unsigned>(Mod1Mask | Button1Mask));
    ASSERT_FALSE(nothingHeld());

    EXPECT_EQ(phone->end(), 0);
    server->waitFor([](const json& l) { return hasValue(l, "event", "connections") && l.at("devices").empty(); });
    eventsUntil([&](const auto& arrived) {
        return count(arrived, ButtonRelease, Button1) >= 1 && count(arrived, KeyRelease, keycodeB) >= 1;
    });
    EXPECT_TRUE(eventually([&] { return nothingHeld(); })) << "every key, modifier and button is up";
}

TEST_F(DesktopSession, APhoneMovesClicksScrollsTypesAndPastesOnTheDesktopInOneSession) {
    server.emplace();
    phone.emplace(*server);
    auto status = phone->waitFor([](const json& l) { return hasValue(l, "type", "status"); });
    ASSERT_TRUE(std::any_of(phone->seen.begin(), phone->seen.end(),
                            [](const json& l) { return hasValue(l, "type", "authenticated"); }));
    EXPECT_TRUE(status.at("payload").at("canControl").get<bool>()) << "posting input is permitted on this display";

    movesThePointerAndKeepsItOnTheScreen();
    clicksAndDoubleClicksWhereThePointerIs();
    scrollsWithTheWheel();
    pressesAKeyWithModifiers();
    typesTextExactly();
    pastesThroughTheClipboardAndPutsItBack();
    releasesWhatIsHeldWhenTheSessionEnds();

    EXPECT_FALSE(std::any_of(phone->seen.begin(), phone->seen.end(),
                             [](const json& l) { return hasValue(l, "type", "error"); }));
}

// The pid of this process's child running `path`.
pid_t childRunning(const std::string& path) {
    const auto program = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "exe", error) != program) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        if (fields >> state >> parent && parent == ::getpid()) return std::stoi(entry.path().filename().string());
    }
    return 0;
}

// Text the keyboard lacks, typed through borrowed keycodes.
std::string lackingCharacters(char32_t first, int count) {
    std::string text;
    for (char32_t character = first; character < first + static_cast<char32_t>(count); ++character) {
        text += X11EventRecorder::utf8(0x01000000 + character);
    }
    return text;
}

// The X server dies while three phones type, and a new one starts on the same display: the next phone is served
// and its text arrives there, and the server still stops on SIGTERM.
TEST(DesktopServerLoss, ServesTheNextPhoneOnTheNewXServerAndStopsOnSigterm) {
    constexpr auto typingBeforeTheLoss = 300ms;
    constexpr auto recoveryLimit = 5s;
    std::signal(SIGPIPE, SIG_IGN);
    helper::x11test::PrivateXServer x11("1280x800x24");
    ASSERT_FALSE(x11.name().empty());
    ::setenv("DISPLAY", x11.name().c_str(), 1);
    ASSERT_EQ(ChildProcess::run({programPath("setxkbmap"), "-layout", "us,ru"}, settleLimit).status, 0);

    DesktopServer server;
    std::vector<std::unique_ptr<Phone>> typists;
    typists.push_back(std::make_unique<Phone>(server));
    const auto paired = typists[0]->waitFor([](const json& l) { return hasValue(l, "event", "paired"); });
    typists.push_back(std::make_unique<Phone>(server, paired));
    typists.push_back(std::make_unique<Phone>(server, paired));
    for (auto& typist : typists) typist->waitFor([](const json& l) { return hasValue(l, "type", "status"); });
    for (int message = 0; message < 5; ++message) {
        for (std::size_t index = 0; index < typists.size(); ++index) {
            const auto first = static_cast<char32_t>(0x4E00 + 1000 * index + 150 * static_cast<std::size_t>(message));
            typists[index]->send(TextInput{lackingCharacters(first, 150), TextMode::type});
        }
    }
    std::this_thread::sleep_for(typingBeforeTheLoss);
    ASSERT_TRUE(x11.restart());
    const auto restarted = std::chrono::steady_clock::now();

    X11EventRecorder recorder(x11.name());
    Phone next(server, paired);
    next.waitFor(
        [](const json& l) { return hasValue(l, "type", "status") && l.at("payload").at("canControl").get<bool>(); });
    const std::string text = "back to work 42";
    next.send(TextInput{text, TextMode::type});
    std::string typed;
    while (typed != text && std::chrono::steady_clock::now() - restarted < recoveryLimit) {
        for (const auto& press : X11EventRecorder::ofType(recorder.take(), KeyPress)) {
            // What the other phones still had queued may land here too.
            if (press.text.size() == 1) typed += press.text;
        }
        std::this_thread::sleep_for(pollPause);
    }
    EXPECT_EQ(typed, text);

    ::kill(childRunning(ORVIK_TEST_SERVER_PATH), SIGTERM);
    EXPECT_EQ(server.process.waitForExit(settleLimit), 0) << "the server stops on SIGTERM";
}

} // namespace
} // namespace orvik::test
