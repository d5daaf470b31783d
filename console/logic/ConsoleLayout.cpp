#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {

int PadAt(int x, int y) {
    for (int ch = 0; ch < kChannels; ++ch) {
        if (PadRect(ch).Contains(x, y)) return ch;
    }
    return -1;
}

ConsoleArea AreaAt(int x, int y) {
    if (layout::kPowerSwitch.Contains(x, y)) return ConsoleArea::Power;
    if (layout::kVolumeModeSwitch.Contains(x, y)) return ConsoleArea::VolumeMode;
    if (layout::kPanModeSwitch.Contains(x, y)) return ConsoleArea::PanMode;
    if (layout::kMasterVolumeArea.Contains(x, y)) return ConsoleArea::Master;
    return ConsoleArea::None;
}

}  // namespace tamboro::console
