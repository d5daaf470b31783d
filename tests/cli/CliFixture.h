#pragma once
// Inputs the tamboro-cli suites make for themselves.
#include <string>

namespace tamboro::cli::test {

// Writes `seconds` of 44100 Hz 16-bit stereo (two detuned sines at `hz`)
// as a WAV file. False when it cannot be written.
bool WriteLoop(const std::string& path, double seconds, double hz);

}  // namespace tamboro::cli::test
