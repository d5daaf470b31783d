#include "engine/PreparedLoop.h"

#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "engine/LoopFitting.h"
#include "platform/TempFiles.h"

namespace tamboro::engine {

std::uint32_t WaveLengthMs(const audio::Wave& wave) {
    const audio::WAVEFORMATEX* format = wave.Format();
    if (format == nullptr || format->nAvgBytesPerSec == 0) return 0;
    return static_cast<std::uint32_t>(std::uint64_t{wave.DataBytes()} * 1000 /
                                      format->nAvgBytesPerSec);
}

bool WaveFromImage(std::unique_ptr<base::GlobalStorage> image, audio::Wave& wave) {
    audio::Wave parsed;
    const auto* bytes = static_cast<const std::uint8_t*>(image->Data());
    if (!audio::ParseRiffWave(parsed, bytes, image->Size()) || !parsed.HasSamples()) return false;
    const std::size_t offset = static_cast<std::size_t>(parsed.Data() - bytes);
    if (!wave.AttachFile(*parsed.Format(), std::move(image), offset, parsed.DataBytes())) {
        return false;
    }
    for (std::size_t slot = 0; slot < audio::kInfoIds.size(); ++slot) {
        if (parsed.InfoAt(slot)) wave.SetInfo(audio::kInfoIds[slot], *parsed.InfoAt(slot));
    }
    return true;
}

SongResult MakePreparedLoop(const audio::Wave& source, const audio::WAVEFORMATEX& target,
                            bool effect, double tempo, std::string& file,
                            std::uint32_t& preparedMs) {
    if (!source.HasSamples()) return SongResult::BadSongFile;
    std::string path;
    if (platform::MakeTempFileName("TBP", path) == 0) return SongResult::OutOfMemory;
    const auto fail = [&](SongResult r) {
        platform::DeleteFile(path);
        return r;
    };
    // The loop is converted in a copy of its own: the caller's wave stays
    // as it was. ConvertWave replaces the samples with converted ones and
    // leaves the borrowed memory alone.
    audio::Wave loop;
    loop.AttachBorrowed(*source.Format(), source.Data(), source.DataBytes());
    if (audio::ConvertWave(loop, target) != audio::SoundResult::Ok) {
        return fail(SongResult::OutOfMemory);
    }
    const auto frames = static_cast<std::uint32_t>(loop.FrameCount());
    const std::uint32_t fitted =
        effect ? frames : FittedFrameCount(frames, SamplesPerBar(target.nSamplesPerSec, tempo));
    audio::Wave* write = &loop;
    audio::Wave fit;
    if (fitted != frames) {
        if (!FitWave(loop, fitted, fit)) return fail(SongResult::OutOfMemory);
        loop.Reset();
        write = &fit;
    }
    if (audio::SaveWave(*write, path, audio::kTypeWav | audio::kSaveScratch) !=
        audio::SoundResult::Ok) {
        return fail(SongResult::OutOfMemory);
    }
    preparedMs = WaveLengthMs(*write);
    file = std::move(path);
    return SongResult::Ok;
}

}  // namespace tamboro::engine
