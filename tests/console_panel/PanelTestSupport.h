#pragma once
// What the console widget tests share: the program started with the main
// console, pad points, and drag and drop as a window system delivers it
// (enter, move and drop at one point of a widget, with what each answered).
#include <QMimeData>
#include <QPoint>
#include <QWidget>
#include <string>
#include <vector>

#include "app/CConsoleApp.h"

namespace tamboro::console {
class ConsolePanel;
}

namespace tamboro::console::test {

// Starts the application (the test's `options`, no desktop registration)
// with the main console at zoom `scale` in theme 0; its console, or null
// when start-up did not run on.
ConsolePanel* StartMainConsole(app::StartOptions options, int scale);

struct Drag {
    bool entered = false;  // the widget took the drag in
    bool moved = false;    // it would take the drop at the point
    bool dropped = false;  // it took the drop
};

// Sends drag-enter, drag-move and (when the move was accepted) drop of
// `data` at `pos` (widget coordinates).
Drag DropData(QWidget* target, QPoint pos, const QMimeData& data);
// The same with the local files `paths` as file addresses.
Drag DropFiles(QWidget* target, QPoint pos, const std::vector<std::string>& paths);

// A widget point inside pad `channel` that no other pad covers, at zoom `k`.
QPoint PadCentre(int channel, int k);

}  // namespace tamboro::console::test
