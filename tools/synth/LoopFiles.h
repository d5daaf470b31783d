#pragma once
// Writing a rendered loop to its file.
#include <string>

#include "audio/Wave.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth {

// Writes `wave` to `path` as the given kind of file. Returns true on
// success.
bool WriteLoopFile(const audio::Wave& wave, FileKind kind, const std::string& path);

}  // namespace tamboro::synth
