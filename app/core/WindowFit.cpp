#include "app/core/WindowFit.h"

namespace tamboro::app {

FitPoint FitToDisplay(int screenWidth, int screenHeight, int consoleWidth, int consoleHeight,
                      FitPoint window, FitPoint client) {
    if (screenWidth == consoleWidth && screenHeight == consoleHeight) {
        if (client.x == 0 && client.y == 0) return window;
        // Shift the whole window so that the client area lands on (0, 0).
        return {window.x - client.x, window.y - client.y};
    }
    if (window.x < 0 || window.y < 0) return {0, 0};
    return window;
}

}  // namespace tamboro::app
