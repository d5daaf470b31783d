#pragma once
// Fitting loops to whole bars, and the rules of the load-loop command that
// are not dialogs.
#include <cstdint>

#include "audio/wave/Wave.h"

namespace tamboro::engine {

// Frames in one bar (four quarter notes) at `rate` and `tempo` quarter notes
// a minute: rate x 240 / tempo, truncated. 0 for a tempo that is not above 0.
std::uint32_t SamplesPerBar(std::uint32_t rate, double tempo);

// The length a loop of `frames` frames is fitted to: itself when it already
// lasts 1, 2, 4 or 8 bars; else the nearest of them, where a tie keeps the
// shorter one. A bar of 0 frames fits nothing: the length is kept.
std::uint32_t FittedFrameCount(std::uint32_t frames, std::uint32_t samplesPerBar);

// Makes `out` a PCM wave of `frames` frames in the format of `in`, holding
// the start of `in` and silence after it (a longer loop is cut). Returns 1,
// or 0 when `in` has no PCM layout or memory is short.
int FitWave(const audio::Wave& in, std::uint32_t frames, audio::Wave& out);

// Whole seconds of a loop: data bytes / bytes per second (0 for a broken
// format).
std::uint32_t WholeSeconds(const audio::Wave& wave);
// Loops longer than this many whole seconds are refused (message 1014).
inline constexpr std::uint32_t kMaxLoopSeconds = 20;

// The tempo that makes a first loop last 8, 4, 2 or 1 bars (tried in that
// order), the first within (80, 160]; 0 when none is (message 1015).
double FirstLoopTempo(const audio::Wave& wave);

}  // namespace tamboro::engine
