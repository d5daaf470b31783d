// SSE2 twins of the plain kernels (x86-64 baseline). Each builds per-lane
// masks by comparison instead of branching and merges source and
// destination with them; row tails use the plain per-pixel steps. The keyed
// copy and the dissolve are the width-free kernels of BlitKernels_Simd.h;
// the blends, which have no AVX2 twin, are written here.
#include "gfx/kernels/BlitKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "gfx/kernels/BlitKernels_Simd.h"

namespace tamboro::gfx::kernels {
namespace {

struct Sse2Tag {};
using V = simd::Vec<16, Sse2Tag>;
using K = simd::SimdBlitKernels<V>;

// Blends 5-bit fields of eight 16-bit pixels: ((s × a + d × b) >> 5).
inline __m128i Field(__m128i s, __m128i d, int shift, __m128i a, __m128i b) {
    const __m128i f = _mm_set1_epi16(31);
    const __m128i sf = _mm_and_si128(_mm_srli_epi16(s, shift), f);
    const __m128i df = _mm_and_si128(_mm_srli_epi16(d, shift), f);
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(sf, a), _mm_mullo_epi16(df, b)), 5);
}

inline __m128i Blend16x8(__m128i s, __m128i d, __m128i a, __m128i b, bool is565) {
    if (is565) {
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(Field(s, d, 11, a, b), 11),
                                         _mm_slli_epi16(Field(s, d, 6, a, b), 6)),
                            Field(s, d, 0, a, b));
    }
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(Field(s, d, 10, a, b), 10),
                                     _mm_slli_epi16(Field(s, d, 5, a, b), 5)),
                        Field(s, d, 0, a, b));
}

template <bool Is565, bool SK, bool DK>
void Blend16(const BlitJob& j) {
    const int a = j.level >> 3;
    const int b = (256 - j.level) >> 3;
    const __m128i av = _mm_set1_epi16(static_cast<short>(a));
    const __m128i bv = _mm_set1_epi16(static_cast<short>(b));
    const __m128i sk = _mm_set1_epi16(static_cast<short>(j.srcKey));
    const __m128i dk = _mm_set1_epi16(static_cast<short>(j.dstKey));
    K::Rows(j, 2, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int) {
        int x = 0;
        for (; x + 8 <= j.w; x += 8) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 2 * x));
            const __m128i draw = K::KeyMask<V, 2, SK, DK>(sv, dv, sk, dk);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x),
                             V::Merge(draw, Blend16x8(sv, dv, av, bv, Is565), dv));
        }
        for (; x < j.w; ++x) {
            const std::uint32_t v = K::Get<2>(s + 2 * x);
            if (K::Pass<2>(j, v, d + 2 * x, SK, DK))
                K::Put<2>(d + 2 * x, K::Blend16(v, K::Get<2>(d + 2 * x), a, b, Is565));
        }
    });
}

template <bool Is565>
void MaskBlend16(const BlitJob& j) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    K::Rows(j, 2, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* m, int) {
        int x = 0;
        for (; x + 8 <= j.w; x += 8) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 2 * x));
            const __m128i mv =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + x)), zero);
            const __m128i av = _mm_srli_epi16(mv, 3);
            const __m128i bv = _mm_srli_epi16(_mm_sub_epi16(full, mv), 3);
            __m128i out = Blend16x8(sv, dv, av, bv, Is565);
            out = V::Merge(_mm_cmpeq_epi16(mv, full), sv, out);
            out = V::Merge(_mm_cmpeq_epi16(mv, zero), dv, out);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x), out);
        }
        for (; x < j.w; ++x) {
            const int level = m[x];
            if (level == 0) continue;
            const std::uint32_t v = K::Get<2>(s + 2 * x);
            K::Put<2>(d + 2 * x, level == 255 ? v
                                              : K::Blend16(v, K::Get<2>(d + 2 * x), level >> 3,
                                                           (255 - level) >> 3, Is565));
        }
    });
}

// Four 32-bit pixels: every byte ((s >> 3) × a + (d >> 3) × b) >> 2, with a
// and b given per 16-bit lane (two pixels per half).
inline __m128i Blend32x4(__m128i s, __m128i d, __m128i aLo, __m128i bLo, __m128i aHi, __m128i bHi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i s3 = _mm_and_si128(_mm_srli_epi16(s, 3), _mm_set1_epi8(0x1F));
    const __m128i d3 = _mm_and_si128(_mm_srli_epi16(d, 3), _mm_set1_epi8(0x1F));
    const __m128i lo =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s3, zero), aLo),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(d3, zero), bLo)),
                       2);
    const __m128i hi =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s3, zero), aHi),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(d3, zero), bHi)),
                       2);
    return _mm_packus_epi16(lo, hi);
}

template <bool SK, bool DK>
void Blend32(const BlitJob& j) {
    const int a = j.level >> 3;
    const int b = (256 - j.level) >> 3;
    const __m128i av = _mm_set1_epi16(static_cast<short>(a));
    const __m128i bv = _mm_set1_epi16(static_cast<short>(b));
    const __m128i sk = _mm_set1_epi32(static_cast<int>(j.srcKey));
    const __m128i dk = _mm_set1_epi32(static_cast<int>(j.dstKey));
    K::Rows(j, 4, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int) {
        int x = 0;
        for (; x + 4 <= j.w; x += 4) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * x));
            const __m128i draw = K::KeyMask<V, 4, SK, DK>(sv, dv, sk, dk);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x),
                             V::Merge(draw, Blend32x4(sv, dv, av, bv, av, bv), dv));
        }
        for (; x < j.w; ++x) {
            if (K::Pass<4>(j, K::Get<4>(s + 4 * x), d + 4 * x, SK, DK))
                K::Blend32(d + 4 * x, s + 4 * x, a, b);
        }
    });
}

void MaskBlend32(const BlitJob& j) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full16 = _mm_set1_epi16(255);
    const __m128i full32 = _mm_set1_epi32(255);
    K::Rows(j, 4, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* m, int) {
        int x = 0;
        for (; x + 4 <= j.w; x += 4) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * x));
            int mm;
            std::memcpy(&mm, m + x, 4);
            const __m128i m16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(mm), zero);  // m0..m3
            const __m128i m32 = _mm_unpacklo_epi16(m16, zero);
            const __m128i pairs = _mm_unpacklo_epi16(m16, m16);    // m0 m0 m1 m1 m2 m2 m3 m3
            const __m128i mLo = _mm_unpacklo_epi32(pairs, pairs);  // m0 ×4, m1 ×4
            const __m128i mHi = _mm_unpackhi_epi32(pairs, pairs);
            __m128i out = Blend32x4(
                sv, dv, _mm_srli_epi16(mLo, 3), _mm_srli_epi16(_mm_sub_epi16(full16, mLo), 3),
                _mm_srli_epi16(mHi, 3), _mm_srli_epi16(_mm_sub_epi16(full16, mHi), 3));
            out = V::Merge(_mm_cmpeq_epi32(m32, full32), sv, out);
            out = V::Merge(_mm_cmpeq_epi32(m32, zero), dv, out);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x), out);
        }
        for (; x < j.w; ++x) {
            const int level = m[x];
            if (level == 0) continue;
            if (level == 255) {
                std::memcpy(d + 4 * x, s + 4 * x, 4);
            } else {
                K::Blend32(d + 4 * x, s + 4 * x, level >> 3, (255 - level) >> 3);
            }
        }
    });
}

}  // namespace

BlitKernel Sse2Kernel(int bytesPerPixel, Op op, bool is565, std::uint32_t flags) {
    if (BlitKernel k = K::Pick(bytesPerPixel, op, flags)) return k;
    if (flags & blit::kMirror) return nullptr;
    const bool sk = flags & blit::kSourceKey;
    const bool dk = flags & blit::kDestKey;
    switch (op) {
        case Op::Blend:
            if (bytesPerPixel == 2 && is565) {
                return K::PickKeys(sk, dk,
                                   [](auto a, auto b) { return &Blend16<true, a.value, b.value>; });
            }
            if (bytesPerPixel == 2) {
                return K::PickKeys(
                    sk, dk, [](auto a, auto b) { return &Blend16<false, a.value, b.value>; });
            }
            if (bytesPerPixel == 4)
                return K::PickKeys(sk, dk,
                                   [](auto a, auto b) { return &Blend32<a.value, b.value>; });
            return nullptr;
        case Op::MaskBlend:
            if (bytesPerPixel == 2) return is565 ? &MaskBlend16<true> : &MaskBlend16<false>;
            if (bytesPerPixel == 4) return &MaskBlend32;
            return nullptr;
        default:
            return nullptr;
    }
}

}  // namespace tamboro::gfx::kernels

#else

namespace tamboro::gfx::kernels {
BlitKernel Sse2Kernel(int, Op, bool, std::uint32_t) {
    return nullptr;
}
}  // namespace tamboro::gfx::kernels

#endif
