#pragma once

#include "server/CommandSession.hpp"

#include <mutex>
#include <variant>
#include <vector>

namespace orvik::test {

// A CommandSession for tests of command handlers: records every action in order and answers each call at once,
// on the caller's thread, with the values set below. Thread-safe.
class RecordingCommandSession final : public helper::CommandSession {
public:
    struct Replied {
        OrvikMessage message;
        ErrorCode error;
        std::optional<std::string> detail;
    };
    struct Outcome {
        std::uint32_t requestID;
        helper::CommandOutcome outcome;
    };
    struct Sent {
        OrvikMessage message;
    };
    struct Pressed {
        KeyCombo combo;
    };
    struct MediaPosted {
        MediaKey key;
    };
    struct StatusPushed {
        bool force;
    };
    using Call = std::variant<Replied, Outcome, Sent, Pressed, MediaPosted, StatusPushed>;

    void reply(const OrvikMessage& message, ErrorCode error, std::optional<std::string> detail,
               Done done = {}) override {
        record(Replied{message, error, std::move(detail)}, std::move(done));
    }
    void reply(std::uint32_t requestID, helper::CommandOutcome outcome, Done done = {}) override {
        record(Outcome{requestID, std::move(outcome)}, std::move(done));
    }
    void send(OrvikMessage message, Done done = {}) override { record(Sent{std::move(message)}, std::move(done)); }
    void press(KeyCombo combo, std::function<void(bool)> done) override {
        record(Pressed{combo}, {});
        done(read(pressAnswer));
    }
    void postMediaKey(MediaKey key, Done done = {}) override { record(MediaPosted{key}, std::move(done)); }
    void pushStatusIfChanged(bool force, Done done = {}) override { record(StatusPushed{force}, std::move(done)); }
    void currentPreferences(std::function<void(helper::HelperPreferences)> done) override { done(read(preferences)); }
    void isPaused(std::function<void(bool)> done) override { done(read(paused)); }
    std::shared_ptr<helper::PasteboardAccess> pasteboard() const override { return pasteboard_; }

    // Every recorded call of type T, oldest first.
    template <class T> std::vector<T> calls() const {
        std::lock_guard lock(mutex_);
        std::vector<T> found;
        for (const auto& call : calls_) {
            if (auto* matching = std::get_if<T>(&call)) found.push_back(*matching);
        }
        return found;
    }

    // The answers; set them before the handler runs or under no other thread's feet.
    bool pressAnswer = true;
    bool paused = false;
    helper::HelperPreferences preferences;

    explicit RecordingCommandSession(std::shared_ptr<helper::PasteboardAccess> pasteboard = nullptr)
        : pasteboard_(std::move(pasteboard)) {}

private:
    void record(Call call, Done done) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        if (done) done();
    }
    template <class T> T read(const T& answer) const {
        std::lock_guard lock(mutex_);
        return answer;
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::shared_ptr<helper::PasteboardAccess> pasteboard_;
};

} // namespace orvik::test
