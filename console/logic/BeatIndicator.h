#pragma once
// The beat lights: which quarter of the bar the tempo clock is in.
#include <cstdint>

namespace tamboro::console {

inline constexpr int kBeatsPerBar = 4;

// The beat 0..3 of a clock position in frames, for a bar of `barFrames`
// frames; -1 when there is no bar (no clock running).
int BeatOf(std::uint64_t clockFrame, std::uint32_t barFrames);

}  // namespace tamboro::console
