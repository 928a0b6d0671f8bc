#include "pro/CLIShortcuts.hpp"

#include "platform/Subprocess.hpp"
#include "pro/ShortcutsParser.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace orvik::helper {

namespace {

// Answers a run once: the first of the exit, the start failure and the end of the wait wins.
class RunAnswer {
public:
    explicit RunAnswer(std::function<void(CommandOutcome)> done) : done_(std::move(done)) {}

    void answer(CommandOutcome outcome) {
        {
            std::lock_guard lock(mutex_);
            if (answered_) return;
            answered_ = true;
        }
        answeredChanged_.notify_all();
        done_(std::move(outcome));
    }

    // Returns at the end of `wait`, or earlier once answered.
    void waitFor(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        answeredChanged_.wait_for(lock, wait, [this] { return answered_; });
    }

private:
    std::function<void(CommandOutcome)> done_;
    std::mutex mutex_;
    std::condition_variable answeredChanged_;
    bool answered_ = false;
};

struct ListingFailed {
    std::string detail;
};

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

CLIShortcuts::CLIShortcuts(std::filesystem::path executable, std::shared_ptr<URLOpening> urlOpener, Timing timing)
    : executable_(std::move(executable)), urlOpener_(std::move(urlOpener)), timing_(timing) {}

void CLIShortcuts::list(std::function<void(ShortcutsListing)> done) {
    std::thread([self = *this, done = std::move(done)] { done(self.listNow()); }).detach();
}

ShortcutsListing CLIShortcuts::listNow() const {
    auto output = [this](const Subprocess::Arguments& arguments) -> std::vector<std::string> {
        const auto captured = Subprocess::capture(executable_, arguments, timing_.listingWatchdog);
        if (!captured) throw ListingFailed{"shortcuts not available"};
        if (captured->status != 0) throw ListingFailed{"shortcuts exited " + std::to_string(captured->status)};
        return ShortcutsParser::lines(captured->output);
    };
    try {
        const auto all = output({"list"});
        const auto folderNames = output({"list", "--folders"});
        std::map<std::string, std::vector<std::string>> folders;
        for (const auto& folder : folderNames) {
            try {
                folders[folder] = output({"list", "--folder-name", folder});
            } catch (const ListingFailed&) {
                // A folder that cannot be listed counts as empty; the listing goes on.
                folders[folder];
            }
        }
        return ShortcutsParser::combine(all, folders);
    } catch (const ListingFailed& failure) {
        return ShortcutsError{failure.detail};
    }
}

void CLIShortcuts::run(std::string name, std::function<void(CommandOutcome)> done) {
    if (access(executable_.c_str(), X_OK) != 0 || !std::filesystem::is_regular_file(executable_)) {
        openURLFallback(name, std::move(done));
        return;
    }
    auto answer = std::make_shared<RunAnswer>(std::move(done));
    auto exited = [answer](int status) {
        answer->answer(status == 0 ? CommandOutcome::success()
                                   : CommandOutcome::failure(ErrorCode::internalError,
                                                             "shortcut exited " + std::to_string(status)));
    };
    // The name is always the argument after "--", so one that begins with a hyphen is never read as an option.
    if (!Subprocess::start(executable_, {"run", "--", name}, std::move(exited))) {
        answer->answer(CommandOutcome::failure(ErrorCode::internalError, "shortcuts not available"));
        return;
    }
    // A command still running after runWait counts as started; it keeps running and its exit is ignored.
    std::thread([answer, wait = timing_.runWait] {
        answer->waitFor(wait);
        answer->answer(CommandOutcome::success());
    }).detach();
}

std::string CLIShortcuts::fallbackURLFor(std::string_view name) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = std::string(fallbackURL) + "?name=";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte)) {
            url.push_back(c);
        } else {
            url.push_back('%');
            url.push_back(hex[byte >> 4]);
            url.push_back(hex[byte & 0x0F]);
        }
    }
    return url;
}

void CLIShortcuts::openURLFallback(const std::string& name, std::function<void(CommandOutcome)> done) {
    auto opened = [done = std::move(done)](bool handed) {
        done(handed ? CommandOutcome::success() : CommandOutcome::failure(ErrorCode::unsupported));
    };
    urlOpener_->open(fallbackURLFor(name), std::move(opened));
}

} // namespace orvik::helper
