// The console's tests share one application object, as the program does.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "app/CConsoleApp.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    tamboro::app::CConsoleApp app(argc, argv);
    return RUN_ALL_TESTS();
}
