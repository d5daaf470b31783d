#pragma once
// The arithmetic of the console's controls: knob positions, the master
// slider, the meter's lit columns and the pad pictures. Levels go through
// the level laws of audio/wave/Levels.h; nothing here talks to the song.
#include <cstdint>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/SkinImages.h"

namespace tamboro::console {

// What the twenty knobs show and set.
enum class KnobMode : int { Balance = 0, Volume = 1 };

inline constexpr int kKnobMax = layout::kKnobPositions - 1;  // positions 0..20
inline constexpr int kPixelsPerKnobStep = layout::kKnobPixelsPerStep;

// Knob position 0..20 -> attenuation (volume mode: 5 % a step).
int KnobToVolume(int position);
// Knob position 0..20 -> pan (balance mode: 10 % a step, 10 is the centre).
int KnobToPan(int position);
// The position a knob shows for the song's live values.
int KnobPosition(KnobMode mode, int volume, int pan);
// Position after dragging from pressY to y (screen rows grow downwards):
// four pixels a step, upwards increases, partial steps count for nothing,
// clamped to 0..20.
int KnobDragPosition(int pressPosition, int pressY, int y);

// The master slider: rows 328 (100) down to 391 (0).
inline constexpr int kMasterTop = layout::kMasterVolumeTopY;
inline constexpr int kMasterBottom = layout::kMasterVolumeBottomY;
// The master value 0..100 for a pointer row; rows outside the slider are
// clamped to it (as a drag does).
int MasterValueAt(int y);
int MasterToAttenuation(int value);
int MasterFromAttenuation(int attenuation);
// Index 0..19 of the VOL picture for a master value.
int MasterPictureIndex(int value);

// Lit half-lengths of the output meter from the output's 16-bit extremes
// over the last 60 ms: length = 92 x (max - min) / 65536 on each side.
inline constexpr int kMeterHalfWidth = layout::kMeterHalfWidth;
struct MeterLengths {
    int left = 0;
    int right = 0;
};
MeterLengths MeterLengthsOf(int minLeft, int maxLeft, int minRight, int maxRight);

// The four pictures of a pad: U, D, X and DX.
using PadPicture = layout::PadState;
// U for an empty channel; D while it sounds (DX on odd ticks while a switch
// is pending); X when loaded and silent (U on odd ticks while pending).
PadPicture ChoosePadPicture(bool empty, bool sounding, bool pending, std::uint32_t blinkCounter);

}  // namespace tamboro::console
