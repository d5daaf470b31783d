#pragma once
// Hit tests over the main console's layout (console/layout): which pad and
// which fixed area a point in console pixels falls on.
#include "console/layout/ConsoleLayout.h"

namespace tamboro::console {

using layout::ButtonRect;
using layout::ConsoleButton;
using layout::KnobRect;
using layout::PadRect;
inline constexpr int kChannels = layout::kChannelCount;
inline constexpr int kConsoleWidth = layout::kConsoleWidth;
inline constexpr int kConsoleHeight = layout::kConsoleHeight;

// The first pad (0..19) holding the point, or -1. Pads overlap in places;
// the lower channel wins.
int PadAt(int x, int y);

// What a left click outside the pads may hit, tested in this order.
enum class ConsoleArea { None, Power, VolumeMode, PanMode, Master };
ConsoleArea AreaAt(int x, int y);

}  // namespace tamboro::console
