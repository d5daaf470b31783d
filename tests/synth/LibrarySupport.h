#pragma once
// The demo loop library rendered once per test program, and sample access
// for the checks.
#include <memory>
#include <vector>

#include "audio/Wave.h"

namespace tamboro::synth::test {

// Every loop of the catalogue rendered into a wave, in catalogue order.
const std::vector<std::unique_ptr<audio::Wave>>& Library();

// Samples of one side (0 left, 1 right; mono has only side 0), as signed
// values on the format's own scale: -32768..32767 or -128..127.
std::vector<int> Side(const audio::Wave& wave, int side);

// 32768 for 16-bit waves, 128 for 8-bit ones.
double FullScale(const audio::Wave& wave);

}  // namespace tamboro::synth::test
