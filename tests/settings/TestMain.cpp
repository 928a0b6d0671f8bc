#include "WidgetTestEnvironment.hpp"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Listing the tests happens without an X server.
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    pinWidgetTestLook();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
