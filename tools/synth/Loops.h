#pragma once
// The demo loop library: what loops there are, and how each is rendered
// into a Wave ready to be written to a file.
//
// All loops share one tempo (120 quarter notes per minute, four to the bar)
// and one key (A minor, over the four-bar progression Am7 - Fmaj7 - C - G).
// Each lasts exactly 1, 2, 4 or 8 bars: trunc(rate x 240 / 120) frames per
// bar. Loops that repeat carry the tails of their last notes around to the
// start, so they wrap without a click; the effects (riser, hit, sweep) are
// one-shots that fade in from and out to silence instead.
#include <cstdint>
#include <span>
#include <string>

#include "audio/wave/Wave.h"
#include "tools/synth/Bus.h"
#include "tools/synth/Dsp.h"

namespace tamboro::synth {

inline constexpr double kTempo = 120.0;
// Every loop peaks at this level after normalising (a little under -1 dBFS
// so that rounding to integers cannot push it over).
inline constexpr double kPeakDb = -1.2;

// Frames in one bar at kTempo: trunc(rate x 240 / kTempo).
std::uint32_t FramesPerBar(std::uint32_t rate);

enum class FileKind : std::uint8_t { Wav = 0, Aiff = 1, Au = 2 };

struct LoopFormat {
    FileKind kind;
    std::uint32_t rate;
    std::uint16_t bits;      // 8 or 16
    std::uint16_t channels;  // 1 or 2
};

enum class LoopRole : std::uint8_t { Drums, Percussion, Bass, Chords, Arpeggio, Lead, Effect };

struct LoopInfo {
    const char* file;         // name inside the library folder, with extension
    const char* title;        // the INAM text
    const char* description;  // one line for the index
    LoopRole role;
    int bars;
    LoopFormat format;
    void (*render)(Bus& bus, Rng& rng);
};

// Every loop of the library, in a fixed order.
std::span<const LoopInfo> Catalogue();

// Renders a loop's signal: exactly bars x FramesPerBar(rate) frames at the
// loop's rate, both sides equal for mono loops, peaking at kPeakDb.
Bus RenderSignal(const LoopInfo& info);

// Renders a loop into `wave` in the loop's format, with its INAM, ICMT,
// IGNR and ISFT texts. Returns false when the wave cannot be created.
bool RenderLoop(const LoopInfo& info, audio::Wave& wave);

// Turns a float signal (-1..1) into `wave` with the given rate, bits and
// channels: 16-bit rounds to the nearest of +-32767, 8-bit to the nearest of
// +-127 around 128; mono takes the left side. Returns false when the wave
// cannot be created.
bool SignalToWave(const Bus& bus, const LoopFormat& format, audio::Wave& wave);

// Short text of a format, e.g. "WAV 44100 Hz 16-bit stereo".
std::string DescribeFormat(const LoopFormat& format);

}  // namespace tamboro::synth
