#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {

const std::array<LayoutRect, kLayoutRows> kLayout = {{
    // Pads, four rows of five.
    {207, 236, 53, 50},
    {248, 236, 58, 50},
    {293, 236, 50, 50},
    {332, 236, 50, 50},
    {377, 236, 52, 50},
    {207, 286, 53, 49},
    {250, 286, 54, 48},
    {294, 286, 49, 48},
    {331, 286, 57, 48},
    {378, 286, 51, 48},
    {207, 333, 53, 49},
    {251, 333, 54, 49},
    {295, 333, 48, 49},
    {333, 333, 54, 49},
    {378, 334, 51, 48},
    {207, 382, 52, 53},
    {251, 383, 53, 53},
    {295, 382, 48, 53},
    {333, 382, 53, 53},
    {378, 382, 51, 53},
    // Knobs.
    {65, 347, 15, 15},
    {81, 343, 15, 15},
    {97, 337, 15, 15},
    {113, 330, 15, 15},
    {130, 321, 15, 15},
    {65, 364, 15, 15},
    {81, 360, 15, 15},
    {97, 353, 15, 15},
    {113, 347, 15, 15},
    {130, 338, 15, 15},
    {65, 381, 15, 15},
    {81, 376, 15, 15},
    {97, 370, 15, 15},
    {113, 363, 15, 15},
    {130, 354, 15, 15},
    {65, 397, 15, 15},
    {81, 392, 15, 15},
    {97, 386, 15, 15},
    {113, 380, 15, 15},
    {130, 371, 15, 15},
    // Buttons: Files, Drum, Audio, PRO, Play, Stop, Record.
    {502, 209, 15, 18},
    {502, 231, 15, 18},
    {501, 253, 15, 18},
    {499, 276, 15, 18},
    {215, 163, 67, 35},
    {284, 163, 70, 35},
    {356, 163, 66, 35},
}};

int PadAt(int x, int y) {
    for (int ch = 0; ch < kChannels; ++ch) {
        if (PadRect(ch).Contains(x, y)) return ch;
    }
    return -1;
}

ConsoleArea AreaAt(int x, int y) {
    if (kPowerArea.Contains(x, y)) return ConsoleArea::Power;
    if (kVolumeModeArea.Contains(x, y)) return ConsoleArea::VolumeMode;
    if (kPanModeArea.Contains(x, y)) return ConsoleArea::PanMode;
    if (kMasterArea.Contains(x, y)) return ConsoleArea::Master;
    return ConsoleArea::None;
}

}  // namespace tamboro::console
