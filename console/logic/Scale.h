#pragma once
// The console's whole-number zoom. Every console pixel becomes a k x k block
// of device pixels (k = 1, 2 or 3), so the picture is never resampled, also
// under a fractional device pixel ratio. The setting SCALE of PREFERENCES
// holds 1, 2 or 3, or 0 for the automatic choice.
namespace tamboro::console {

inline constexpr int kMaxScale = 3;

// The automatic factor: the largest k whose console (640k x 480k device
// pixels) takes at most nine tenths of the screen each way; at least 1.
// The screen is given in logical pixels with its device pixel ratio.
int AutomaticScale(int screenWidth, int screenHeight, double devicePixelRatio);
// The setting's factor: 1..3 as stored, anything else automatic.
int ScaleFromSetting(int setting, int screenWidth, int screenHeight, double devicePixelRatio);

// Logical size of `consolePixels` at factor k (rounded up, so the widget
// holds every device pixel of the picture).
int LogicalExtent(int consolePixels, int scale, double devicePixelRatio);
// The console pixel under a logical pointer coordinate.
int ConsoleCoordinate(double logical, int scale, double devicePixelRatio);

}  // namespace tamboro::console
