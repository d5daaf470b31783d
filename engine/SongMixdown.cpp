// Mixdown: the recorded mix replayed offline through a private software
// mixer into one wave, then written as a WAV file.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "audio/mixer/SoftMixer.h"
#include "audio/wave/SampleStreams.h"
#include "engine/LoopFitting.h"
#include "engine/MixRules.h"
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

namespace {

// A one-channel loop in `format` (the same rate and bits, two channels),
// upmixed through a sample stream as an output slot upmixes it; null on
// failure.
std::unique_ptr<audio::Wave> Upmixed(const audio::Wave& mono, const audio::WAVEFORMATEX& format) {
    auto stream = audio::MakeSampleStream(*mono.Format(), mono.Data(), mono.DataBytes(), format);
    auto upmixed = std::make_unique<audio::Wave>();
    if (!stream || !upmixed->Create(format, static_cast<std::int32_t>(mono.FrameCount()))) {
        return nullptr;
    }
    const std::uint32_t bytes = upmixed->DataBytes();
    if (stream->Read(upmixed->Data(), bytes) != bytes) return nullptr;
    return upmixed;
}

}  // namespace

std::unique_ptr<audio::Wave> Song::RenderChannelLoop(int ch, const audio::WAVEFORMATEX& format) {
    // The device plays every loop already converted to its format and
    // fitted, from a file of ours: in that format, the file is the loop.
    // With mono sources the file holds one channel and the slot upmixes it
    // through a sample stream; the render takes the same samples the same
    // way (converting the source straight to stereo would differ).
    const audio::WAVEFORMATEX prepared = PreparedFormat();
    if (!m_preparedFile[ch].empty() && prepared.nSamplesPerSec == format.nSamplesPerSec &&
        prepared.wBitsPerSample == format.wBitsPerSample &&
        (prepared == format || (m_monoSources && prepared.nChannels == 1))) {
        auto loop = std::make_unique<audio::Wave>();
        if (audio::LoadWave(*loop, m_preparedFile[ch], audio::kTypeWav | audio::kLoadMapped) ==
                audio::SoundResult::Ok &&
            *loop->Format() == prepared) {
            if (prepared == format) return loop;
            if (auto upmixed = Upmixed(*loop, format)) return upmixed;
        }
    }
    return ConvertChannelLoop(ch, format);
}

std::unique_ptr<audio::Wave> Song::ConvertChannelLoop(int ch, const audio::WAVEFORMATEX& format) {
    auto loop = OpenChannelSource(ch, true);
    if (!loop) return nullptr;
    // With mono sources every loop sounds from one channel that its slot
    // upmixes; in any format the render does the same, so it keeps what was
    // heard (a stereo source converted straight to stereo would not).
    audio::WAVEFORMATEX target = audio::CopyFormat(format);
    const bool upmix =
        m_monoSources && format.nChannels == 2 && audio::LayoutOf(format) != audio::PcmLayout::None;
    if (upmix) audio::MakePcmFormat(target, format.nSamplesPerSec, format.wBitsPerSample, 1);
    if (audio::ConvertWave(*loop, target) != audio::SoundResult::Ok) return nullptr;
    if ((m_doc.channels[ch].flags & kEffect) == 0) {
        const auto frames = static_cast<std::uint32_t>(loop->FrameCount());
        const std::uint32_t fitted =
            FittedFrameCount(frames, SamplesPerBar(format.nSamplesPerSec, m_doc.tempo));
        if (fitted != frames) {
            auto fit = std::make_unique<audio::Wave>();
            if (!FitWave(*loop, fitted, *fit)) return nullptr;
            loop = std::move(fit);
        }
    }
    return upmix ? Upmixed(*loop, format) : std::move(loop);
}

namespace {

// The recorded mix, replayed through a software mixer while it is read:
// Read delivers the next bytes of the render. Events take effect at the
// frame of their time; a span between two events is mixed in whole blocks
// of the mixer (8 bytes), and the frames of a last partial block go with
// the next span, so every voice keeps its phase. What follows the last
// event, up to the render's length, is silence.
class MixdownStream final : public audio::ByteStream {
  public:
    using Loops = std::array<std::unique_ptr<audio::Wave>, kChannelCount>;

    // `document` is the stream's own copy of the mix.
    MixdownStream(const audio::WAVEFORMATEX& format, std::uint32_t frames, Loops loops,
                  SongDocument document, const std::atomic<bool>* cancel)
        : m_cancel(cancel),
          m_loops(std::move(loops)),
          m_doc(std::move(document)),
          m_mixer(format, !platform::ForcePlainKernels()),
          m_rate(format.nSamplesPerSec),
          m_frameBytes(format.nBlockAlign),
          m_silence(format.wBitsPerSample == 8 ? 0x80 : 0x00),
          m_frames(frames) {
        m_mode = kReading;
        m_mixer.ApplyLatency();
        for (int ch = 0; ch < kChannelCount; ++ch) {
            if (m_loops[ch]) m_voices[ch] = m_mixer.CreateVoice(m_loops[ch].get(), false);
            m_cursor[ch] = m_doc.channels[ch].events.cbegin();
        }
        Advance();
    }
    std::uint32_t Read(void* buffer, std::uint32_t n) override {
        if (Abandoned()) return 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        const std::uint64_t left = std::uint64_t{m_frames} * m_frameBytes - m_delivered;
        n = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left));
        std::uint32_t got = 0;
        while (got < n) {
            // Frames mixed but not yet delivered go first.
            if (m_pendingAt < m_pending.size()) {
                const auto take = std::min<std::uint32_t>(
                    n - got, static_cast<std::uint32_t>(m_pending.size() - m_pendingAt));
                std::memcpy(out + got, m_pending.data() + m_pendingAt, take);
                m_pendingAt += take;
                got += take;
                continue;
            }
            // Frames left before the next event; less than a block goes with
            // the next span.
            const std::uint64_t spanBytes =
                m_until > m_rendered ? std::uint64_t{m_until - m_rendered} * m_frameBytes : 0;
            if (spanBytes < kBlock) {
                if (!m_haveNext) {
                    // After the last event: silence to the end.
                    std::memset(out + got, m_silence, n - got);
                    got = n;
                    break;
                }
                m_now = m_next;
                Advance();
                continue;
            }
            const std::uint32_t room = n - got;
            std::uint8_t* into = out + got;
            std::uint32_t want =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(spanBytes, room));
            if (room < kBlock) {
                // Less room than a block: mix aside and hand it out from there.
                m_pending.resize(kPendingBytes);
                into = m_pending.data();
                want =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(spanBytes, kPendingBytes));
            }
            const std::uint32_t produced = m_mixer.Mix(into, want & ~(kBlock - 1));
            if (produced == 0) break;  // cannot happen with a whole block asked for
            m_rendered += produced / m_frameBytes;
            if (into == out + got) {
                got += produced;
            } else {
                m_pending.resize(produced);
                m_pendingAt = 0;
            }
        }
        m_delivered += got;
        return got;
    }
    bool AtEnd() override { return m_delivered >= std::uint64_t{m_frames} * m_frameBytes; }
    bool Abandoned() const override {
        return m_cancel != nullptr && m_cancel->load(std::memory_order_acquire);
    }
    std::uint32_t Length() override { return m_frames * m_frameBytes; }

  private:
    static constexpr std::uint32_t kBlock = 8;  // the mixer's unit
    static constexpr std::uint32_t kPendingBytes = 4096;

    // Applies the events due at m_now and finds the next event time and the
    // frame the mix runs to before it.
    void Advance() {
        m_haveNext = false;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            for (; m_cursor[ch] != m_doc.channels[ch].events.cend() && m_cursor[ch]->time <= m_now;
                 ++m_cursor[ch]) {
                Apply(ch, *m_cursor[ch]);
            }
            if (m_cursor[ch] != m_doc.channels[ch].events.cend() &&
                (!m_haveNext || m_cursor[ch]->time < m_next)) {
                m_next = m_cursor[ch]->time;
                m_haveNext = true;
            }
        }
        if (!m_haveNext) {
            m_until = m_rendered;
            return;
        }
        const std::uint64_t until = std::uint64_t{m_next} * m_rate / 1000;
        m_until = static_cast<std::uint32_t>(std::min<std::uint64_t>(until, m_frames));
    }

    // The voices of the mix rules (engine/MixRules.h): the mixer's voices.
    struct Voices {
        MixdownStream& stream;
        bool IsEffect(int ch) const { return stream.m_doc.channels[ch].IsEffect(); }
        std::uint32_t LoopFrames(int ch) const {
            return stream.m_voices[ch] != nullptr
                       ? static_cast<std::uint32_t>(stream.m_loops[ch]->FrameCount())
                       : 0;
        }
        void Start(int ch, std::uint32_t start, int /*attenuation*/, int /*pan*/) {
            // The voice already holds the channel's levels.
            stream.m_voices[ch]->Play(start, true);
        }
        void Stop(int ch) {
            if (stream.m_voices[ch] != nullptr) stream.m_voices[ch]->Stop();
        }
        void Levels(int ch, int attenuation, int pan) {
            audio::MixVoice* voice = stream.m_voices[ch];
            if (voice == nullptr) return;
            voice->SetAttenuation(attenuation);
            voice->SetPan(pan);
        }
    };

    void Apply(int /*ch*/, const MixEvent& e) {
        Voices voices{*this};
        ApplyMixEvent(e, m_rendered, m_levels, voices);
    }

    const std::atomic<bool>* m_cancel;  // may be null
    Loops m_loops;                      // declared before the mixer, so they outlive its voices
    const SongDocument m_doc;
    audio::SoftMixer m_mixer;
    std::array<audio::MixVoice*, kChannelCount> m_voices{};
    MixLevels m_levels;  // the running levels; the master starts at full level
    std::array<EventList::const_iterator, kChannelCount> m_cursor;
    const std::uint32_t m_rate;
    const std::uint32_t m_frameBytes;
    const std::uint8_t m_silence;
    const std::uint32_t m_frames;
    std::uint32_t m_now = 0;
    std::uint32_t m_next = 0;
    bool m_haveNext = false;
    std::uint32_t m_until = 0;     // the frame the current span ends at
    std::uint32_t m_rendered = 0;  // frames mixed so far
    std::uint64_t m_delivered = 0;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_pendingAt = 0;
};

}  // namespace

SongResult Song::PrepareMixdown(const std::string& path, const audio::WAVEFORMATEX* output,
                                const ProgressFn& progress, MixdownJob& job) {
    if (output != nullptr && !audio::IsUsableFormat(*output)) return SongResult::BadArgument;
    job.format = MixingFormatFor(output);
    job.hasOutput = output != nullptr;
    if (output != nullptr) job.output = audio::CopyFormat(*output);
    job.path = path;
    const std::uint32_t length = MixLength().count;
    if (length == 0) return SongResult::NoMix;
    const std::uint64_t frames64 = std::uint64_t{job.format.nSamplesPerSec} * length / 1000;
    // A WAV file holds at most 4 GiB of samples.
    if (frames64 == 0 || frames64 * job.format.nBlockAlign > UINT32_MAX - 4096) {
        return SongResult::OutOfMemory;
    }
    job.frames = static_cast<std::uint32_t>(frames64);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_doc.channels[ch].flags & kLoaded) == 0) continue;
        if (progress) progress(1, ch, ch * 33 / 20);
        job.loops[ch] = RenderChannelLoop(ch, job.format);
        if (!job.loops[ch]) return SongResult::ArchiveFailed;
    }
    job.doc = m_doc;
    return SongResult::Ok;
}

SongResult Song::RunMixdown(MixdownJob job, const ProgressFn& progress,
                            const std::atomic<bool>* cancel) {
    // The render is mixed while it is written; the writer reports 0..100,
    // shown as the last two thirds.
    const auto relay = [](void* context, std::uint32_t /*phase*/, std::uint32_t percent) {
        const auto& p = *static_cast<const ProgressFn*>(context);
        if (p) p(3, 0, static_cast<int>(33 + percent * 67 / 100));
    };
    auto stream = std::make_unique<MixdownStream>(job.format, job.frames, std::move(job.loops),
                                                  std::move(job.doc), cancel);
    const audio::SoundResult written = audio::SaveWaveStream(
        std::move(stream), job.format, job.frames * job.format.nBlockAlign, job.path,
        job.hasOutput ? &job.output : nullptr, relay, const_cast<ProgressFn*>(&progress));
    if (cancel != nullptr && cancel->load()) return SongResult::Cancelled;
    return written == audio::SoundResult::Ok ? SongResult::Ok : SongResult::WriteFailed;
}

SongResult Song::Mixdown(const std::string& path, const audio::WAVEFORMATEX* output,
                         const ProgressFn& progress) {
    MixdownJob job;
    const SongResult prepared = PrepareMixdown(path, output, progress, job);
    if (prepared != SongResult::Ok) return prepared;
    return RunMixdown(std::move(job), progress, nullptr);
}

}  // namespace tamboro::engine
