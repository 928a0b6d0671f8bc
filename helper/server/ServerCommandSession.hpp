#pragma once

#include "core/LoopPresence.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "server/CommandSession.hpp"

#include <asio.hpp>

#include <memory>

namespace orvik::helper {

class HelperServer;

// The server's side of CommandSession for one session. It holds the server weakly and never touches it off the
// server's thread: every call is posted there and looks the session up again when it runs. Made anew for each
// message handed to a handler; the server keeps no reference to it. Made on the server's thread.
class ServerCommandSession final : public CommandSession {
public:
    ServerCommandSession(std::weak_ptr<HelperServer> server, asio::any_io_executor executor, Uuid sessionID,
                         std::shared_ptr<PasteboardAccess> pasteboard);

    void reply(const OrvikMessage& message, ErrorCode error, std::optional<std::string> detail,
               Done done = {}) override;
    void reply(std::uint32_t requestID, CommandOutcome outcome, Done done = {}) override;
    void send(OrvikMessage message, Done done = {}) override;
    void press(KeyCombo combo, std::function<void(bool)> done) override;
    void postMediaKey(MediaKey key, Done done = {}) override;
    void pushStatusIfChanged(bool force, Done done = {}) override;
    void currentPreferences(std::function<void(HelperPreferences)> done) override;
    void isPaused(std::function<void(bool)> done) override;
    std::shared_ptr<PasteboardAccess> pasteboard() const override { return pasteboard_; }

private:
    enum class Needs { session, server };

    // Runs `call` on the server's thread when what it needs is still there, and hands its result to `done`;
    // otherwise, and also when the server's thread drops the call unrun, `done` receives `otherwise`. Once the loop
    // is gone the call is kept unrun, and `done` hears nothing.
    template <class T, class Call> void onServer(Needs needs, Call call, T otherwise, std::function<void(T)> done);
    // The same for a call without a result.
    template <class Call> void onServer(Needs needs, Call call, Done done);

    std::weak_ptr<HelperServer> server_;
    asio::any_io_executor executor_;
    // Services answer from threads of their own, also while the server's loop is being destroyed at exit.
    std::shared_ptr<LoopPresence> loop_;
    Uuid sessionID_;
    std::shared_ptr<PasteboardAccess> pasteboard_;
};

} // namespace orvik::helper
