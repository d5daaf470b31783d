#pragma once
// The pictures of the program: every image name of the four colour themes
// and of the theme-free set, with its size, who reads it and whether it holds
// transparent pixels. The skin generator paints exactly this list, the tests
// check the embedded pictures against it, and the consoles form their names
// with the same prefixes.
//
// Resource names are a theme's prefix followed directly by a suffix
// (TAMBOROTM1BACK, PROTM3SLLU, GENTM2BACKTEX); channel numbers in names are
// "01" to "20". All pictures are 8-bit bitmaps with a colour table, found
// under the resource type "BITMAP". Toolkit-free.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamboro::console::layout {

inline constexpr int kThemeCount = 4;
// The names the preferences show, in COLORTHEME order (the first keeps its
// trailing blank).
inline constexpr std::array<std::string_view, kThemeCount> kThemeNames{"Industriale ", "Classico",
                                                                       "Disco", "Giocattolo"};

// Palette index that masked drawing leaves out.
inline constexpr int kTransparentIndex = 252;
inline constexpr std::string_view kBitmapType = "BITMAP";

enum class SkinSet : std::uint8_t {
    Main,     // TAMBOROTM<t+1>: the main console; BACK's colour table is its palette
    Pro,      // PROTM<t+1>: the PRO console; its own BACK palette
    General,  // GENTM<t+1>: the frame's background texture
    Shared,   // no prefix, one for all themes: dialog buttons, splash, cursors, icon
};

// Who reads a picture decides how it may be stored.
enum class SkinReader : std::uint8_t {
    Graphics,  // the graphics library's resource loader: "PRLE" packing allowed
    Toolkit,   // the desktop toolkit's image reader: plain, or bitmap RLE8 where allowed
};

// Pad pictures in the order the console loads them.
enum class PadState : std::uint8_t { Empty = 0, Sounding, Loaded, SoundingBlink };
inline constexpr std::array<std::string_view, 4> kPadSuffixes{"U", "D", "X", "DX"};

struct SkinImage {
    std::string name;  // full resource name
    int width = 0;
    int height = 0;
    SkinSet set = SkinSet::Main;
    SkinReader reader = SkinReader::Graphics;
    bool masked = false;       // holds index 252 where the background shows through
    bool rle8Allowed = false;  // a toolkit picture that may be stored RLE8
    int hotX = -1;             // cursors only: the hot spot
    int hotY = -1;
};

// TAMBOROTM<t+1>, PROTM<t+1>, GENTM<t+1>; empty for Shared or a theme
// outside 0..3.
std::string ThemePrefix(SkinSet set, int theme);

// "CH07DX" and friends (channel 0..19).
std::string PadSuffix(int channel, PadState state);
// "VOL01".."VOL20" (step 0..19).
std::string VolumeSuffix(int step);

// Every picture of theme t (0..3): main console, PRO console and texture, in
// the order the consoles load them. Empty for a theme outside 0..3.
std::vector<SkinImage> ThemeImages(int theme);
// The theme-free pictures.
std::vector<SkinImage> SharedImages();
// All of them: the four themes, then the shared ones.
std::vector<SkinImage> AllSkinImages();

// Sizes of the theme-free pictures.
inline constexpr int kDialogButtonWidth = 136;
inline constexpr int kDialogButtonHeight = 26;
inline constexpr int kSplashWidth = 320;
inline constexpr int kSplashHeight = 200;
inline constexpr int kCursorSize = 32;
inline constexpr int kIconSize = 48;
inline constexpr int kTextureWidth = 320;
inline constexpr int kTextureHeight = 240;

// Theme-free resource names.
inline constexpr std::string_view kSplashName = "774";
inline constexpr std::string_view kButtonCursorName = "769";
inline constexpr std::string_view kKnobCursorName = "770";
inline constexpr std::string_view kRulerHoverCursorName = "771";
inline constexpr std::string_view kRulerDragCursorName = "772";
inline constexpr std::string_view kIconName = "128";
// Sizes of the program icon written for a Linux icon theme (PNG files).
inline constexpr std::array<int, 7> kIconThemeSizes{16, 24, 32, 48, 64, 128, 256};

}  // namespace tamboro::console::layout
