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
    // Never destroyed: Qt's own globals (the test library's pointing device
    // among them) are gone by the time static objects are, and tearing the
    // application down after them crashes at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace tamboro::console::test
