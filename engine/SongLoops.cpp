// Loops into channels: the temporary source copy of a loop, and preparing
// it for the device (converted to the output format, fitted to whole bars).
#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "engine/LoopFitting.h"
#include "engine/LoopStretch.h"
#include "engine/PreparedLoop.h"
#include "engine/Song.h"
#include "platform/TempFiles.h"

namespace tamboro::engine {
namespace {

// Loops are read into memory: the temporary files they come from may be
// replaced while the wave lives.
constexpr std::uint32_t kReadFlags = audio::kTypeWav | audio::kLoadCopy;
// The load-loop command reads any sound file type, samples kept mapped.
constexpr std::uint32_t kCommandReadFlags = audio::kLoadMapped | audio::kLoadMappingOption;

void CopyInfo(const audio::Wave& from, audio::Wave& to) {
    for (std::size_t slot = 0; slot < audio::kInfoIds.size(); ++slot) {
        if (from.InfoAt(slot)) to.SetInfo(audio::kInfoIds[slot], *from.InfoAt(slot));
    }
}

}  // namespace

Song::LoadLoopReport Song::LoadLoop(int ch, const std::string& path, bool effect,
                                    const std::function<bool(unsigned)>& ask,
                                    const std::function<void(unsigned)>& tell) {
    return LoadLoop(ch, path, LoadChoice{effect, false, {}}, ask, tell);
}

Song::LoadLoopReport Song::LoadLoop(int ch, const std::string& path, const LoadChoice& choice,
                                    const std::function<bool(unsigned)>& ask,
                                    const std::function<void(unsigned)>& tell) {
    LoopLoad load;
    if (!ReadLoop(ch, path, choice, load, ask, tell) || !StretchLoop(load)) return load.report;
    return PutLoop(load);
}

bool Song::ReadLoop(int ch, const std::string& path, LoadChoice choice, LoopLoad& load,
                    const std::function<bool(unsigned)>& ask,
                    const std::function<void(unsigned)>& tell) {
    load = LoopLoad{};
    load.ch = ch;
    load.choice = std::move(choice);
    LoadLoopReport& report = load.report;
    load.wave = std::make_unique<audio::Wave>();
    audio::Wave& wave = *load.wave;
    const audio::SoundResult read = audio::LoadWave(wave, path, kCommandReadFlags);
    if (read != audio::SoundResult::Ok) {
        report.fileResult = read;
        return false;
    }
    if (WholeSeconds(wave) > kMaxLoopSeconds) {
        report.tooLong = true;
        return false;
    }
    if (wave.GetInfo("INAM") == nullptr) {
        std::string title;
        platform::SplitPath(path, nullptr, &title, nullptr);
        wave.SetInfo("INAM", title);
    }
    bool first = true;
    for (int other = 0; other < kChannelCount; ++other)
        first = first && IsChannelEmpty(other);
    if (first && ask && ask(164)) {
        const double tempo = FirstLoopTempo(wave);
        if (tempo > 0.0) {
            m_doc.tempo = tempo;
            RebuildTempoClock();
            report.tempoSet = true;
        } else if (tell) {
            tell(1015);
        }
    }
    load.tempo = m_doc.tempo;
    return true;
}

bool Song::StretchLoop(LoopLoad& load) {
    // Effects are never stretched.
    if (!load.choice.stretch || load.choice.effect || !load.wave) return true;
    LoadLoopReport& report = load.report;
    auto stretched = std::make_unique<audio::Wave>();
    StretchPlan plan;
    const TempoStretch done =
        StretchToTempo(*load.wave, load.tempo, *stretched, &plan, load.choice.progress);
    report.stretchRatio = plan.ratio;
    report.stretchBars = plan.bars;
    switch (done) {
        case TempoStretch::Stretched:
            // The stretched loop is the loop as loaded: the channel's source,
            // its sample record in the song file and every later preparation
            // see it.
            load.wave = std::move(stretched);
            return true;
        case TempoStretch::LeftAlone:
            return true;
        case TempoStretch::Refused:
            report.stretchRefused = true;
            return false;
        case TempoStretch::Cancelled:
            report.stretchCancelled = true;
            return false;
        case TempoStretch::Failed:
            break;
    }
    report.songResult = SongResult::OutOfMemory;
    return false;
}

Song::LoadLoopReport Song::PutLoop(LoopLoad& load) {
    if (!load.wave || !load.report.Ok()) return load.report;
    load.report.songResult = ReplaceChannel(load.ch, load.wave.get(), load.choice.effect);
    return load.report;
}

SongResult Song::ReplaceChannel(int ch, const audio::Wave* wave, bool effect) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    // The loop that sounds goes: a recording notes where it stopped.
    if (m_device != nullptr && m_live->Attached()) m_live->SwitchOff(ch);
    if (m_device != nullptr && m_voice[ch] != kNoVoice) {
        m_device->Unload(static_cast<int>(m_voice[ch]));
    }
    m_doc.channels[ch].loop.reset();
    ClearFile(m_preparedFile[ch]);
    m_doc.channels[ch].flags = 0;
    m_doc.channels[ch].name.clear();
    // Master events live in channel 0's list and stay with the mix.
    std::erase_if(m_doc.channels[ch].events,
                  [](const MixEvent& e) { return e.kind != kMasterVolume; });
    m_doc.channels[ch].sourceLength = 0;
    m_doc.channels[ch].preparedLength = 0;
    if (wave == nullptr || !wave->HasSamples()) return SongResult::Ok;

    std::string path;
    if (platform::MakeTempFileName("TBO", path) == 0) return SongResult::TempFileFailed;
    // The caller's wave is not to change: the copy written shares its
    // samples.
    audio::Wave copy;
    copy.AttachBorrowed(*wave->Format(), wave->Data(), wave->DataBytes());
    CopyInfo(*wave, copy);
    if (audio::SaveWave(copy, path,
                        audio::kTypeWav | audio::kSaveScratch | audio::kSaveCp1252Texts) !=
        audio::SoundResult::Ok) {
        platform::DeleteFile(path);
        return SongResult::TempFileFailed;
    }
    m_doc.channels[ch].loop = ChannelLoop::InFile(path);
    const std::string* name = wave->GetInfo("INAM");
    m_doc.channels[ch].name = name != nullptr ? *name : std::string();
    m_doc.channels[ch].sourceLength = WaveLengthMs(*wave);
    m_doc.channels[ch].flags = kLoaded | (effect ? std::uint32_t{kEffect} : 0u);
    if (m_device != nullptr) {
        const SongResult result = PrepareChannel(ch, wave);
        if (result != SongResult::Ok) {
            ReplaceChannel(ch, nullptr, false);
            return result;
        }
        // A loop loaded during a recording starts its part of the mix with
        // the levels it has: recorded where the load lands.
        if (m_mixMode == MixMode::Recording) {
            m_live->SetVolume(ch, m_volume[ch]);
            m_live->SetPan(ch, m_pan[ch]);
        }
    }
    return SongResult::Ok;
}

std::unique_ptr<audio::Wave> Song::OpenChannelSource(int ch, bool mapped) {
    if (IsChannelEmpty(ch) || !m_doc.channels[ch].loop) return nullptr;
    const ChannelLoop& source = *m_doc.channels[ch].loop;
    auto wave = std::make_unique<audio::Wave>();
    if (!source.IsInArchive()) {
        const std::uint32_t flags = mapped ? audio::kTypeWav | audio::kLoadMapped : kReadFlags;
        if (audio::LoadWave(*wave, source.SourceFile(), flags) != audio::SoundResult::Ok) {
            return nullptr;
        }
        wave->SetInfo("INAM", m_doc.channels[ch].name);
    } else {
        auto image = source.Image();
        if (!image || !WaveFromImage(std::move(image), *wave)) return nullptr;
    }
    m_doc.channels[ch].sourceLength = WaveLengthMs(*wave);
    return wave;
}

std::unique_ptr<base::GlobalStorage> Song::ChannelSourceImage(int ch) {
    if (IsChannelEmpty(ch) || !m_doc.channels[ch].loop) return nullptr;
    return m_doc.channels[ch].loop->Image();
}

std::unique_ptr<audio::Wave> Song::OpenChannelPrepared(int ch) {
    if (IsChannelEmpty(ch) || m_preparedFile[ch].empty()) return nullptr;
    auto wave = std::make_unique<audio::Wave>();
    if (audio::LoadWave(*wave, m_preparedFile[ch], kReadFlags) != audio::SoundResult::Ok) {
        return nullptr;
    }
    wave->SetInfo("INAM", m_doc.channels[ch].name);
    return wave;
}

audio::WAVEFORMATEX Song::PreparedFormat() const {
    audio::WAVEFORMATEX format;
    const audio::WAVEFORMATEX device =
        m_device != nullptr ? m_device->GetFormat() : audio::WAVEFORMATEX{};
    audio::MakePcmFormat(format, device.nSamplesPerSec, device.wBitsPerSample,
                         m_monoSources ? 1 : device.nChannels);
    return format;
}

SongResult Song::PrepareChannel(int ch, const audio::Wave* given) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (given == nullptr && IsChannelEmpty(ch)) return SongResult::Ok;
    if (m_device != nullptr && m_voice[ch] != kNoVoice) {
        m_device->Unload(static_cast<int>(m_voice[ch]));
    }
    ClearFile(m_preparedFile[ch]);
    std::unique_ptr<audio::Wave> opened;
    const audio::Wave* source = given;
    if (source == nullptr) {
        opened = OpenChannelSource(ch);
        source = opened.get();
    }
    if (source == nullptr) return SongResult::BadSongFile;
    std::string file;
    std::uint32_t preparedMs = 0;
    const SongResult made = MakePreparedLoop(
        *source, PreparedFormat(), m_doc.channels[ch].IsEffect(), m_doc.tempo, file, preparedMs);
    if (made != SongResult::Ok) return made;
    InstallPrepared(ch, std::move(file), preparedMs);
    return SongResult::Ok;
}

void Song::InstallPrepared(int ch, std::string file, std::uint32_t preparedMs) {
    m_doc.channels[ch].preparedLength = preparedMs;
    m_preparedFile[ch] = std::move(file);
    // The live mix starts an effect at its first frame, a loop in phase.
    m_live->SetEffect(ch, m_doc.channels[ch].IsEffect());
    if (m_device != nullptr && m_voice[ch] != kNoVoice) {
        m_device->LoadFile(static_cast<int>(m_voice[ch]), m_preparedFile[ch], 0, 1,
                           m_softwareMixing ? 5u : 4u);
    }
}

}  // namespace tamboro::engine
