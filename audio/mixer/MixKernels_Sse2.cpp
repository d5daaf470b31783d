// SSE2 twins of the plain mixing kernels (MixKernels_Scalar.cpp); same bytes
// for every input. SSE2 is baseline on x86-64, so this file needs no flag.
#include <array>
#include <utility>

#include "audio/mixer/MixKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamboro::audio {

#if defined(__SSE2__)

namespace {

// (s x G) >> 15 per 16-bit lane, exactly, with one signed multiply. Let
// G2 = 2G taken as a signed 16-bit value: for G < 16384 it is 2G and
// mulhi(s, G2) = floor(2sG / 65536) = floor(sG / 32768) already; for
// G >= 16384 it wraps to 2G - 65536 and mulhi(s, G2) = floor(2sG / 65536) - s,
// so s is added back in those lanes. The result fits 16 bits, so the
// wrapping add is exact.
struct Gain {
    __m128i doubled;  // G2 per lane
    __m128i wrapped;  // all ones in lanes whose G2 wrapped
};

inline __m128i Scale(__m128i s, const Gain& g) {
    return _mm_add_epi16(_mm_mulhi_epi16(s, g.doubled), _mm_and_si128(s, g.wrapped));
}

inline Gain Gains(int gainEven, int gainOdd) {
    const auto e = static_cast<short>(static_cast<std::uint16_t>(2 * gainEven));
    const auto o = static_cast<short>(static_cast<std::uint16_t>(2 * gainOdd));
    const short me = gainEven >= 16384 ? -1 : 0;
    const short mo = gainOdd >= 16384 ? -1 : 0;
    return {_mm_set_epi16(o, e, o, e, o, e, o, e), _mm_set_epi16(mo, me, mo, me, mo, me, mo, me)};
}

// The gains of a voice for the multi-voice kernel: a voice at full level gets
// G2 = 0 and all lanes wrapped, so Scale gives mulhi(s, 0) + s = s, the
// sample unchanged, on the same path as every other voice.
inline Gain GainsOrFull(int gainEven, int gainOdd) {
    if (IsFullGain(gainEven, gainOdd)) return {_mm_setzero_si128(), _mm_set1_epi16(-1)};
    return Gains(gainEven, gainOdd);
}

// The multi-voice kernel works on blocks of kBlock vectors of dest and takes
// up to kMaxGroup voices per pass: the gains of four voices, the block and
// the temporaries fit the sixteen registers.
constexpr std::size_t kBlock = 2;
constexpr std::size_t kBlockSamples = kBlock * 8;
constexpr std::size_t kMaxGroup = 4;

// Loads a vector of samples into a register. The empty asm keeps the
// compiler from folding the load into both the multiply and the mask as two
// memory operands: loads, not arithmetic, would then limit the loop.
inline __m128i LoadSamples(const std::int16_t* p) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __asm__("" : "+x"(v));
    return v;
}

// acc[b] = sat16(acc[b] + scale(src block b)) for the kBlock vectors.
inline void AddVoice(__m128i* acc, const std::int16_t* src, const Gain& g) {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < kBlock; ++b)
        acc[b] = _mm_adds_epi16(acc[b], Scale(LoadSamples(src + 8 * b), g));
}

// The voices V... added into dest[0, samples) rounded down to whole blocks;
// dest is loaded and stored once per block, the voices added in order with
// saturation, so every sample sees the adds of the per-voice kernel. Returns
// the samples done (even, so the rest keeps the left/right order).
template <std::size_t... V>
std::size_t AccumulateGroupOf(std::int16_t* dest, const VoiceSamples16* voices, std::size_t samples,
                              std::index_sequence<V...>) {
    const Gain g[] = {GainsOrFull(voices[V].gainEven, voices[V].gainOdd)...};
    const std::int16_t* const src[] = {voices[V].src...};
    std::size_t i = 0;
    for (; i + kBlockSamples <= samples; i += kBlockSamples) {
        auto* d = reinterpret_cast<__m128i*>(dest + i);
        __m128i acc[kBlock];
#pragma GCC unroll 8
        for (std::size_t b = 0; b < kBlock; ++b)
            acc[b] = _mm_loadu_si128(d + b);
        (AddVoice(acc, src[V] + i, g[V]), ...);
#pragma GCC unroll 8
        for (std::size_t b = 0; b < kBlock; ++b)
            _mm_storeu_si128(d + b, acc[b]);
    }
    return i;
}

template <std::size_t kGroup>
std::size_t AccumulateGroup(std::int16_t* dest, const VoiceSamples16* voices, std::size_t samples) {
    return AccumulateGroupOf(dest, voices, samples, std::make_index_sequence<kGroup>());
}

using GroupKernel = std::size_t (*)(std::int16_t*, const VoiceSamples16*, std::size_t);

template <std::size_t... N>
constexpr std::array<GroupKernel, sizeof...(N)> GroupKernels(std::index_sequence<N...>) {
    return {&AccumulateGroup<N + 1>...};
}
constexpr auto kGroupKernels = GroupKernels(std::make_index_sequence<kMaxGroup>());

}  // namespace

void Accumulate16Many_Sse2(std::int16_t* dest, const VoiceSamples16* voices, std::size_t count,
                           std::size_t samples) {
    std::size_t done = 0;
    for (std::size_t v = 0; v < count; v += kMaxGroup) {
        const std::size_t n = count - v < kMaxGroup ? count - v : kMaxGroup;
        done = kGroupKernels[n - 1](dest, voices + v, samples);
    }
    // The samples past the last whole block, voice by voice in order.
    for (std::size_t v = 0; v < count; ++v)
        Accumulate16_Scalar(dest + done, voices[v].src + done, samples - done, voices[v].gainEven,
                            voices[v].gainOdd);
}

void Accumulate16_Sse2(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                       int gainEven, int gainOdd) {
    std::size_t i = 0;
    if (IsFullGain(gainEven, gainOdd)) {
        for (; i + 16 <= samples; i += 16) {
            const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            __m128i* d = reinterpret_cast<__m128i*>(dest + i);
            _mm_storeu_si128(d, _mm_adds_epi16(_mm_loadu_si128(d), s0));
            _mm_storeu_si128(d + 1, _mm_adds_epi16(_mm_loadu_si128(d + 1), s1));
        }
    } else {
        const Gain g = Gains(gainEven, gainOdd);
        for (; i + 16 <= samples; i += 16) {
            const __m128i s0 = Scale(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), g);
            const __m128i s1 =
                Scale(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8)), g);
            __m128i* d = reinterpret_cast<__m128i*>(dest + i);
            _mm_storeu_si128(d, _mm_adds_epi16(_mm_loadu_si128(d), s0));
            _mm_storeu_si128(d + 1, _mm_adds_epi16(_mm_loadu_si128(d + 1), s1));
        }
    }
    // i is even here, so the tail keeps the left/right order.
    Accumulate16_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
}

void Accumulate8_Sse2(std::int8_t* dest, const std::uint8_t* src, std::size_t samples, int gainEven,
                      int gainOdd) {
    std::size_t i = 0;
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const bool full = IsFullGain(gainEven, gainOdd);
    const Gain g = Gains(gainEven, gainOdd);
    for (; i + 16 <= samples; i += 16) {
        __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), bias);
        if (!full) {
            // Widen with sign (the byte lands in both halves, the shift keeps
            // the high copy), scale as 16-bit, narrow: results fit a byte.
            const __m128i lo = _mm_srai_epi16(_mm_unpacklo_epi8(s, s), 8);
            const __m128i hi = _mm_srai_epi16(_mm_unpackhi_epi8(s, s), 8);
            s = _mm_packs_epi16(Scale(lo, g), Scale(hi, g));
        }
        __m128i* d = reinterpret_cast<__m128i*>(dest + i);
        _mm_storeu_si128(d, _mm_adds_epi8(_mm_loadu_si128(d), s));
    }
    Accumulate8_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
}

void Flip8_Sse2(std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    for (; i + 16 <= count; i += 16) {
        __m128i* p = reinterpret_cast<__m128i*>(bytes + i);
        _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), bias));
    }
    Flip8_Scalar(bytes + i, count - i);
}

const MixKernels& Sse2MixKernels() {
    static const MixKernels kernels{Accumulate16_Sse2, Accumulate16Many_Sse2, Accumulate8_Sse2,
                                    Flip8_Sse2, "Sse2"};
    return kernels;
}

#else

void Accumulate16_Sse2(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                       int gainEven, int gainOdd) {
    Accumulate16_Scalar(dest, src, samples, gainEven, gainOdd);
}
void Accumulate16Many_Sse2(std::int16_t* dest, const VoiceSamples16* voices, std::size_t count,
                           std::size_t samples) {
    Accumulate16Many_Scalar(dest, voices, count, samples);
}
void Accumulate8_Sse2(std::int8_t* dest, const std::uint8_t* src, std::size_t samples, int gainEven,
                      int gainOdd) {
    Accumulate8_Scalar(dest, src, samples, gainEven, gainOdd);
}
void Flip8_Sse2(std::uint8_t* bytes, std::size_t count) {
    Flip8_Scalar(bytes, count);
}
const MixKernels& Sse2MixKernels() {
    return PlainMixKernels();
}

#endif

}  // namespace tamboro::audio
