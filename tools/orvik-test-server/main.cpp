// orvik-test-server: the helper server on loopback with in-memory stores and a recording input sink (or the X
// desktop's input and clipboard), for end-to-end tests and for trying the server from a shell (see --help).

#include "ScreenBackend.hpp"
#include "TestServerOutput.hpp"
#include "TestServerPlatform.hpp"

#include "core/ExecutorGate.hpp"
#include "core/InMemoryUserDefaults.hpp"
#include "core/IoThread.hpp"
#include "core/Log.hpp"
#include "core/OpenFileLimit.hpp"
#include "pairing/InMemoryDeviceStore.hpp"
#include "server/HelperServer.hpp"
#include "server/linux/LinuxSystemInfoSource.hpp"
#include "services/LinuxSystemServices.hpp"
#include "system/SystemController.hpp"

#include <csignal>
#include <deque>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace orvik;
using namespace orvik::helper;
using orvik::testserver::TestServerOutput;
using orvik::testserver::TestServerPlatform;

constexpr std::string_view usage = R"(usage: orvik-test-server [options]

Runs the helper server on 127.0.0.1 with in-memory device and preference stores, a recording input sink and an
in-memory clipboard (with --desktop: the X display's input and clipboard), and the system commands: media and
volume keys are posted as keys, presentation keys pressed, power actions answered "no power backend" (delayed
ones are scheduled and shown in the status). Opens a pairing window once
listening. Prints every server event and every input event the sink records as one JSON line on standard
output. The listener re-opens at every key change (the pairing window opened or closed, a device paired or
removed) and refuses connections until its next {"event":"listenerStatus","status":"ready",...} line. Ends at the
end of standard input, or on SIGINT/SIGTERM.

Options:
  --approval approve|deny|never   answer to pairings that ask the local user (default approve)
  --ask-on-scan                   ask also for pairings by QR code (by default they need no approval)
  --no-pairing-window             do not open a pairing window
  --paste-restore-ms N            how long a paste stays on the clipboard (default 400)
  --desktop                       post input to the X display of $DISPLAY and paste through its CLIPBOARD
                                  instead (input events are then not printed)
  --pulse-server ADDRESS          take the volume from this PulseAudio server (default: no output device, so
                                  volume keys are posted as keys)
  --system-bus ADDRESS            with --session-bus: carry out power actions through logind on this bus and
  --session-bus ADDRESS           the desktop's session manager on that one (default: "no power backend")
  --pro                           serve the desktop's applications (XDG entries, the X display's windows), the
                                  user's commands, links and the frontmost application
  --help                          this text

Output lines: {"event": "listenerStatus"|"pairing"|"paired"|"devices"|"connections"|"paused"|
"handshakeFailed"|"screenViewers"|"preferences"|"screenBitRates", ...} and {"input": "mouse"|"scroll"|"key"|"modifier"|"unicode"|"media", ...}.
)";

struct Options {
    enum class Approval { approve, deny, never };
    Approval approval = Approval::approve;
    bool askOnScan = false;
    bool pairingWindow = true;
    std::chrono::milliseconds pasteRestoreDelay{400};
    bool desktop = false;
    // Each of the computer's services only when its address is given (none by default).
    orvik::helper::LinuxSystemBackends backends;
    orvik::testserver::ScreenBackend screen;
    bool help = false;
};

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        auto value = [&]() -> std::optional<std::string_view> {
            if (index + 1 >= argc) return std::nullopt;
            return std::string_view(argv[++index]);
        };
        if (argument == "--approval") {
            auto answer = value();
            if (answer == "approve")
                options.approval = Options::Approval::approve;
            else if (answer == "deny")
                options.approval = Options::Approval::deny;
            else if (answer == "never")
                options.approval = Options::Approval::never;
            else
                return std::nullopt;
        } else if (argument == "--ask-on-scan") {
            options.askOnScan = true;
        } else if (argument == "--no-pairing-window") {
            options.pairingWindow = false;
        } else if (argument == "--paste-restore-ms") {
            auto milliseconds = value();
            if (!milliseconds) return std::nullopt;
            options.pasteRestoreDelay = std::chrono::milliseconds(std::stoll(std::string(*milliseconds)));
        } else if (argument == "--desktop") {
            options.desktop = true;
        } else if (argument == "--pulse-server" || argument == "--system-bus" || argument == "--session-bus") {
            auto address = value();
            if (!address) return std::nullopt;
            auto& field = argument == "--pulse-server" ? options.backends.soundServer
                          : argument == "--system-bus" ? options.backends.systemBus
                                                       : options.backends.sessionBus;
            field = orvik::helper::ServiceAddress{std::string(*address)};
        } else if (argument == "--pro") {
            options.backends.pro = true;
        } else if (auto screen = options.screen.parse(argument, value);
                   screen != orvik::testserver::ScreenBackend::Parsed::notMine) {
            if (screen == orvik::testserver::ScreenBackend::Parsed::bad) return std::nullopt;
        } else if (argument == "--help") {
            options.help = true;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// Read and written on the server's thread only.
struct ServerSlot {
    std::weak_ptr<HelperServer> server;
};

std::atomic<bool> stopRequested = false;

// Lines of standard input waiting for the main loop, which owns the server.
struct Commands {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::string> lines;
};

asio::awaitable<void> applyPause(std::shared_ptr<HelperServer> server, bool paused) {
    auto applying = server->setPaused(paused);
    co_await std::move(applying);
}

void run(const std::string& command, const std::shared_ptr<HelperServer>& server,
         const orvik::testserver::ScreenBackend& screen, TestServerOutput& output) {
    if (command == "pause" || command == "resume") {
        asio::co_spawn(server->executor(), applyPause(server, command == "pause"), asio::detached);
    } else if (command == "rates") {
        output.line({{"event", "screenBitRates"}, {"bitRates", screen.bitRates()}});
    }
}

extern "C" void requestStop(int) {
    stopRequested = true;
}

} // namespace

static int serve(int argc, char** argv) {
    auto options = parse(argc, argv);
    if (!options || options->help) {
        std::cout << usage << orvik::testserver::ScreenBackend::usage;
        return options ? 0 : 1;
    }
    // A write to a peer that went away (an X server, a phone) must fail with EPIPE, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    // As the helper does: the connections inside TLS need more descriptors than a low soft limit allows.
    if (!OpenFileLimit::raise()) Log::error("Server", "Raising the limit of open files failed");

    TestServerOutput output(std::cout);
    HelperPreferences preferences;
    preferences.autoAllowOnScan = !options->askOnScan;
    preferences.screenViewingEnabled = options->screen.enabled();

    HelperServer::Configuration configuration;
    configuration.identity = HelperIdentity{Uuid::random(), "Orvik Test Server", "TestServer1,1", "0.0", std::nullopt};
    configuration.store = std::make_shared<InMemoryDeviceStore>();
    configuration.systemInfo = hostSystemInfo();
    configuration.preferencesStore = std::make_shared<InMemoryPreferencesStore>(preferences);
    auto platform = options->desktop ? TestServerPlatform::desktop() : TestServerPlatform::recording(output);
    configuration.sink = platform.sink;
    configuration.pasteboard = platform.pasteboard;
    configuration.primarySelection = platform.primarySelection;
    configuration.listenerOptions = ListenerOptions::loopbackTest();
    configuration.pasteRestoreDelay = options->pasteRestoreDelay;
    configuration.defaults = std::make_shared<InMemoryUserDefaults>();
    const auto approval = options->approval;
    configuration.services.canPostEvents = platform.canPostEvents;
    configuration.services.screen = options->screen.services();
    configuration.services.approvePairing = [approval](PairingApprovalRequest, std::function<void(bool)> done) {
        if (approval != Options::Approval::never) done(approval == Options::Approval::approve);
    };

    IoThread thread{HelperServer::threadName};
    // The system controller's timers and battery reads; it outlives the server and so the controller.
    IoThread systemThread{"System"};
    // A change of the volume or the frontmost application is pushed to the phones; the server exists only after the
    // controller.
    // The services report from threads of their own, which may outlive the server's thread at exit.
    auto statusGate = std::make_shared<ExecutorGate>(thread.executor());
    auto serverSlot = std::make_shared<ServerSlot>();
    auto statusChanged = [statusGate, serverSlot] {
        statusGate->post([serverSlot] {
            if (auto server = serverSlot->server.lock()) server->pushStatusIfChanged();
        });
    };
    auto system = linuxSystemServices(systemThread.executor(), options->backends, statusChanged);
    // No GUI loop, so no overlay; the sleep warning is logged.
    system.sleepWarning = [](PowerAction action) {
        Log::notice("System", "Power action " + std::string(caseName(action)) + " in one minute");
    };
    system.canPostEvents = platform.canPostEvents;
    configuration.services.system = SystemController::create(std::move(system));

    auto server = HelperServer::create(thread.executor(), std::move(configuration));
    asio::post(thread.executor(), [serverSlot, weak = std::weak_ptr(server)] { serverSlot->server = weak; });
    // Shared with the reader of standard input, which is never joined.
    auto commands = std::make_shared<Commands>();
    server->events()->setWake([commands] { commands->wake.notify_all(); });
    asio::post(thread.executor(), [server] { server->start(); });

    std::thread([commands] {
        std::string line;
        while (std::getline(std::cin, line)) {
            std::lock_guard lock(commands->mutex);
            commands->lines.push_back(line);
            commands->wake.notify_all();
        }
        stopRequested = true;
        commands->wake.notify_all();
    }).detach();

    bool windowOpened = !options->pairingWindow;
    while (!stopRequested) {
        std::deque<std::string> lines;
        {
            std::unique_lock lock(commands->mutex);
            if (commands->lines.empty()) commands->wake.wait_for(lock, std::chrono::milliseconds(100));
            lines.swap(commands->lines);
        }
        for (const auto& line : lines) run(line, server, options->screen, output);
        for (const auto& event : server->events()->drain()) {
            output.event(event);
            auto* status = event.get<ServerEvent::ListenerStatusChanged>();
            if (!windowOpened && status && status->status.readyPort()) {
                windowOpened = true;
                asio::post(thread.executor(), [server] { server->startPairing(); });
            }
        }
    }

    std::promise<void> stopped;
    asio::post(thread.executor(), [&] {
        server->stop();
        stopped.set_value();
    });
    stopped.get_future().wait();
    statusGate->close();
    server->events()->setWake(nullptr);
    server.reset();
    return 0;
}

int main(int argc, char** argv) {
    try {
        return serve(argc, argv);
    } catch (const std::exception& error) {
        // A malformed number among the options, say.
        std::cerr << "orvik-test-server: " << error.what() << "\n";
        return 1;
    }
}
