#pragma once
// Where things are on the main console, in console pixels (640 x 480), and
// the hit tests over them. Rectangles hold a point when left <= x < left +
// width and top <= y < top + height.
#include <array>
#include <cstdint>

namespace tamboro::console {

inline constexpr int kConsoleWidth = 640;
inline constexpr int kConsoleHeight = 480;
inline constexpr int kChannels = 20;

struct LayoutRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t w = 0;
    std::int32_t h = 0;
    constexpr bool Contains(int px, int py) const {
        return px >= x && px < x + w && py >= y && py < y + h;
    }
    constexpr int Right() const { return x + w; }
    constexpr int Bottom() const { return y + h; }
};

// The layout table: rows 0..19 the pads, 20..39 the knobs, 40..46 the
// buttons Files, Drum, Audio, PRO, Play, Stop and Record.
inline constexpr int kLayoutRows = 47;
inline constexpr int kKnobRow = 20;
inline constexpr int kButtonRow = 40;
extern const std::array<LayoutRect, kLayoutRows> kLayout;

enum class ConsoleButton : int { Files = 0, Drum, Audio, Pro, Play, Stop, Record, Count_ };

inline const LayoutRect& PadRect(int ch) {
    return kLayout[static_cast<std::size_t>(ch)];
}
inline const LayoutRect& KnobRect(int ch) {
    return kLayout[static_cast<std::size_t>(kKnobRow + ch)];
}
inline const LayoutRect& ButtonRect(ConsoleButton b) {
    return kLayout[static_cast<std::size_t>(kButtonRow + static_cast<int>(b))];
}

// Fixed areas outside the table.
inline constexpr LayoutRect kPowerArea{248, 21, 140, 29};
inline constexpr LayoutRect kMasterArea{573, 328, 639 - 573, 391 - 328};
inline constexpr LayoutRect kVolumeModeArea{128, 280, 146 - 128, 299 - 280};
inline constexpr LayoutRect kPanModeArea{129, 410, 148 - 129, 429 - 410};
inline constexpr LayoutRect kVolumeModePicture{52, 277, 98, 50};
inline constexpr LayoutRect kPanModePicture{43, 407, 108, 46};
inline constexpr LayoutRect kMasterPicture{571, 241, 69, 167};
inline constexpr LayoutRect kMeterArea{225, 2, 184, 54};
inline constexpr LayoutRect kTextPanel{242, 54, 156, 64};

// The first pad (0..19) holding the point, or -1. Pads overlap in places;
// the lower channel wins.
int PadAt(int x, int y);

// What a left click outside the pads may hit, tested in this order.
enum class ConsoleArea { None, Power, VolumeMode, PanMode, Master };
ConsoleArea AreaAt(int x, int y);

}  // namespace tamboro::console
