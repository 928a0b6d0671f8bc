#include "WidgetTestEnvironment.hpp"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Without a display the windows draw off screen; also when the tests are only listed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    pinWidgetTestLook();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
