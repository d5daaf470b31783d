// SSE2 twins of the plain mixing kernels (MixKernels_Scalar.cpp); same bytes
// for every input. SSE2 is baseline on x86-64, so this file needs no flag.
#include "audio/MixKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamboro::audio {

#if defined(__SSE2__)

namespace {

// (s x G) >> 15 per 16-bit lane, exactly, with one multiply: with
// G2 = 2G (fits 16 bits unsigned, G <= 32767) and s read as unsigned
// u = s + 65536 [s < 0], (u x G2) >> 16 = s x G2 / 65536 + G2 [s < 0], so
// floor(s x G / 32768) = mulhi_epu16(s, G2) - (G2 & (s >> 15)). The result
// fits 16 bits.
inline __m128i Scale(__m128i s, __m128i gains2) {
    const __m128i hi = _mm_mulhi_epu16(s, gains2);
    return _mm_sub_epi16(hi, _mm_and_si128(_mm_srai_epi16(s, 15), gains2));
}

inline __m128i Gains(int gainEven, int gainOdd) {
    // Doubled for Scale; 2 x 32767 = 65534 wraps into a short as intended.
    const auto e = static_cast<short>(static_cast<std::uint16_t>(2 * gainEven));
    const auto o = static_cast<short>(static_cast<std::uint16_t>(2 * gainOdd));
    return _mm_set_epi16(o, e, o, e, o, e, o, e);
}

}  // namespace

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
        const __m128i g = Gains(gainEven, gainOdd);
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
    const __m128i g = Gains(gainEven, gainOdd);
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
    static const MixKernels kernels{Accumulate16_Sse2, Accumulate8_Sse2, Flip8_Sse2, "Sse2"};
    return kernels;
}

#else

void Accumulate16_Sse2(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                       int gainEven, int gainOdd) {
    Accumulate16_Scalar(dest, src, samples, gainEven, gainOdd);
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
