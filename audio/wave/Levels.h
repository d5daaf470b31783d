#pragma once
// Level laws: the console's percentages and balance positions against the
// attenuation units of the mixers. An attenuation is an integer in
// thousandths of a halving of amplitude: 0 unchanged, -1000 half amplitude,
// -10000 the floor (amplitude x 2^-10). A positive pan attenuates the left
// side by pan, a negative pan the right side by -pan. Real-to-integer
// conversions truncate toward zero.

namespace tamboro::audio {

inline constexpr int kLevelFloor = -10000;
inline constexpr int kPanLeft = -10000;
inline constexpr int kPanRight = 10000;

// 0..100 percent -> -10000..0 (0 -> -10000).
int VolumeToAttenuation(int percent);
// -10000..0 -> 0..100 percent.
int AttenuationToVolume(int attenuation);
// -100 (left) .. +100 (right), clamped -> -10000..+10000.
int BalanceToPan(int balance);
// -10000..+10000, clamped -> -100..+100.
int PanToBalance(int pan);

}  // namespace tamboro::audio
