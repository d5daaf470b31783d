#include "audio/output/OutputEngine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamboro::audio {

namespace {

bool Is8Bit(PcmLayout l) {
    return l == PcmLayout::Mono8 || l == PcmLayout::Stereo8;
}

// Sample c of a frame as a signed 16-bit value.
inline int SampleOf(const std::uint8_t* frame, bool eightBit, std::uint32_t c) {
    if (eightBit) return (static_cast<int>(frame[c]) - 128) * 256;
    std::int16_t s;
    std::memcpy(&s, frame + c * 2, 2);
    return s;
}

inline void StoreSample(std::uint8_t* frame, bool eightBit, std::uint32_t c, int v) {
    v = std::clamp(v, -32768, 32767);
    if (eightBit) {
        frame[c] = static_cast<std::uint8_t>((v >> 8) + 128);
    } else {
        const auto s = static_cast<std::int16_t>(v);
        std::memcpy(frame + c * 2, &s, 2);
    }
}

// Catmull-Rom cubic through p1 (t = 0) and p2 (t = 1).
inline float Cubic(float p0, float p1, float p2, float p3, float t) {
    return p1 +
           0.5f * t *
               (p2 - p0 +
                t * (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + t * (3.0f * (p1 - p2) + p3 - p0)));
}

// Nearest integer (ties to even, as lrintf in the default rounding mode),
// clamped to 16 bits. The SSE conversion does it in one instruction where
// lrintf is a library call.
inline int RoundClamp16(float y) {
#if defined(__SSE2__)
    return std::clamp(_mm_cvtss_si32(_mm_set_ss(y)), -32768, 32767);
#else
    return static_cast<int>(std::clamp(std::lrintf(y), -32768L, 32767L));
#endif
}

// `n` frames of 16-bit samples with `Channels` channels, interpolated from
// `base` at the 32.32 position `pos` advancing by `step`; every frame's four
// neighbours lie inside the buffer (the caller checked the run).
template <int Channels>
void InterpolateRun16(const std::int16_t* base, std::int16_t* out, std::uint64_t pos,
                      std::uint64_t step, std::uint64_t n) {
    std::uint64_t j = 0;
#if defined(__SSE2__)
    if constexpr (Channels == 2) {
        // Two stereo frames at once, lanes [left A, right A, left B, right B],
        // with the scalar formula's operations in its order: the same bits.
        const auto widen = [](__m128i v) {  // the low four 16-bit samples as floats
            return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
        };
        const __m128 half = _mm_set1_ps(0.5f), two = _mm_set1_ps(2.0f);
        const __m128 three = _mm_set1_ps(3.0f), four = _mm_set1_ps(4.0f);
        const __m128 five = _mm_set1_ps(5.0f);
        for (; j + 2 <= n; j += 2) {
            const std::uint64_t posB = pos + step;
            // Frames idx-1 .. idx+2 of each: 16 bytes, one load.
            const __m128i a =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + ((pos >> 32) - 1) * 2));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + ((posB >> 32) - 1) * 2));
            const __m128i lo = _mm_unpacklo_epi32(a, b);  // A0 B0 A1 B1
            const __m128i hi = _mm_unpackhi_epi32(a, b);  // A2 B2 A3 B3
            const __m128 p0 = widen(lo);
            const __m128 p1 = widen(_mm_unpackhi_epi64(lo, lo));
            const __m128 p2 = widen(hi);
            const __m128 p3 = widen(_mm_unpackhi_epi64(hi, hi));
            const float ta = static_cast<float>(pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
            const float tb = static_cast<float>(posB & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
            const __m128 t = _mm_set_ps(tb, tb, ta, ta);
            const __m128 inner =
                _mm_sub_ps(_mm_add_ps(_mm_mul_ps(three, _mm_sub_ps(p1, p2)), p3), p0);
            const __m128 mid = _mm_add_ps(
                _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(two, p0), _mm_mul_ps(five, p1)),
                                      _mm_mul_ps(four, p2)),
                           p3),
                _mm_mul_ps(t, inner));
            const __m128 outer = _mm_add_ps(_mm_sub_ps(p2, p0), _mm_mul_ps(t, mid));
            const __m128 y = _mm_add_ps(p1, _mm_mul_ps(_mm_mul_ps(half, t), outer));
            const __m128i r = _mm_cvtps_epi32(y);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(r, r));
            out += 4;
            pos = posB + step;
        }
    }
#endif
    for (; j < n; ++j) {
        const float t = static_cast<float>(pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        const std::int16_t* p0 = base + ((pos >> 32) - 1) * Channels;
        for (int c = 0; c < Channels; ++c) {
            const float y =
                Cubic(p0[c], p0[Channels + c], p0[2 * Channels + c], p0[3 * Channels + c], t);
            out[c] = static_cast<std::int16_t>(RoundClamp16(y));
        }
        out += Channels;
        pos += step;
    }
}

}  // namespace

OutputEngine::OutputEngine(const MixKernels& kernels) : m_kernels(kernels), m_ring(kRingCommands) {}

bool OutputEngine::Configure(const WAVEFORMATEX& format) {
    const PcmLayout layout = LayoutOf(format);
    // Rates outside what sound hardware offers are refused (this also keeps
    // the ramp and step arithmetic inside 32 bits).
    if (layout == PcmLayout::None || format.nSamplesPerSec < kMinRate ||
        format.nSamplesPerSec > kMaxRate) {
        return false;
    }
    m_format = CopyFormat(format);
    m_layout = layout;
    m_frameBytes = BytesPerFrame(layout);
    m_channels = (layout == PcmLayout::Stereo8 || layout == PcmLayout::Stereo16) ? 2 : 1;
    m_rampFrames = std::max<std::uint32_t>(1, format.nSamplesPerSec * kRampMs / 1000);
    m_scratch.assign(std::size_t{kMaxBlockFrames} * 4 * kBatch, 0);
    for (int s = 0; s < kSlots; ++s) {
        for (int i = 0; i < kInstances; ++i) {
            Voice& v = m_voices[s][i];
            v.playing = false;
            v.pos = 0;
            Publish(s, i);
        }
    }
    m_orderCount = 0;
    m_frame = 0;
    m_pubFrames.store(0, std::memory_order_release);
    return true;
}

std::uint32_t OutputEngine::Push(EngineCommand command) {
    const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
    const std::uint32_t head = m_head.load(std::memory_order_acquire);
    if (tail - head >= kRingCommands) return 0;
    if (++m_nextSeq == 0) m_nextSeq = 1;  // 0 means "not queued"
    command.seq = m_nextSeq;
    m_ring[tail % kRingCommands] = command;
    m_tail.store(tail + 1, std::memory_order_release);
    return command.seq;
}

void OutputEngine::ApplyCommands() {
    std::uint32_t head = m_head.load(std::memory_order_relaxed);
    const std::uint32_t tail = m_tail.load(std::memory_order_acquire);
    if (head == tail) return;
    std::uint32_t last = 0;
    for (; head != tail; ++head) {
        const EngineCommand& c = m_ring[head % kRingCommands];
        Apply(c);
        last = c.seq;
    }
    m_head.store(head, std::memory_order_release);
    m_appliedSeq.store(last, std::memory_order_release);
}

void OutputEngine::Apply(const EngineCommand& c) {
    if (c.kind == EngineCommand::kSetSequencer) {
        m_sequencer = c.sequencer;
        m_metered = c.meteredSlots;
        return;
    }
    if (c.slot >= kSlots) return;
    if (c.kind == EngineCommand::kStopAll) {
        for (int s = 0; s < kSlots; ++s) {
            for (auto& v : m_voices[s])
                v.playing = false;
        }
        return;
    }
    const bool all = c.instance == EngineCommand::kAllInstances;
    for (int i = 0; i < kInstances; ++i) {
        if (!all && i != c.instance) continue;
        Voice& v = m_voices[c.slot][i];
        switch (c.kind) {
            case EngineCommand::kPlay: {
                if (!c.buffer) break;
                if (v.buffer != c.buffer && c.buffer->streaming) v.pos = 0;
                v.buffer = c.buffer;
                if (c.frame >= 0 && !c.buffer->streaming) {
                    v.pos = static_cast<std::uint64_t>(c.frame) << 32;
                }
                if (!c.buffer->streaming && (v.pos >> 32) >= c.buffer->frameCount) v.pos = 0;
                v.loop = c.loop;
                if (c.hasGains) {
                    v.targetLeft = c.gainLeft;
                    v.targetRight = c.gainRight;
                    v.gainLeft = std::int64_t{c.gainLeft} << 16;
                    v.gainRight = std::int64_t{c.gainRight} << 16;
                    v.rampLeft = 0;
                }
                if (c.hasStep) v.step = c.step;
                v.playSeq = c.seq;
                Sound(c.slot, i);
                break;
            }
            case EngineCommand::kStop:
                v.playing = false;
                break;
            case EngineCommand::kSetGains:
                SetGains(v, c.gainLeft, c.gainRight);
                break;
            case EngineCommand::kSetStep:
                v.step = c.step;
                break;
            case EngineCommand::kSetPosition:
                if (v.buffer && !v.buffer->streaming && c.frame >= 0 &&
                    static_cast<std::uint64_t>(c.frame) < v.buffer->frameCount) {
                    v.pos = static_cast<std::uint64_t>(c.frame) << 32;
                } else if (c.frame >= 0) {
                    v.pos = 0;
                }
                break;
            case EngineCommand::kDetach:
                v.playing = false;
                v.buffer = nullptr;
                v.pos = 0;
                break;
            case EngineCommand::kAttach:
                v.playing = false;
                v.buffer = c.buffer;
                v.pos = 0;
                break;
            case EngineCommand::kStopAll:
            case EngineCommand::kSetSequencer:
                break;
        }
        Publish(c.slot, i);
    }
}

void OutputEngine::SetGains(Voice& v, int left, int right) {
    v.targetLeft = left;
    v.targetRight = right;
    if (v.playing) {
        // Settle over a few milliseconds so that a turned knob never clicks.
        v.rampLeft = m_rampFrames;
        v.deltaLeft = ((std::int64_t{left} << 16) - v.gainLeft) / m_rampFrames;
        v.deltaRight = ((std::int64_t{right} << 16) - v.gainRight) / m_rampFrames;
    } else {
        v.gainLeft = std::int64_t{left} << 16;
        v.gainRight = std::int64_t{right} << 16;
        v.rampLeft = 0;
    }
}

void OutputEngine::Sound(int slot, int instance) {
    const auto id = static_cast<std::uint16_t>(slot * kInstances + instance);
    // A restarted voice moves to the end, as in the software mixer.
    auto* end = m_order.data() + m_orderCount;
    auto* at = std::find(m_order.data(), end, id);
    if (at != end) {
        std::copy(at + 1, end, at);
        --m_orderCount;
    }
    m_order[m_orderCount++] = id;
    m_voices[slot][instance].playing = true;
}

void OutputEngine::Silence(int slot, int instance) {
    // Left in the order until the next block drops it.
    m_voices[slot][instance].playing = false;
}

bool OutputEngine::StartVoice(int slot, std::uint32_t frame, int volume, int pan) {
    if (slot < 0 || slot >= kSlots) return false;
    Voice& v = m_voices[slot][0];
    if (v.buffer == nullptr || v.buffer->streaming || v.buffer->frameCount == 0) return false;
    v.pos = std::uint64_t{frame % v.buffer->frameCount} << 32;
    v.loop = true;
    v.step = (std::uint64_t{v.buffer->rate} << 32) / m_format.nSamplesPerSec;
    const StereoGains g = GainsOf(volume, m_channels == 2 ? pan : 0);
    v.playing = false;  // levels at once, no ramp
    SetGains(v, g.left, g.right);
    Sound(slot, 0);
    return true;
}

void OutputEngine::StopVoice(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    for (int i = 0; i < kInstances; ++i)
        Silence(slot, i);
}

void OutputEngine::SetVoiceLevels(int slot, int volume, int pan) {
    if (slot < 0 || slot >= kSlots) return;
    const StereoGains g = GainsOf(volume, m_channels == 2 ? pan : 0);
    for (Voice& v : m_voices[slot])
        SetGains(v, g.left, g.right);
}

std::uint32_t OutputEngine::VoiceFrames(int slot) const {
    if (slot < 0 || slot >= kSlots) return 0;
    const SlotBuffer* b = m_voices[slot][0].buffer;
    return b != nullptr && !b->streaming ? b->frameCount : 0;
}

bool OutputEngine::VoicePlaying(int slot) const {
    if (slot < 0 || slot >= kSlots) return false;
    for (const Voice& v : m_voices[slot]) {
        if (v.playing) return true;
    }
    return false;
}

void OutputEngine::Publish(int slot, int instance) {
    const Voice& v = m_voices[slot][instance];
    m_pubFrame[slot][instance].store(static_cast<std::uint32_t>(v.pos >> 32),
                                     std::memory_order_release);
}

void OutputEngine::End(int slot, int instance) {
    Voice& v = m_voices[slot][instance];
    Silence(slot, instance);
    // A static buffer that played to its end is rewound, so that the next
    // start from "where it is" plays it again from the beginning.
    if (v.buffer && !v.buffer->streaming) v.pos = 0;
    m_pubEnded[slot][instance].store(v.playSeq, std::memory_order_release);
}

OutputEngine::VoiceReport OutputEngine::Report(int slot, int instance) const {
    return {m_pubFrame[slot][instance].load(std::memory_order_acquire),
            m_pubEnded[slot][instance].load(std::memory_order_acquire)};
}

void OutputEngine::RenderCallback(void* engine, std::uint8_t* out, std::uint32_t bytes) {
    static_cast<OutputEngine*>(engine)->Render(out, bytes);
}

void OutputEngine::Render(std::uint8_t* out, std::uint32_t bytes) {
    ApplyCommands();
    if (m_frameBytes == 0) {
        std::memset(out, 0, bytes);
        return;
    }
    const std::uint32_t frames = bytes / m_frameBytes;
    BlockSequencer* const sequencer = m_sequencer;
    if (sequencer != nullptr) {
        for (std::uint64_t mask = m_metered; mask != 0; mask &= mask - 1)
            m_meters[static_cast<std::size_t>(__builtin_ctzll(mask))] = SlotMeter{};
        sequencer->BeginBlock(m_frame, frames, *this);
    }
    std::uint32_t done = 0;
    while (done < frames) {
        // The sequencer splits the call at the frames where it acts.
        std::uint32_t n = frames - done;
        if (sequencer != nullptr) n = std::clamp(sequencer->Sequence(m_frame, n, *this), 1u, n);
        n = std::min(kMaxBlockFrames, n);
        RenderBlock(out + std::size_t{done} * m_frameBytes, n);
        done += n;
        m_frame += n;
    }
    m_pubFrames.store(m_frame, std::memory_order_release);
    const std::uint32_t tail = bytes - frames * m_frameBytes;
    if (tail)
        std::memset(out + std::size_t{frames} * m_frameBytes, Is8Bit(m_layout) ? 0x80 : 0, tail);
    if (sequencer != nullptr) sequencer->Rendered(m_frame - frames, out, frames, m_meters.data());
    for (int s = 0; s < kSlots; ++s) {
        for (int i = 0; i < kInstances; ++i)
            Publish(s, i);
    }
}

void OutputEngine::RenderBlock(std::uint8_t* out, std::uint32_t frames) {
    const bool eightBit = Is8Bit(m_layout);
    const std::size_t samples = std::size_t{frames} * m_channels;
    const std::size_t bytes = std::size_t{frames} * m_frameBytes;
    std::memset(out, 0, bytes);  // signed silence; 8-bit turns unsigned at the end
    std::uint8_t* scratch = m_scratch.data();
    // Voices that stopped since the last block leave the order.
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < m_orderCount; ++k) {
        const std::uint16_t id = m_order[k];
        if (m_voices[id / kInstances][id % kInstances].playing) m_order[kept++] = id;
    }
    m_orderCount = kept;
    const std::uint32_t count = m_orderCount;
    if (eightBit) {
        for (std::uint32_t k = 0; k < count; ++k) {
            const int s = m_order[k] / kInstances;
            const int i = m_order[k] % kInstances;
            Voice& v = m_voices[s][i];
            if (!v.playing || !v.buffer || v.buffer->layout != m_layout) continue;
            const bool more = Produce(v, scratch, frames);
            int ge = kFullGain;
            int go = kFullGain;
            if (v.rampLeft > 0) {
                ApplyRamp(v, scratch, frames);
            } else {
                ge = v.targetLeft;
                go = m_channels == 2 ? v.targetRight : v.targetLeft;
            }
            if ((m_metered >> s) & 1) Measure(s, scratch, frames, ge, go);
            m_kernels.accumulate8(reinterpret_cast<std::int8_t*>(out), scratch, samples, ge, go);
            if (!more) End(s, i);
        }
    } else {
        // In slot order, kBatch voices per pass over the block.
        std::array<VoiceSamples16, kBatch> batch;
        std::size_t batched = 0;
        const auto flush = [&] {
            if (batched > 0) {
                m_kernels.accumulate16Many(reinterpret_cast<std::int16_t*>(out), batch.data(),
                                           batched, samples);
            }
            batched = 0;
        };
        for (std::uint32_t k = 0; k < count; ++k) {
            const int s = m_order[k] / kInstances;
            const int i = m_order[k] % kInstances;
            Voice& v = m_voices[s][i];
            if (!v.playing || !v.buffer || v.buffer->layout != m_layout) continue;
            bool more = true;
            bool ramped = false;  // the ramp scales the samples itself
            const std::uint8_t* from = InPlace(v, frames);
            if (from == nullptr) {
                std::uint8_t* area = scratch + batched * bytes;
                more = Produce(v, area, frames);
                if (v.rampLeft > 0) {
                    ApplyRamp(v, area, frames);
                    ramped = true;
                }
                from = area;
            }
            const int ge = ramped ? kFullGain : v.targetLeft;
            const int go = ramped ? kFullGain : m_channels == 2 ? v.targetRight : v.targetLeft;
            if ((m_metered >> s) & 1) Measure(s, from, frames, ge, go);
            batch[batched++] = {reinterpret_cast<const std::int16_t*>(from), ge, go};
            if (!more) End(s, i);
            if (batched == kBatch) flush();
        }
        flush();
    }
    // Peak for meters, on the 16-bit scale.
    int peak = 0;
    if (eightBit) {
        for (std::size_t k = 0; k < samples; ++k) {
            peak =
                std::max(peak, std::abs(static_cast<int>(static_cast<std::int8_t>(out[k]))) * 256);
        }
        m_kernels.flip8(out, bytes);
    } else {
        const auto* p = reinterpret_cast<const std::int16_t*>(out);
        for (std::size_t k = 0; k < samples; ++k)
            peak = std::max(peak, std::abs(int{p[k]}));
    }
    std::uint32_t old = m_peak.load(std::memory_order_relaxed);
    while (static_cast<std::uint32_t>(peak) > old &&
           !m_peak.compare_exchange_weak(old, static_cast<std::uint32_t>(peak),
                                         std::memory_order_acq_rel)) {
    }
}

void OutputEngine::Measure(int slot, const std::uint8_t* samples, std::uint32_t frames,
                           int gainLeft, int gainRight) {
    // The voice's own samples, then scaled by its gains: one pass, no copy.
    const bool eightBit = Is8Bit(m_layout);
    const std::uint32_t ch = m_channels;
    int lo[2] = {32767, 32767};
    int hi[2] = {-32768, -32768};
    std::int64_t sq[2] = {0, 0};
    for (std::uint32_t k = 0; k < frames; ++k) {
        for (std::uint32_t c = 0; c < ch; ++c) {
            const int v = SampleOf(samples + std::size_t{k} * m_frameBytes, eightBit, c);
            lo[c] = std::min(lo[c], v);
            hi[c] = std::max(hi[c], v);
            sq[c] += std::int64_t{v} * v;
        }
    }
    if (ch == 1) {
        lo[1] = lo[0];
        hi[1] = hi[0];
        sq[1] = sq[0];
        gainRight = gainLeft;
    }
    SlotMeter& m = m_meters[static_cast<std::size_t>(slot)];
    const int g[2] = {gainLeft, gainRight};
    int* mins[2] = {&m.minLeft, &m.minRight};
    int* maxs[2] = {&m.maxLeft, &m.maxRight};
    double* sums[2] = {&m.sumSquaresLeft, &m.sumSquaresRight};
    for (int c = 0; c < 2; ++c) {
        *mins[c] = std::min(*mins[c], (lo[c] * g[c]) >> 15);
        *maxs[c] = std::max(*maxs[c], (hi[c] * g[c]) >> 15);
        const double scale = static_cast<double>(g[c]) / 32768.0;
        *sums[c] += static_cast<double>(sq[c]) * scale * scale;
    }
}

const std::uint8_t* OutputEngine::InPlace(Voice& v, std::uint32_t frames) {
    if (v.step != kUnitStep || (v.pos & 0xFFFFFFFFu) != 0 || v.rampLeft > 0) return nullptr;
    const SlotBuffer& b = *v.buffer;
    const std::uint64_t pos = v.pos >> 32;
    if (b.streaming || pos >= b.frameCount || frames > b.frameCount - pos) return nullptr;
    v.pos += std::uint64_t{frames} << 32;
    return b.frames.data() + pos * m_frameBytes;
}

bool OutputEngine::Produce(Voice& v, std::uint8_t* scratch, std::uint32_t frames) {
    if (v.step == kUnitStep && (v.pos & 0xFFFFFFFFu) == 0) return ProduceDirect(v, scratch, frames);
    return ProduceInterpolated(v, scratch, frames);
}

bool OutputEngine::ProduceDirect(Voice& v, std::uint8_t* scratch, std::uint32_t frames) {
    const SlotBuffer& b = *v.buffer;
    const std::uint8_t silence = Is8Bit(m_layout) ? 0x80 : 0;
    std::uint64_t pos = v.pos >> 32;
    std::uint32_t k = 0;
    bool more = true;
    if (!b.streaming) {
        while (k < frames) {
            if (pos >= b.frameCount) {
                if (!v.loop || b.frameCount == 0) {
                    more = false;
                    break;
                }
                pos = 0;
            }
            const auto take =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(frames - k, b.frameCount - pos));
            std::memcpy(scratch + std::size_t{k} * m_frameBytes,
                        b.frames.data() + pos * m_frameBytes, std::size_t{take} * m_frameBytes);
            k += take;
            pos += take;
        }
    } else {
        while (k < frames) {
            const std::uint64_t end = b.endFrame.load(std::memory_order_acquire);
            const std::uint64_t written = b.written.load(std::memory_order_acquire);
            if (pos >= end) {
                more = false;
                break;
            }
            const std::uint64_t avail = std::min(written, end) - pos;
            if (avail == 0) {
                m_underruns.fetch_add(1, std::memory_order_relaxed);
                break;  // ran dry: silence, and carry on when refilled
            }
            const std::uint64_t at = pos % b.frameCount;
            const auto take = static_cast<std::uint32_t>(
                std::min<std::uint64_t>({frames - k, avail, b.frameCount - at}));
            std::memcpy(scratch + std::size_t{k} * m_frameBytes,
                        b.frames.data() + at * m_frameBytes, std::size_t{take} * m_frameBytes);
            k += take;
            pos += take;
        }
        v.buffer->consumed.store(pos, std::memory_order_release);
    }
    if (k < frames) {
        std::memset(scratch + std::size_t{k} * m_frameBytes, silence,
                    std::size_t{frames - k} * m_frameBytes);
    }
    v.pos = pos << 32;
    return more;
}

bool OutputEngine::ProduceInterpolated(Voice& v, std::uint8_t* scratch, std::uint32_t frames) {
    const SlotBuffer& b = *v.buffer;
    const bool eightBit = Is8Bit(m_layout);
    const std::uint32_t fb = m_frameBytes;
    const std::uint8_t silence = eightBit ? 0x80 : 0;
    std::uint64_t end;
    std::uint64_t have;
    if (b.streaming) {
        end = b.endFrame.load(std::memory_order_acquire);
        have = std::min(b.written.load(std::memory_order_acquire), end);
    } else {
        end = b.frameCount;
        have = end;
    }
    // Frame j of the buffer, or null for silence (past the end, not yet
    // written, or before the start).
    auto frameAt = [&](std::int64_t j) -> const std::uint8_t* {
        if (!b.streaming) {
            if (b.frameCount == 0) return nullptr;
            if (v.loop) {
                const std::int64_t n = b.frameCount;
                j %= n;
                if (j < 0) j += n;
            } else if (j < 0) {
                j = 0;
            } else if (static_cast<std::uint64_t>(j) >= b.frameCount) {
                return nullptr;
            }
            return b.frames.data() + static_cast<std::size_t>(j) * fb;
        }
        if (j < 0) j = 0;
        if (static_cast<std::uint64_t>(j) >= have) return nullptr;
        return b.frames.data() + static_cast<std::size_t>(j % b.frameCount) * fb;
    };
    std::uint32_t k = 0;
    bool more = true;
    for (; k < frames; ++k) {
        std::uint64_t idx = v.pos >> 32;
        // The common case, 16-bit samples inside a static buffer: as many
        // frames at once as keep all four neighbours inside, without a test
        // per frame.
        if (!eightBit && !b.streaming && idx >= 1 && idx + 2 < b.frameCount) {
            const std::uint64_t last = (std::uint64_t{b.frameCount - 3} << 32) | 0xFFFFFFFFu;
            const std::uint64_t run =
                std::min<std::uint64_t>((last - v.pos) / v.step + 1, frames - k);
            const auto* base = reinterpret_cast<const std::int16_t*>(b.frames.data());
            auto* out16 = reinterpret_cast<std::int16_t*>(scratch + std::size_t{k} * fb);
            if (m_channels == 2) {
                InterpolateRun16<2>(base, out16, v.pos, v.step, run);
            } else {
                InterpolateRun16<1>(base, out16, v.pos, v.step, run);
            }
            v.pos += v.step * run;
            k += static_cast<std::uint32_t>(run) - 1;
            continue;
        }
        if (idx >= end) {
            if (!b.streaming && v.loop && b.frameCount > 0) {
                v.pos -= std::uint64_t{b.frameCount} << 32;
                idx = v.pos >> 32;
            } else {
                more = false;
                break;
            }
        }
        // A streaming voice needs the next two frames before it may move on;
        // at the source's end the missing ones are silence.
        if (b.streaming && idx + 2 >= have && have < end) {
            m_underruns.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        const float t = static_cast<float>(v.pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        const auto i = static_cast<std::int64_t>(idx);
        std::uint8_t* dst = scratch + std::size_t{k} * fb;
        if (!eightBit && !b.streaming && idx >= 1 && idx + 2 < b.frameCount) {
            // The common case, 16-bit samples inside a static buffer.
            const std::uint32_t ch = m_channels;
            const auto* p1 = reinterpret_cast<const std::int16_t*>(b.frames.data()) + idx * ch;
            const std::int16_t* p0 = p1 - ch;
            const std::int16_t* p2 = p1 + ch;
            const std::int16_t* p3 = p2 + ch;
            auto* out16 = reinterpret_cast<std::int16_t*>(dst);
            for (std::uint32_t c = 0; c < ch; ++c) {
                const float y = Cubic(p0[c], p1[c], p2[c], p3[c], t);
                out16[c] = static_cast<std::int16_t>(RoundClamp16(y));
            }
            v.pos += v.step;
            continue;
        }
        const std::uint8_t* f[4];
        if (!b.streaming && idx >= 1 && idx + 2 < b.frameCount) {
            // Inside a static buffer (nearly always): the four neighbours
            // are plain neighbours.
            f[1] = b.frames.data() + static_cast<std::size_t>(idx) * fb;
            f[0] = f[1] - fb;
            f[2] = f[1] + fb;
            f[3] = f[2] + fb;
        } else {
            f[0] = frameAt(i - 1);
            f[1] = frameAt(i);
            f[2] = frameAt(i + 1);
            f[3] = frameAt(i + 2);
        }
        for (std::uint32_t c = 0; c < m_channels; ++c) {
            float p[4];
            for (int q = 0; q < 4; ++q) {
                p[q] = f[q] ? static_cast<float>(SampleOf(f[q], eightBit, c)) : 0.0f;
            }
            StoreSample(dst, eightBit, c, RoundClamp16(Cubic(p[0], p[1], p[2], p[3], t)));
        }
        v.pos += v.step;
    }
    if (k < frames)
        std::memset(scratch + std::size_t{k} * fb, silence, std::size_t{frames - k} * fb);
    if (b.streaming) {
        // Frames before the cursor's whole frame are read; one stays for the
        // interpolation's left neighbour (the writer keeps a margin).
        v.buffer->consumed.store(v.pos >> 32, std::memory_order_release);
    }
    return more;
}

void OutputEngine::ApplyRamp(Voice& v, std::uint8_t* scratch, std::uint32_t frames) {
    const bool eightBit = Is8Bit(m_layout);
    for (std::uint32_t k = 0; k < frames; ++k) {
        int g[2];
        if (v.rampLeft > 0) {
            v.gainLeft += v.deltaLeft;
            v.gainRight += v.deltaRight;
            if (--v.rampLeft == 0) {
                v.gainLeft = std::int64_t{v.targetLeft} << 16;
                v.gainRight = std::int64_t{v.targetRight} << 16;
            }
        }
        g[0] = static_cast<int>(v.gainLeft >> 16);
        g[1] = m_channels == 2 ? static_cast<int>(v.gainRight >> 16) : g[0];
        std::uint8_t* frame = scratch + std::size_t{k} * m_frameBytes;
        for (std::uint32_t c = 0; c < m_channels; ++c) {
            if (eightBit) {
                const int s = static_cast<int>(frame[c]) - 128;
                frame[c] = static_cast<std::uint8_t>(((s * g[c]) >> 15) + 128);
            } else {
                std::int16_t s;
                std::memcpy(&s, frame + c * 2, 2);
                const auto r = static_cast<std::int16_t>((s * g[c]) >> 15);
                std::memcpy(frame + c * 2, &r, 2);
            }
        }
    }
}

}  // namespace tamboro::audio
