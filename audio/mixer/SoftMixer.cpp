#include "audio/mixer/SoftMixer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "audio/convert/FormatAdapter.h"
#include "audio/wave/MemoryStream.h"
#include "audio/wave/Wave.h"

namespace tamboro::audio {

MixVoice::MixVoice(Wave* wave, bool ownsWave, SoftMixer& mixer)
    : m_wave(wave), m_mixer(mixer), m_ownsWave(ownsWave) {
    // The wave's samples, read in place and converted to the mixer's format.
    if (wave && wave->HasSamples() && wave->Format()) {
        auto memory = std::make_unique<MemoryStream>(
            std::make_unique<base::BorrowedStorage>(wave->Data(), wave->DataBytes()));
        MemoryStream* const inner = memory.get();
        auto adapter =
            std::make_unique<FormatAdapter>(*wave->Format(), mixer.Format(), std::move(memory));
        if (adapter->CanConvert()) {
            // Samples read in place must suit 16-bit loads.
            if (adapter->StageCount() == 0 &&
                (reinterpret_cast<std::uintptr_t>(wave->Data()) & 1) == 0) {
                m_samples = wave->Data();
                m_memory = inner;
            }
            m_source = std::move(adapter);
        }
    }
}

MixVoice::~MixVoice() {
    Stop();
    if (m_ownsWave) delete m_wave;
}

int MixVoice::Play(std::uint32_t startFrame, bool loop) {
    std::lock_guard guard(m_mixer.m_lock);
    Stop();
    if (!m_wave || !m_wave->HasSamples() ||
        startFrame >= static_cast<std::uint32_t>(m_wave->FrameCount())) {
        return kRefused;
    }
    if (m_source) {
        m_source->Seek(std::int64_t{startFrame} * BytesPerFrame(m_mixer.m_layout),
                       ByteStream::kFromStart);
    }
    m_loop = loop;
    // Sized here, never while mixing; a latency requested but not yet applied
    // is covered too.
    const std::uint32_t need = std::max(m_mixer.m_chunkBytes, m_mixer.m_requestedChunkBytes);
    if (m_scratch.size() < need) m_scratch.assign(need, 0);
    m_mixer.AppendPlaying(this);
    return kStarted;
}

int MixVoice::Stop() {
    std::lock_guard guard(m_mixer.m_lock);
    if (m_inPlaying) m_mixer.RemovePlaying(this);
    return 0;
}

bool MixVoice::IsPlaying() const {
    std::lock_guard guard(m_mixer.m_lock);
    return m_inPlaying;
}

int MixVoice::SetAttenuation(int attenuation) {
    m_attenuation = std::clamp(attenuation, -10000, 0);
    UpdateGains();
    return 0;
}

int MixVoice::SetPan(int pan) {
    m_pan = std::clamp(pan, -10000, 10000);
    UpdateGains();
    return 0;
}

void MixVoice::UpdateGains() {
    m_gains = GainsOf(m_attenuation, m_pan);
    m_monoGain = GainsOf(m_attenuation, 0).left;
}

bool MixVoice::Fill(std::uint32_t n, std::uint8_t silence) {
    std::uint32_t got = 0;
    bool ended = false;
    while (got < n && m_source) {
        const std::uint32_t r = m_source->Read(m_scratch.data() + got, n - got);
        if (r > 0) {
            got += r;
            continue;
        }
        if (!m_loop) {
            ended = true;
            break;
        }
        // Rewind once per empty read; a source that yields nothing even after
        // the rewind ends the block.
        m_source->Seek(0, ByteStream::kFromStart);
        const std::uint32_t again = m_source->Read(m_scratch.data() + got, n - got);
        if (again == 0) break;
        got += again;
    }
    if (got < n) std::memset(m_scratch.data() + got, silence, n - got);
    if (ended || got == 0 || !m_source) Stop();
    return got > 0;
}

const std::uint8_t* MixVoice::Next(std::uint32_t n, std::uint8_t silence) {
    if (m_memory != nullptr) {
        const std::uint32_t at = m_memory->Position();
        if (at < m_memory->Length() && n <= m_memory->Length() - at && (at & 1) == 0) {
            m_memory->Seek(n, ByteStream::kFromCurrent);
            return m_samples + at;
        }
    }
    Fill(n, silence);
    return m_scratch.data();
}

SoftMixer::SoftMixer(const WAVEFORMATEX& format, bool useSimd)
    : m_format(CopyFormat(format)),
      m_layout(LayoutOf(format)),
      m_kernels(useSimd ? &SelectMixKernels() : &PlainMixKernels()) {
    SetLatency(kDefaultLatencyMs);
}

SoftMixer::~SoftMixer() {
    std::lock_guard guard(m_lock);
    m_voices.clear();
}

MixVoice* SoftMixer::CreateVoice(Wave* wave, bool ownsWave) {
    std::lock_guard guard(m_lock);
    m_voices.push_back(std::make_unique<MixVoice>(wave, ownsWave, *this));
    return m_voices.back().get();
}

void SoftMixer::DestroyVoice(MixVoice* voice) {
    std::lock_guard guard(m_lock);
    auto it = std::find_if(m_voices.begin(), m_voices.end(),
                           [voice](const auto& v) { return v.get() == voice; });
    if (it != m_voices.end()) m_voices.erase(it);
}

int SoftMixer::SetLatency(std::uint32_t ms) {
    const std::uint64_t bytes = std::uint64_t{m_format.nAvgBytesPerSec} * ms / 1000;
    m_requestedChunkBytes =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0x7FFFFFFF)) & ~std::uint32_t{3};
    return 0;
}

int SoftMixer::ApplyLatency() {
    m_chunkBytes = m_requestedChunkBytes;
    return 0;
}

std::size_t SoftMixer::PlayingCount() const {
    std::size_t n = 0;
    for (const MixVoice* v = m_playingHead; v; v = v->m_next)
        ++n;
    return n;
}

void SoftMixer::AppendPlaying(MixVoice* v) {
    v->m_prev = m_playingTail;
    v->m_next = nullptr;
    if (m_playingTail) {
        m_playingTail->m_next = v;
    } else {
        m_playingHead = v;
    }
    m_playingTail = v;
    v->m_inPlaying = true;
}

void SoftMixer::RemovePlaying(MixVoice* v) {
    (v->m_prev ? v->m_prev->m_next : m_playingHead) = v->m_next;
    (v->m_next ? v->m_next->m_prev : m_playingTail) = v->m_prev;
    v->m_prev = v->m_next = nullptr;
    v->m_inPlaying = false;
}

std::uint32_t SoftMixer::Mix(void* dest, std::uint32_t bytes) {
    auto* out = static_cast<std::uint8_t*>(dest);
    std::uint32_t total = 0;
    while (total < bytes && m_chunkBytes > 0) {
        const std::uint32_t n = MixBlock(out + total, std::min(m_chunkBytes, bytes - total));
        if (n == 0) break;
        total += n;
    }
    return total;
}

std::uint32_t SoftMixer::MixBlock(std::uint8_t* dest, std::uint32_t bytes) {
    const std::uint32_t n = bytes & ~std::uint32_t{7};
    if (n == 0 || m_layout == PcmLayout::None) return 0;
    const bool eightBit = m_layout == PcmLayout::Mono8 || m_layout == PcmLayout::Stereo8;
    const bool stereo = m_layout == PcmLayout::Stereo8 || m_layout == PcmLayout::Stereo16;
    // The block is summed as signed samples; 8-bit output turns unsigned at
    // the end.
    std::memset(dest, 0, n);
    // 16-bit voices that deliver the whole block at once are added in
    // batches, one pass over the block per batch; the adds keep the playing
    // order either way, so the sums saturate the same.
    auto* const dest16 = reinterpret_cast<std::int16_t*>(dest);
    std::array<VoiceSamples16, 16> batch;
    std::size_t batched = 0;
    const auto flush = [&] {
        if (batched > 0) m_kernels->accumulate16Many(dest16, batch.data(), batched, n / 2);
        batched = 0;
    };
    for (MixVoice* v = m_playingHead; v;) {
        MixVoice* next = v->m_next;  // v may stop itself
        // Mono layouts use the attenuation alone and ignore the pan.
        const int ge = stereo ? v->m_gains.left : v->m_monoGain;
        const int go = stereo ? v->m_gains.right : v->m_monoGain;
        if (!eightBit && v->m_scratch.size() >= n) {
            const std::uint8_t* samples = v->Next(n, 0x00);
            batch[batched++] = {reinterpret_cast<const std::int16_t*>(samples), ge, go};
            if (batched == batch.size()) flush();
            v = next;
            continue;
        }
        flush();
        // A voice started before a larger latency was applied mixes in pieces
        // of its scratch size.
        for (std::uint32_t done = 0; done < n && v->m_inPlaying;) {
            const auto piece = std::min<std::uint32_t>(
                n - done, static_cast<std::uint32_t>(v->m_scratch.size()) & ~std::uint32_t{7});
            if (piece == 0) {
                RemovePlaying(v);
                break;
            }
            const std::uint8_t* samples = v->Next(piece, eightBit ? 0x80 : 0x00);
            if (eightBit) {
                m_kernels->accumulate8(reinterpret_cast<std::int8_t*>(dest + done), samples, piece,
                                       ge, go);
            } else {
                m_kernels->accumulate16(dest16 + done / 2,
                                        reinterpret_cast<const std::int16_t*>(samples), piece / 2,
                                        ge, go);
            }
            done += piece;
        }
        v = next;
    }
    flush();
    if (eightBit) m_kernels->flip8(dest, n);
    return n;
}

}  // namespace tamboro::audio
