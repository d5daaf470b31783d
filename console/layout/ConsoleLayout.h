#pragma once
// Where everything sits on the main console (640 × 480 console pixels): the
// layout table of pads, knobs and buttons, and the fixed areas of the power
// switch, the master volume, the mode switches, the meter and the text
// panel. The console's hit tests and painting and the skin generator's
// pictures all read these numbers, so a pad's well, a knob's seat and a
// button's seat are drawn exactly where the console puts the control.
//
// Rectangles are (x, y, width, height); the right and bottom edges are not
// part of a rectangle, as with the platform's point-in-rectangle test.
// Toolkit-free; constants only.
#include <array>

namespace tamboro::console::layout {

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;

    constexpr int Right() const { return x + w; }   // first column outside
    constexpr int Bottom() const { return y + h; }  // first row outside
    constexpr bool Contains(int px, int py) const {
        return px >= x && px < x + w && py >= y && py < y + h;
    }
    constexpr bool Contains(const Rect& r) const {
        return r.x >= x && r.y >= y && r.Right() <= Right() && r.Bottom() <= Bottom();
    }
    constexpr bool Overlaps(const Rect& r) const {
        return r.x < Right() && x < r.Right() && r.y < Bottom() && y < r.Bottom();
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// A rectangle given by its left, top, right and bottom edges (right and
// bottom outside).
constexpr Rect FromEdges(int left, int top, int right, int bottom) {
    return {left, top, right - left, bottom - top};
}

inline constexpr int kConsoleWidth = 640;
inline constexpr int kConsoleHeight = 480;
inline constexpr Rect kConsole{0, 0, kConsoleWidth, kConsoleHeight};
inline constexpr int kChannelCount = 20;

// ---- The layout table: 47 rows --------------------------------------------
// Rows 0..19 the pads (channel order, four rows of five), 20..39 the
// per-channel knobs, 40..46 the buttons Files, Drum, Audio, PRO, Play, Stop,
// Record. Pads overlap by a few pixels in places; hit tests scan rows 0..19
// in order and take the first.
inline constexpr int kLayoutRowCount = 47;
inline constexpr int kFirstPadRow = 0;
inline constexpr int kFirstKnobRow = 20;
inline constexpr int kFirstButtonRow = 40;
inline constexpr int kButtonCount = 7;

inline constexpr std::array<Rect, kLayoutRowCount> kLayoutTable{{
    // pads
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
    // knobs
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
    // buttons
    {502, 209, 15, 18},
    {502, 231, 15, 18},
    {501, 253, 15, 18},
    {499, 276, 15, 18},
    {215, 163, 67, 35},
    {284, 163, 70, 35},
    {356, 163, 66, 35},
}};

// The seven console buttons in layout order (row = kFirstButtonRow + index).
enum class ConsoleButton : int { Files = 0, Drum, Audio, Pro, Play, Stop, Record };

constexpr Rect PadRect(int channel) {
    return kLayoutTable[kFirstPadRow + channel];
}
constexpr Rect KnobRect(int channel) {
    return kLayoutTable[kFirstKnobRow + channel];
}
constexpr Rect ButtonRect(ConsoleButton b) {
    return kLayoutTable[kFirstButtonRow + static_cast<int>(b)];
}

// ---- Knobs (one 15 × 15 child window per channel) ---------------------------
inline constexpr int kKnobSize = 15;
inline constexpr int kKnobPositions = 21;            // frames of the KNOB strip, 0..20
inline constexpr int kKnobFirstAngleDegrees = -135;  // frame 0; frame 20 at +135
inline constexpr int kKnobLastAngleDegrees = 135;
inline constexpr int kKnobPixelsPerStep = 4;  // drag: 4 pixels upwards per step

// ---- Power switch (drawn on the back buffer, not a window) ------------------
inline constexpr Rect kPowerSwitch{248, 21, 140, 29};

// ---- Master volume -----------------------------------------------------------
// Clicks and drags inside the area set value = (391 − y) × 100 / 63; drags
// clamp y to 328..391.
inline constexpr Rect kMasterVolumeArea = FromEdges(573, 328, 639, 391);
inline constexpr int kMasterVolumeTopY = 328;
inline constexpr int kMasterVolumeBottomY = 391;
inline constexpr int kMasterVolumeSpan = 63;
// VOL<i+1> (i = value × 20 / 100, limited to 0..19) is copied masked here.
inline constexpr Rect kMasterVolumePicture{571, 241, 69, 167};
inline constexpr int kMasterVolumePictures = 20;

// ---- Knob mode (volume or balance) -------------------------------------------
inline constexpr Rect kVolumeModeSwitch = FromEdges(128, 280, 146, 299);
inline constexpr Rect kPanModeSwitch = FromEdges(129, 410, 148, 429);
// KVOLD (volume mode) or KVOLU, and KPANU (volume mode) or KPAND, copied opaque.
inline constexpr Rect kVolumeModePicture{52, 277, 98, 50};
inline constexpr Rect kPanModePicture{43, 407, 108, 46};

// ---- Output meter --------------------------------------------------------------
// METER0 is copied masked over the whole window; the lit columns of METER1
// grow from the middle column (half the width, 92): the left channel to the
// left, the right channel to the right.
inline constexpr Rect kMeterWindow{225, 2, 184, 54};
inline constexpr int kMeterHalfWidth = kMeterWindow.w / 2;

// ---- Text panel ----------------------------------------------------------------
inline constexpr Rect kTextPanel{242, 54, 156, 64};
inline constexpr std::array<Point, 3> kTextLines{{{244, 56}, {244, 74}, {244, 92}}};
inline constexpr int kTextNumberX = 324;  // x of the numbers of lines 2 and 3
inline constexpr int kTextFontHeight = 14;

}  // namespace tamboro::console::layout
