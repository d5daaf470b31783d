// AVX2 twins of the plain mixing kernels (MixKernels_Scalar.cpp); same bytes
// for every input. Built with -mavx2; only called when the processor has it.
#include "audio/MixKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace tamboro::audio {

#if defined(__AVX2__)

namespace {

// (s x G) >> 15 per 16-bit lane, exactly: with p = s x G as 32 bits,
// hi = p >> 16 and lo = p & 0xFFFF, p >> 15 = (hi << 1) | (lo >> 15); the
// result fits 16 bits because G <= 32767.
inline __m256i Scale(__m256i s, __m256i gains) {
    const __m256i lo = _mm256_mullo_epi16(s, gains);
    const __m256i hi = _mm256_mulhi_epi16(s, gains);
    return _mm256_or_si256(_mm256_slli_epi16(hi, 1), _mm256_srli_epi16(lo, 15));
}

inline __m256i Gains(int gainEven, int gainOdd) {
    const auto e = static_cast<short>(gainEven);
    const auto o = static_cast<short>(gainOdd);
    return _mm256_set_epi16(o, e, o, e, o, e, o, e, o, e, o, e, o, e, o, e);
}

}  // namespace

void Accumulate16_Avx2(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                       int gainEven, int gainOdd) {
    std::size_t i = 0;
    if (IsFullGain(gainEven, gainOdd)) {
        for (; i + 32 <= samples; i += 32) {
            const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
            const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 16));
            __m256i* d = reinterpret_cast<__m256i*>(dest + i);
            _mm256_storeu_si256(d, _mm256_adds_epi16(_mm256_loadu_si256(d), s0));
            _mm256_storeu_si256(d + 1, _mm256_adds_epi16(_mm256_loadu_si256(d + 1), s1));
        }
    } else {
        const __m256i g = Gains(gainEven, gainOdd);
        for (; i + 32 <= samples; i += 32) {
            const __m256i s0 =
                Scale(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), g);
            const __m256i s1 =
                Scale(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 16)), g);
            __m256i* d = reinterpret_cast<__m256i*>(dest + i);
            _mm256_storeu_si256(d, _mm256_adds_epi16(_mm256_loadu_si256(d), s0));
            _mm256_storeu_si256(d + 1, _mm256_adds_epi16(_mm256_loadu_si256(d + 1), s1));
        }
    }
    // i is even here, so the tail keeps the left/right order.
    Accumulate16_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
}

void Accumulate8_Avx2(std::int8_t* dest, const std::uint8_t* src, std::size_t samples, int gainEven,
                      int gainOdd) {
    std::size_t i = 0;
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    const bool full = IsFullGain(gainEven, gainOdd);
    const __m256i g = Gains(gainEven, gainOdd);
    for (; i + 32 <= samples; i += 32) {
        __m256i s =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), bias);
        if (!full) {
            // Widen with sign (the byte lands in both halves, the shift keeps
            // the high copy), scale as 16-bit, narrow: results fit a byte.
            const __m256i lo = _mm256_srai_epi16(_mm256_unpacklo_epi8(s, s), 8);
            const __m256i hi = _mm256_srai_epi16(_mm256_unpackhi_epi8(s, s), 8);
            s = _mm256_packs_epi16(Scale(lo, g), Scale(hi, g));
        }
        __m256i* d = reinterpret_cast<__m256i*>(dest + i);
        _mm256_storeu_si256(d, _mm256_adds_epi8(_mm256_loadu_si256(d), s));
    }
    Accumulate8_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
}

void Flip8_Avx2(std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    for (; i + 32 <= count; i += 32) {
        __m256i* p = reinterpret_cast<__m256i*>(bytes + i);
        _mm256_storeu_si256(p, _mm256_xor_si256(_mm256_loadu_si256(p), bias));
    }
    Flip8_Scalar(bytes + i, count - i);
}

const MixKernels& Avx2MixKernels() {
    static const MixKernels kernels{Accumulate16_Avx2, Accumulate8_Avx2, Flip8_Avx2, "Avx2"};
    return kernels;
}

#else

void Accumulate16_Avx2(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                       int gainEven, int gainOdd) {
    Accumulate16_Scalar(dest, src, samples, gainEven, gainOdd);
}
void Accumulate8_Avx2(std::int8_t* dest, const std::uint8_t* src, std::size_t samples, int gainEven,
                      int gainOdd) {
    Accumulate8_Scalar(dest, src, samples, gainEven, gainOdd);
}
void Flip8_Avx2(std::uint8_t* bytes, std::size_t count) {
    Flip8_Scalar(bytes, count);
}
const MixKernels& Avx2MixKernels() {
    return PlainMixKernels();
}

#endif

}  // namespace tamboro::audio
