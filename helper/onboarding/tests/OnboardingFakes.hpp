#pragma once

#include "model/WindowID.hpp"
#include "onboarding/OnboardingModel.hpp"
#include "onboarding/ViewTiming.hpp"

#include "WidgetTestEnvironment.hpp"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orvik::helper::testing {

// A model whose state the test sets; every action is recorded by name and changes nothing by itself. A request
// for a pairing session is answered with a new one (shown only once the test sets it as `pairingInfo`), at once
// or when the test says.
class FakeOnboardingModel : public OnboardingModel {
public:
    std::optional<PairingInfo> pairingInfo;
    std::vector<PairingInfo> opened;
    std::vector<Uuid> cancelled;
    bool answerLater = false;
    std::optional<PairedDevice> lastPaired;
    ListenerStatus status;
    bool permission = false;
    std::vector<std::string> calls;
    std::optional<bool> launchesAtLogin;
    std::size_t viewsShown = 0;

    std::size_t addObserver(std::function<void()> observer) override {
        observers_[next_] = std::move(observer);
        return next_++;
    }
    void removeObserver(std::size_t token) override { observers_.erase(token); }
    // Tells the observers, as the model does after a change.
    void changed() {
        auto observers = observers_;
        for (auto& [token, observer] : observers) {
            if (observers_.count(token)) observer();
        }
    }

    std::string computerName() const override { return "Test <b>Computer</b>"; }
    const std::optional<PairingInfo>& pairing() const override { return pairingInfo; }
    const std::optional<PairedDevice>& lastPairedDevice() const override { return lastPaired; }
    const ListenerStatus& listenerStatus() const override { return status; }
    bool canPostEvents() const override { return permission; }

    void startServer() override { calls.push_back("startServer"); }
    void startPairing(std::function<void(const std::optional<PairingInfo>&)> answer) override {
        calls.push_back("startPairing");
        answers_.push_back(std::move(answer));
        if (!answerLater) answerRequests();
    }
    void answerRequests() {
        auto answers = std::exchange(answers_, {});
        for (auto& answer : answers) {
            opened.push_back(PairingInfo{Uuid::random(), "orvik://pair?v=1", "OPENED", Date{}, {}});
            answer(opened.back());
        }
    }
    void cancelPairing(const Uuid& sessionID) override {
        calls.push_back("cancelPairing");
        cancelled.push_back(sessionID);
    }
    std::size_t pairingViewsShown() const override { return viewsShown; }
    void countPairingView(bool shown) override { shown ? ++viewsShown : --viewsShown; }
    void refreshPermission() override { calls.push_back("refreshPermission"); }
    void requestPermission() override { calls.push_back("requestPermission"); }
    void setLaunchesAtLogin(bool enabled) override { launchesAtLogin = enabled; }
    void setOnboardingCompleted(bool) override { calls.push_back("onboardingCompleted"); }

    std::size_t count(const std::string& call) const {
        return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
    }

private:
    std::map<std::size_t, std::function<void()>> observers_;
    std::vector<std::function<void(const std::optional<PairingInfo>&)>> answers_;
    std::size_t next_ = 0;
};

// A clock the test moves and tickers that tick when the test says so.
class FakeTiming {
public:
    Date now = Date{} + std::chrono::hours(24 * 365 * 30);

    class FakeTicker : public Ticker {
    public:
        explicit FakeTicker(FakeTiming& owner) : owner_(owner) { owner_.tickers_.push_back(this); }
        ~FakeTicker() override { std::erase(owner_.tickers_, this); }
        void start(std::function<void()> tick) override { tick_ = std::move(tick); }
        void stop() override { tick_ = nullptr; }
        bool isRunning() const override { return static_cast<bool>(tick_); }
        std::function<void()> tick_;

    private:
        FakeTiming& owner_;
    };

    ViewTiming timing() {
        return {[this] { return now; }, [this] { return std::make_unique<FakeTicker>(*this); }};
    }
    // Moves the clock by a second and ticks every running ticker.
    void tick() {
        now += Ticker::period;
        auto running = tickers_;
        for (auto* ticker : running) {
            if (std::count(tickers_.begin(), tickers_.end(), ticker) && ticker->tick_) ticker->tick_();
        }
    }
    long running() const {
        return std::count_if(tickers_.begin(), tickers_.end(), [](auto* ticker) { return ticker->isRunning(); });
    }

private:
    std::vector<FakeTicker*> tickers_;
};

// Records which windows were asked to close.
class FakeWindows : public WindowOpening {
public:
    std::vector<std::string> closed;
    void open(std::string_view) override {}
    void close(std::string_view id) override { closed.emplace_back(id); }
    void openSettings() override {}
};

// The one application of a test program, made on first use and destroyed after the last test (before static
// destruction, which Qt does not survive).
inline std::unique_ptr<QApplication> testApplication;
struct ApplicationEnvironment : ::testing::Environment {
    void TearDown() override { testApplication.reset(); }
};
inline ::testing::Environment* const applicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "onboarding-tests";
    static char* argv[] = {name, nullptr};
    if (!testApplication) {
        testApplication = std::make_unique<QApplication>(argc, argv);
        pinWidgetTestLook();
    }
    return *testApplication;
}

// What zbarimg reads in the picture (the raw bytes, no charset guessing); empty when it finds no code.
inline std::string zbar(const QImage& image, const QString& path) {
    image.save(path);
    std::string text;
    if (FILE* pipe = popen(("zbarimg --quiet --raw -Sbinary '" + path.toStdString() + "' 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

inline PairingInfo pairingInfo(const std::string& code, Date expiresAt) {
    return {Uuid::random(), "orvik://pair?v=1&s=" + code, code, expiresAt, {}};
}

inline PairedDevice device(const std::string& name, Date pairedAt) {
    return {Uuid::random(), name, "iPhone15,2", pairedAt};
}

} // namespace orvik::helper::testing
