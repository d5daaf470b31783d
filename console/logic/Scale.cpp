#include "console/logic/Scale.h"

#include <cmath>

#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {

int AutomaticScale(int screenWidth, int screenHeight, double devicePixelRatio) {
    if (!(devicePixelRatio > 0.0)) devicePixelRatio = 1.0;
    const double w = screenWidth * devicePixelRatio;
    const double h = screenHeight * devicePixelRatio;
    for (int k = kMaxScale; k > 1; --k) {
        if (kConsoleWidth * k * 10 <= w * 9 && kConsoleHeight * k * 10 <= h * 9) return k;
    }
    return 1;
}

int ScaleFromSetting(int setting, int screenWidth, int screenHeight, double devicePixelRatio) {
    if (setting >= 1 && setting <= kMaxScale) return setting;
    return AutomaticScale(screenWidth, screenHeight, devicePixelRatio);
}

int LogicalExtent(int consolePixels, int scale, double devicePixelRatio) {
    if (!(devicePixelRatio > 0.0)) devicePixelRatio = 1.0;
    return static_cast<int>(std::ceil(consolePixels * scale / devicePixelRatio - 1e-9));
}

int ConsoleCoordinate(double logical, int scale, double devicePixelRatio) {
    if (!(devicePixelRatio > 0.0)) devicePixelRatio = 1.0;
    if (scale < 1) scale = 1;
    return static_cast<int>(std::floor(logical * devicePixelRatio / scale + 1e-9));
}

}  // namespace tamboro::console
