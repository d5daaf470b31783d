#pragma once
// Where the frame goes on its screen (at creation and whenever the screen
// changes): on a screen of exactly the console's size the client area
// starts at the screen's top left (the caption goes off the screen);
// elsewhere a window whose left or top edge is off the screen moves to the
// top left.
namespace tamboro::app {

struct FitPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const FitPoint&, const FitPoint&) = default;
};

// The window's new top-left corner. `window` is its frame's top left,
// `client` the client area's top left, both in screen coordinates;
// `consoleWidth` x `consoleHeight` the console's size on the screen.
FitPoint FitToDisplay(int screenWidth, int screenHeight, int consoleWidth, int consoleHeight,
                      FitPoint window, FitPoint client);

}  // namespace tamboro::app
