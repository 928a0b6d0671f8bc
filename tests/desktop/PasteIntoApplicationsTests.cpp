// A phone's paste lands where users paste: in a terminal (xterm, which pastes the primary selection on
// Shift+Insert and takes Ctrl+V as a literal control character) and in a Qt text field (which pastes the
// clipboard). While the text is set, both selections offer it marked concealed; afterwards the user's own
// clipboard and primary selection are back. Process against process: orvik-phone, orvik-test-server --desktop,
// xclip holding the user's contents, and the applications.

// Google Test and the protocol first: Xlib defines macros (None, Bool, Status) that clash with their names.
#include <gtest/gtest.h>

#include "DesktopProcesses.hpp"

#include "X11ClipboardReader.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdlib.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;

// The pasted text stays set this long, so that the checks made while it is set finish on a loaded machine.
constexpr auto pasteRestore = 5000ms;
// Where the pointer rests while pasting into the terminal: inside its window, which sits at the top left.
constexpr int terminalX = 100;
constexpr int terminalY = 100;

const std::string copiedEarlier = "copied earlier";
const std::string selectedEarlier = "selected earlier";

std::string contentsOf(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// xclip owning a selection with a text, as a user's copy or selection in another application.
std::unique_ptr<ChildProcess> holdSelection(const std::string& selection, const std::string& text) {
    auto owner = std::make_unique<ChildProcess>(
        std::vector<std::string>{programPath("xclip"), "-selection", selection, "-quiet", "-i"});
    EXPECT_TRUE(owner->write(text));
    owner->closeInput();
    return owner;
}

class PasteIntoApplications : public ::testing::Test {
protected:
    PasteIntoApplications() {
        std::signal(SIGPIPE, SIG_IGN); // a child that ended makes writing to it fail instead of ending the test
        phone.status();
        copied = holdSelection("clipboard", copiedEarlier);
        selected = holdSelection("primary", selectedEarlier);
        EXPECT_TRUE(eventually([&] { return clipboard.text() == copiedEarlier && primary.text() == selectedEarlier; }));
    }

    // Both selections hold the pasted text, marked so that clipboard histories skip it.
    void expectSetAndConcealed(const std::string& text) {
        for (auto* selection : {&clipboard, &primary}) {
            EXPECT_EQ(selection->text(), text);
            EXPECT_EQ(selection->data("x-kde-passwordManagerHint"), "secret");
            EXPECT_EQ(selection->data("org.nspasteboard.ConcealedType"), "");
        }
    }

    // The user's own contents come back, without our markers.
    void expectUsersContentsBack() {
        EXPECT_TRUE(eventually([&] { return clipboard.text() == copiedEarlier && primary.text() == selectedEarlier; }))
            << "clipboard: " << clipboard.text().value_or("(none)")
            << ", primary selection: " << primary.text().value_or("(none)");
        EXPECT_EQ(clipboard.data("x-kde-passwordManagerHint"), std::nullopt);
        EXPECT_EQ(primary.data("x-kde-passwordManagerHint"), std::nullopt);
    }

    DesktopServer server{pasteRestore};
    Phone phone{server};
    X11ClipboardReader clipboard{"CLIPBOARD"};
    X11ClipboardReader primary{"PRIMARY"};
    std::unique_ptr<ChildProcess> copied;
    std::unique_ptr<ChildProcess> selected;
};

// Without a window manager the keyboard focus follows the pointer: the terminal has it while the pointer rests in
// its window, once that is mapped.
bool pointerRestsOnAWindow(Display* display) {
    XTestFakeMotionEvent(display, -1, terminalX, terminalY, CurrentTime);
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
    return child != 0;
}

TEST_F(PasteIntoApplications, ATerminalPastesTheTextFromThePrimarySelection) {
    char folder[] = "/tmp/orvik-paste-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const auto received = std::filesystem::path(folder) / "received";
    // The program in the terminal records what it reads, byte for byte; the shell creates the file only once the
    // terminal's line discipline is raw.
    ChildProcess terminal({programPath("env"), "LC_ALL=C.UTF-8", programPath("xterm"), "-geometry", "80x24+0+0", "-e",
                           "sh", "-c", "stty raw -echo && exec cat > \"$0\"", received.string()});
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(received) && pointerRestsOnAWindow(display); }));
    XCloseDisplay(display);

    const std::string text = "pasted into a terminal: Grüße ✓";
    phone.send(TextInput{text, TextMode::paste});
    EXPECT_TRUE(eventually([&] { return contentsOf(received) == text; })) << "received: " << contentsOf(received);
    expectSetAndConcealed(text);
    expectUsersContentsBack();
    std::filesystem::remove_all(folder);
}

TEST_F(PasteIntoApplications, AQtTextFieldPastesTheTextFromTheClipboard) {
    ChildProcess field({ORVIK_TEST_PASTE_FIELD});
    ASSERT_EQ(field.readLine(lineWait), "ready");

    const std::string text = "pasted into a text field: Grüße ✓";
    phone.send(TextInput{text, TextMode::paste});
    std::optional<std::string> shown;
    while ((shown = field.readLine(lineWait)) && *shown != text) {
    }
    EXPECT_EQ(shown, text);
    expectSetAndConcealed(text);
    expectUsersContentsBack();
}

} // namespace
} // namespace orvik::test
