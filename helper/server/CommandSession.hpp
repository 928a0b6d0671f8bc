#pragma once

#include "clipboard/PasteboardAccess.hpp"
#include "orvik/protocol/coding/ErrorCode.hpp"
#include "orvik/protocol/keys/KeyCombo.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "preferences/HelperPreferences.hpp"
#include "server/CommandOutcome.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvik::helper {

// What a command handler may do for the session whose message it serves: answer it, press keys, post media
// keys, push the status and read the pause state and the preferences. Handlers run off the server's thread;
// each call is carried out on the server's thread and reports through its completion, called exactly once from
// any thread. A handler awaits one call before making the next, so the pause state is read anew at each press.
//
// The session may end while a handler works. From then on the calls that act for it (reply, send, press,
// postMediaKey) do nothing and press answers false; the questions about the server as a whole (status push,
// preferences, pause) are still answered while the server exists, and once it is gone the answers refuse
// everything: paused, and no power action allowed.
class CommandSession {
public:
    using Done = std::function<void()>;

    virtual ~CommandSession() = default;

    // The error-reply rule: a commandResult when the message carries a request identifier, else an error.
    virtual void reply(const OrvikMessage& message, ErrorCode error, std::optional<std::string> detail,
                       Done done = {}) = 0;
    // An action's outcome as a commandResult.
    virtual void reply(std::uint32_t requestID, CommandOutcome outcome, Done done = {}) = 0;
    virtual void send(OrvikMessage message, Done done = {}) = 0;
    // Presses the combination when input may be posted at this moment; answers whether it did.
    virtual void press(KeyCombo combo, std::function<void(bool)> done) = 0;
    // Posts the key down and up when input may be posted at this moment.
    virtual void postMediaKey(MediaKey key, Done done = {}) = 0;
    virtual void pushStatusIfChanged(bool force, Done done = {}) = 0;
    virtual void currentPreferences(std::function<void(HelperPreferences)> done) = 0;
    virtual void isPaused(std::function<void(bool)> done) = 0;
    // The server's pasteboard, the one its paste flow uses; callable from any thread.
    virtual std::shared_ptr<PasteboardAccess> pasteboard() const = 0;
};

} // namespace orvik::helper
