#pragma once
// Converts a whole Wave into another format, in place.
#include "audio/wave/SoundResult.h"
#include "audio/wave/Wave.h"

namespace tamboro::audio {

// In up to three passes, each only when needed: a source that is not PCM
// to PCM 16-bit; for a target that is not PCM at another rate, to PCM
// 16-bit at the target's rate; then to the target. A wave with memory
// storage converts through a BufferConverter into new memory; one with
// temporary-file storage through a temporary WAV file that is loaded back
// mapped. INFO texts are kept. Codes: Ok; NoSamples; ConverterOpenFailed;
// InvalidFile (the converted samples could not be attached);
// ConversionUnavailable (the temporary file pass failed). On failure the
// wave keeps the samples of the last pass that succeeded.
SoundResult ConvertWave(Wave& wave, const WAVEFORMATEX& format);

}  // namespace tamboro::audio
