#pragma once
// The one application object of a widget test program, on the offscreen
// platform unless the environment names another.
#include <QApplication>

namespace tamboro::console::test {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "tamboro-tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

}  // namespace tamboro::console::test
