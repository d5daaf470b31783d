#pragma once
// The demo loop library as the build generated it, loaded once per test
// program, and sample access for the checks.
#include <memory>
#include <string>
#include <vector>

#include "audio/wave/Wave.h"

namespace tamboro::synth::test {

// The folder the build writes the library into.
std::string LibraryFolder();

// Every loop of the catalogue loaded from the library folder, in catalogue
// order (an empty wave, and a test failure, for a file that does not load).
const std::vector<std::unique_ptr<audio::Wave>>& Library();

// Samples of one side (0 left, 1 right; mono has only side 0), as signed
// values on the format's own scale: -32768..32767 or -128..127.
std::vector<int> Side(const audio::Wave& wave, int side);

// 32768 for 16-bit waves, 128 for 8-bit ones.
double FullScale(const audio::Wave& wave);

}  // namespace tamboro::synth::test
