#pragma once
// The inner loops of the software mixer and the output device engine.
//
// Every kernel adds one voice into a signed accumulation block with the
// mixer's level law: each sample s of the voice becomes (s x G) >> 15
// (arithmetic shift, G = 0..32767, G of the sample's side: even sample
// positions are left, odd ones right; mono layouts pass the same G twice),
// and is added to the block with signed saturation. When both gains are
// 32767 the scaling is skipped and the sample is added unchanged, so a voice
// at full level reaches the output bit for bit.
//
// The plain kernels (_Scalar) are the reference; the SSE2 and AVX2
// families (one algorithm over two register widths, MixKernels_Simd.h) give
// exactly their bytes for every input. The table is chosen once at run time
// (platform::Cpu); platform::SetForcePlainKernels makes it plain. Kernels
// cannot fail and never allocate. Any thread.
#include <cstddef>
#include <cstdint>

namespace tamboro::audio {

inline constexpr int kFullGain = 32767;

// One voice of a multi-voice accumulation: its samples and the two gains it
// would be given to accumulate16.
struct VoiceSamples16 {
    const std::int16_t* src;
    int gainEven;
    int gainOdd;
};

struct MixKernels {
    // dest[i] = sat16(dest[i] + scale(src[i])) for `samples` 16-bit samples.
    void (*accumulate16)(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                         int gainEven, int gainOdd);
    // Exactly the same as calling accumulate16(dest, v.src, samples,
    // v.gainEven, v.gainOdd) for every v of voices[0..count) in order (every
    // voice holds `samples` samples), but dest is read and written once per
    // group of voices instead of once per voice: every sample still sees the
    // same sequence of saturating adds.
    void (*accumulate16Many)(std::int16_t* dest, const VoiceSamples16* voices, std::size_t count,
                             std::size_t samples);
    // dest (signed 8-bit) [i] = sat8(dest[i] + scale(src[i] - 128)); src holds
    // unsigned 8-bit samples (silence 0x80).
    void (*accumulate8)(std::int8_t* dest, const std::uint8_t* src, std::size_t samples,
                        int gainEven, int gainOdd);
    // bytes[i] ^= 0x80: unsigned <-> signed 8-bit samples, in place.
    void (*flip8)(std::uint8_t* bytes, std::size_t count);
    const char* name;
};

void Accumulate16_Scalar(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                         int gainEven, int gainOdd);
void Accumulate16Many_Scalar(std::int16_t* dest, const VoiceSamples16* voices, std::size_t count,
                             std::size_t samples);
void Accumulate8_Scalar(std::int8_t* dest, const std::uint8_t* src, std::size_t samples,
                        int gainEven, int gainOdd);
void Flip8_Scalar(std::uint8_t* bytes, std::size_t count);

// The three families; a family the processor or the build cannot run is
// answered by the plain one.
const MixKernels& PlainMixKernels();
const MixKernels& Sse2MixKernels();
const MixKernels& Avx2MixKernels();
// The fastest family the processor runs, unless plain kernels are forced.
// Evaluated on every call (cheap); callers keep the reference they got.
const MixKernels& SelectMixKernels();

// Whether both gains are the full gain (the scaling pass is skipped).
constexpr bool IsFullGain(int gainEven, int gainOdd) {
    return gainEven == kFullGain && gainOdd == kFullGain;
}

// The gains of an attenuation (-10000..0) and pan (-10000..+10000) by the
// mixer's law: g = 0.5^(-attenuation / 1000); a positive pan scales the left
// side by 0.5^(pan / 1000), a negative pan the right side by
// 0.5^(-pan / 1000); each gain is trunc(gain x 32767). Out-of-range values
// are clamped first.
struct StereoGains {
    int left;
    int right;
    friend bool operator==(const StereoGains&, const StereoGains&) = default;
};
StereoGains GainsOf(int attenuation, int pan);

}  // namespace tamboro::audio
