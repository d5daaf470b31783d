#pragma once
// Where everything sits on the PRO console (the mix editor, 640 × 480):
// the channel name column, the twenty lanes, the time ruler, the status area
// and the twelve buttons. Shared by the console and the skin generator.
// Rectangles as in ConsoleLayout.h (right and bottom edges outside).
#include <array>
#include <string_view>

#include "console/layout/ConsoleLayout.h"

namespace tamboro::console::layout {

// ---- Channel names -----------------------------------------------------------
// Channel i's name rectangle (menu hits): left 16, top 6 + 20i, right 140,
// bottom 24 + 20i. The whole column is restored from BACK before the names
// are written at (23, 9 + 20i).
inline constexpr int kProRowPitch = 20;
constexpr Rect ProNameRect(int channel) {
    return FromEdges(16, 6 + kProRowPitch * channel, 140, 24 + kProRowPitch * channel);
}
inline constexpr Rect kProNameColumn{16, 6, 124, 398};
constexpr Point ProNameText(int channel) {
    return {23, 9 + kProRowPitch * channel};
}
inline constexpr int kProNameLength = 11;

// ---- Lanes ----------------------------------------------------------------------
// One child window per channel; four bars across, 120 pixels a bar.
inline constexpr int kProLaneWidth = 480;
inline constexpr int kProLaneHeight = 12;
inline constexpr int kProBarPixels = 120;
inline constexpr int kProBarsShown = 4;
constexpr Rect ProLaneRect(int channel) {
    return {144, 9 + kProRowPitch * channel, kProLaneWidth, kProLaneHeight};
}

// ---- Time ruler, its labels and the status area --------------------------------
inline constexpr Rect kProRuler{144, 406, 480, 9};
// Label i (0..3) is written at (145 + 120 i, 405).
constexpr Point ProRulerLabel(int i) {
    return {145 + kProBarPixels * i, 405};
}
inline constexpr Rect kProStatus{24, 436, 316, 34};
inline constexpr Point kProStatusText{25, 435};
inline constexpr int kProStatusTimeRight = 335;  // right edge of the right-aligned time

// ---- Lane colours (drawn by the console, reserved in the PRO palette) ------------
struct Rgb {
    unsigned char r = 0;
    unsigned char g = 0;
    unsigned char b = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kProLaneEnabled{148, 173, 123};
inline constexpr Rgb kProLaneDisabled{74, 87, 62};
inline constexpr Rgb kProThumbnailBack{48, 48, 48};
inline constexpr Rgb kConsoleTextGreen{0, 255, 0};

// ---- Buttons -----------------------------------------------------------------------
struct ProButton {
    int id;                   // command id
    std::string_view text;    // window text
    std::string_view suffix;  // image suffix (before U or D)
    Rect rect;
};
inline constexpr int kProButtonCount = 12;
inline constexpr std::array<ProButton, kProButtonCount> kProButtons{{
    {101, "SL", "SL", {324, 418, 29, 15}},
    {102, "SLL", "SLL", {234, 418, 29, 15}},
    {103, "SLLL", "SLLL", {144, 418, 29, 15}},
    {104, "SR", "SR", {414, 418, 29, 15}},
    {105, "SRR", "SRR", {504, 418, 29, 15}},
    {106, "SRRR", "SRRR", {594, 418, 29, 15}},
    {107, "Play", "PLAY", {25, 407, 49, 21}},
    {108, "Stop", "STOP", {81, 407, 49, 21}},
    {109, "Files", "LIGHT", {595, 436, 7, 7}},
    {110, "Drum", "LIGHT", {595, 448, 7, 7}},
    {111, "Audio", "LIGHT", {595, 460, 7, 7}},
    {112, "Tamboro", "TB", {414, 460, 35, 11}},
}};

}  // namespace tamboro::console::layout
