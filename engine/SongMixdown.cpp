// Mixdown: the recorded mix replayed offline through a private software
// mixer into one wave, then written as a WAV file.
#include <algorithm>
#include <cstring>

#include "audio/ConvertWave.h"
#include "audio/SoftMixer.h"
#include "audio/SoundFile.h"
#include "engine/LoopFitting.h"
#include "engine/Song.h"
#include "platform/Cpu.h"

namespace tamboro::engine {

audio::WAVEFORMATEX MixingFormatFor(const audio::WAVEFORMATEX* output) {
    audio::WAVEFORMATEX format;
    if (output == nullptr) {
        audio::MakePcmFormat(format, 44100, 16, 2);
    } else if (audio::LayoutOf(*output) != audio::PcmLayout::None) {
        format = audio::CopyFormat(*output);
    } else {
        // Compressed, or PCM the mixer has no kernel for: mix in 16 bits at
        // the output's rate and channels (at most two); the writer converts.
        audio::MakePcmFormat(format, output->nSamplesPerSec, 16, output->nChannels >= 2 ? 2 : 1);
    }
    return format;
}

std::uint32_t Song::MixLength() const {
    std::uint32_t length = 0;
    for (const auto& list : m_events) {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            if ((it->kind & kOnOffKinds) != 0) {
                length = std::max(length, it->time);
                break;
            }
        }
    }
    return length;
}

std::unique_ptr<audio::Wave> Song::RenderChannelLoop(int ch, const audio::WAVEFORMATEX& format) {
    auto loop = OpenChannelSource(ch);
    if (!loop || audio::ConvertWave(*loop, format) != audio::SoundResult::Ok) return nullptr;
    if ((m_flags[ch] & kEffect) != 0) return loop;
    const auto frames = static_cast<std::uint32_t>(loop->FrameCount());
    const std::uint32_t fitted =
        FittedFrameCount(frames, SamplesPerBar(format.nSamplesPerSec, m_tempo));
    if (fitted == frames) return loop;
    auto fit = std::make_unique<audio::Wave>();
    if (!FitWave(*loop, fitted, *fit)) return nullptr;
    return fit;
}

int Song::Mixdown(const std::string& path, const audio::WAVEFORMATEX* output,
                  const ProgressFn& progress) {
    if (output != nullptr && !audio::IsUsableFormat(*output)) return ToInt(SongResult::BadArgument);
    const audio::WAVEFORMATEX format = MixingFormatFor(output);
    const std::uint32_t length = MixLength();
    if (length == 0) return ToInt(SongResult::NoMix);

    const std::uint64_t frames64 = std::uint64_t{format.nSamplesPerSec} * length / 1000;
    const std::uint32_t bytesPerFrame = format.nBlockAlign;
    audio::Wave render;
    if (frames64 == 0 || frames64 * bytesPerFrame > UINT32_MAX ||
        !render.Create(format, static_cast<std::uint32_t>(frames64))) {
        return ToInt(SongResult::OutOfMemory);
    }
    const auto frames = static_cast<std::uint32_t>(frames64);
    // A new wave is zeroed, which is 16-bit silence; 8-bit silence is 0x80.
    if (format.wBitsPerSample == 8) std::memset(render.Data(), 0x80, render.DataBytes());

    std::array<std::unique_ptr<audio::Wave>, kChannelCount> loops;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_flags[ch] & kLoaded) == 0) continue;
        if (progress) progress(1, ch, ch * 33 / 20);
        loops[ch] = RenderChannelLoop(ch, format);
        if (!loops[ch]) return ToInt(SongResult::ArchiveFailed);
    }

    // Destroyed before the loops it plays.
    audio::SoftMixer mixer(format, !platform::ForcePlainKernels());
    mixer.ApplyLatency();
    std::array<audio::MixVoice*, kChannelCount> voices{};
    std::array<int, kChannelCount> volume{};
    std::array<EventList::const_iterator, kChannelCount> cursor;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (loops[ch]) voices[ch] = mixer.CreateVoice(loops[ch].get(), false);
        cursor[ch] = m_events[ch].cbegin();
    }

    // The running master level starts at full level until the first master
    // event sets it.
    int master = 0;
    std::uint32_t now = 0;
    std::uint32_t rendered = 0;
    for (;;) {
        bool haveNext = false;
        std::uint32_t next = 0;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            for (; cursor[ch] != m_events[ch].cend() && cursor[ch]->time <= now; ++cursor[ch]) {
                const MixEvent& e = *cursor[ch];
                audio::MixVoice* voice = voices[ch];
                switch (e.kind) {
                    case kChannelOn:
                        if (voice != nullptr) {
                            const auto loopFrames =
                                static_cast<std::uint32_t>(loops[ch]->FrameCount());
                            const std::uint32_t start =
                                (m_flags[ch] & kEffect) != 0 || loopFrames == 0
                                    ? 0
                                    : rendered % loopFrames;
                            voice->Play(start, true);
                        }
                        break;
                    case kChannelOff:
                        if (voice != nullptr) voice->Stop();
                        break;
                    case kVolume:
                        volume[ch] = static_cast<int>(e.value);
                        if (voice != nullptr) voice->SetAttenuation(volume[ch] + master);
                        break;
                    case kPan:
                        if (voice != nullptr) voice->SetPan(static_cast<int>(e.value));
                        break;
                    case kMasterVolume:
                        master = static_cast<int>(e.value);
                        for (int other = 0; other < kChannelCount; ++other) {
                            if (voices[other] != nullptr) {
                                voices[other]->SetAttenuation(volume[other] + master);
                            }
                        }
                        break;
                    default:
                        break;
                }
            }
            if (cursor[ch] != m_events[ch].cend() && (!haveNext || cursor[ch]->time < next)) {
                next = cursor[ch]->time;
                haveNext = true;
            }
        }
        // Silence before a mix's first event is part of the render: only the
        // end of the events ends it.
        if (!haveNext) break;
        const std::uint64_t until64 = std::uint64_t{next} * format.nSamplesPerSec / 1000;
        const auto until = static_cast<std::uint32_t>(std::min<std::uint64_t>(until64, frames));
        if (until > rendered) {
            const std::uint32_t produced =
                mixer.Mix(render.Data() + std::uint64_t{rendered} * bytesPerFrame,
                          (until - rendered) * bytesPerFrame);
            rendered += produced / bytesPerFrame;
            if (progress)
                progress(3, 0, static_cast<int>(33 + std::uint64_t{rendered} * 33 / frames));
        }
        now = next;
    }

    // The writer reports 0..100; the render shows it as the last third.
    const auto relay = [](void* context, std::uint32_t /*phase*/, std::uint32_t percent) {
        const auto& p = *static_cast<const ProgressFn*>(context);
        if (p) p(3, 0, static_cast<int>(66 + percent * 34 / 100));
    };
    const audio::SoundResult written = audio::SaveWave(render, path, audio::kTypeWav, output, relay,
                                                       const_cast<ProgressFn*>(&progress));
    return written == audio::SoundResult::Ok ? ToInt(SongResult::Ok)
                                             : ToInt(SongResult::WriteFailed);
}

}  // namespace tamboro::engine
