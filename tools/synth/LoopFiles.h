#pragma once
// Writing a rendered loop to its file.
#include <string>

#include "audio/wave/SoundResult.h"
#include "audio/wave/Wave.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth {

// Writes `wave` to `path` as the given kind of file, in the wave's own
// format (AU as linear PCM). Returns the sound-file code of the writer.
audio::SoundResult WriteLoopFile(audio::Wave& wave, FileKind kind, const std::string& path);

}  // namespace tamboro::synth
