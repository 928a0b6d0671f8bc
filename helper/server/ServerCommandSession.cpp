#include "server/ServerCommandSession.hpp"

#include "server/HelperServer.hpp"

namespace orvik::helper {

namespace {

// Hands `done` exactly one value: the result, or the fallback once the last copy goes without one (the call was
// not made, or the server's thread dropped it unrun when it stopped).
template <class T> class Completion {
public:
    Completion(std::function<void(T)> done, T fallback)
        : state_(std::make_shared<State>(std::move(done), std::move(fallback))) {}

    void operator()(T value) const { state_->finish(std::move(value)); }

private:
    struct State {
        State(std::function<void(T)> done, T fallback) : done(std::move(done)), fallback(std::move(fallback)) {}
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        ~State() { finish(std::move(fallback)); }

        void finish(T value) {
            if (finished) return;
            finished = true;
            if (done) done(std::move(value));
        }

        std::function<void(T)> done;
        T fallback;
        bool finished = false;
    };

    std::shared_ptr<State> state_;
};

// What a server that is gone answers: nothing may be done on its behalf.
HelperPreferences refusingPreferences() {
    HelperPreferences preferences;
    preferences.allowRestart = false;
    preferences.allowShutDown = false;
    preferences.allowLogOut = false;
    return preferences;
}

} // namespace

ServerCommandSession::ServerCommandSession(std::weak_ptr<HelperServer> server, asio::any_io_executor executor,
                                           Uuid sessionID, std::shared_ptr<PasteboardAccess> pasteboard)
    : server_(std::move(server)), executor_(std::move(executor)), loop_(LoopPresence::of(executor_)),
      sessionID_(sessionID), pasteboard_(std::move(pasteboard)) {}

template <class T, class Call>
void ServerCommandSession::onServer(Needs needs, Call call, T otherwise, std::function<void(T)> done) {
    Completion<T> completion(std::move(done), std::move(otherwise));
    loop_->post(executor_, [server = server_, id = sessionID_, needs, call = std::move(call), completion] {
        auto alive = server.lock();
        if (!alive || (needs == Needs::session && !alive->hasSession(id))) return;
        completion(call(*alive));
    });
}

template <class Call> void ServerCommandSession::onServer(Needs needs, Call call, Done done) {
    auto finished = [done = std::move(done)](bool) {
        if (done) done();
    };
    auto called = [call = std::move(call)](HelperServer& server) {
        call(server);
        return true;
    };
    onServer<bool>(needs, std::move(called), false, std::move(finished));
}

void ServerCommandSession::reply(const OrvikMessage& message, ErrorCode error, std::optional<std::string> detail,
                                 Done done) {
    auto call = [id = sessionID_, message, error, detail = std::move(detail)](HelperServer& server) {
        server.reply(message, id, error, detail);
    };
    onServer(Needs::session, std::move(call), std::move(done));
}

void ServerCommandSession::reply(std::uint32_t requestID, CommandOutcome outcome, Done done) {
    auto call = [id = sessionID_, requestID, outcome = std::move(outcome)](HelperServer& server) {
        server.reply(requestID, id, outcome);
    };
    onServer(Needs::session, std::move(call), std::move(done));
}

void ServerCommandSession::send(OrvikMessage message, Done done) {
    auto call = [id = sessionID_, message = std::move(message)](HelperServer& server) { server.send(message, id); };
    onServer(Needs::session, std::move(call), std::move(done));
}

void ServerCommandSession::press(KeyCombo combo, std::function<void(bool)> done) {
    auto call = [combo](HelperServer& server) { return server.press(combo); };
    onServer<bool>(Needs::session, std::move(call), false, std::move(done));
}

void ServerCommandSession::postMediaKey(MediaKey key, Done done) {
    auto call = [key](HelperServer& server) { server.postMediaKey(key); };
    onServer(Needs::session, std::move(call), std::move(done));
}

void ServerCommandSession::pushStatusIfChanged(bool force, Done done) {
    auto call = [force](HelperServer& server) { server.pushStatusIfChanged(force); };
    onServer(Needs::server, std::move(call), std::move(done));
}

void ServerCommandSession::currentPreferences(std::function<void(HelperPreferences)> done) {
    auto call = [](HelperServer& server) { return server.currentPreferences(); };
    onServer<HelperPreferences>(Needs::server, std::move(call), refusingPreferences(), std::move(done));
}

void ServerCommandSession::isPaused(std::function<void(bool)> done) {
    auto call = [](HelperServer& server) { return server.isPaused(); };
    onServer<bool>(Needs::server, std::move(call), true, std::move(done));
}

} // namespace orvik::helper
