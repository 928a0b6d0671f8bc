#pragma once

#include "../../../tests/support/WidgetTestEnvironment.hpp"

namespace orvik::helper::test {

// The one QApplication of a test program, made on first use with the pinned test look.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "orvik_menubar_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static const bool pinned = (pinWidgetTestLook(), true);
    (void)pinned;
    return app;
}

} // namespace orvik::helper::test
