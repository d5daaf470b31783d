#include "tools/synth/LoopFiles.h"

#include "audio/files/SoundFile.h"

namespace tamboro::synth {

audio::SoundResult WriteLoopFile(audio::Wave& wave, FileKind kind, const std::string& path) {
    std::uint32_t type = audio::kTypeWav;
    if (kind == FileKind::Aiff) type = audio::kTypeAiff;
    if (kind == FileKind::Au) type = audio::kTypeAu;
    return audio::SaveWave(wave, path, type);
}

}  // namespace tamboro::synth
