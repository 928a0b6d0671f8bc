#pragma once

#include "TestServerOutput.hpp"

#include "clipboard/PasteboardAccess.hpp"
#include "injection/InputSink.hpp"
#include "server/HelperServices.hpp"

#include <memory>

namespace orvik::testserver {

// Where the test server's input and paste go, and whether it may post input.
struct TestServerPlatform {
    std::shared_ptr<helper::InputSink> sink;
    std::shared_ptr<helper::PasteboardAccess> pasteboard;
    // Absent: pastes go to the clipboard only.
    std::shared_ptr<helper::PasteboardAccess> primarySelection;
    helper::HelperServices::CanPostEvents canPostEvents;

    // Input printed as JSON lines, an in-memory clipboard, posting always permitted.
    static TestServerPlatform recording(TestServerOutput& output);
    // The desktop of $DISPLAY: the X11 input sink, the X11 CLIPBOARD and PRIMARY selections and the session's
    // permission to post input (remembered in memory only).
    static TestServerPlatform desktop();
};

} // namespace orvik::testserver
