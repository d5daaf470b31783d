#pragma once
// Loops as files: a wave over a WAV image, and a loop prepared for the
// device (converted to its format, fitted to whole bars) in a temporary
// file. Touch no song: any thread.
#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave/Wave.h"
#include "audio/wave/WaveFormat.h"
#include "base/Storage.h"
#include "engine/SongTypes.h"

namespace tamboro::engine {

// Milliseconds of the wave's samples; 0 without a format.
std::uint32_t WaveLengthMs(const audio::Wave& wave);

// A wave over a complete WAV file image, owning the image. False when the
// image is no WAV file or holds no samples.
bool WaveFromImage(std::unique_ptr<base::GlobalStorage> image, audio::Wave& wave);

// Converts `source` (left as it is) to `target`, fits it to whole bars at
// `tempo` unless it is an effect, and writes it to a new temporary file:
// `file` and `preparedMs` on success. BadSongFile when `source` holds no
// samples; OutOfMemory when no temporary name, the conversion or the write
// fails (nothing is left behind then).
SongResult MakePreparedLoop(const audio::Wave& source, const audio::WAVEFORMATEX& target,
                            bool effect, double tempo, std::string& file,
                            std::uint32_t& preparedMs);

}  // namespace tamboro::engine
