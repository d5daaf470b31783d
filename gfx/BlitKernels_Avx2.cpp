// AVX2 twins of the copy and dissolve kernels (32 bytes per step). The
// blitter takes them only when the processor and system report AVX2; the
// other operations fall back to the SSE2 twins.
#include "gfx/BlitKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "gfx/BlitKernels_Simd.h"

namespace tamboro::gfx::kernels {
namespace {

using namespace simd;

inline __m256i Merge(__m256i draw, __m256i s, __m256i d) {
    return _mm256_blendv_epi8(d, s, draw);
}

template <int B>
inline __m256i Eq(__m256i a, __m256i b) {
    if constexpr (B == 1)
        return _mm256_cmpeq_epi8(a, b);
    else if constexpr (B == 2)
        return _mm256_cmpeq_epi16(a, b);
    else
        return _mm256_cmpeq_epi32(a, b);
}

template <int B>
inline __m256i Broadcast(std::uint32_t v) {
    if constexpr (B == 1)
        return _mm256_set1_epi8(static_cast<char>(v));
    else if constexpr (B == 2)
        return _mm256_set1_epi16(static_cast<short>(v));
    else
        return _mm256_set1_epi32(static_cast<int>(v));
}

template <int B, bool SK, bool DK>
inline __m256i KeyMask(__m256i s, __m256i d, __m256i sk, __m256i dk) {
    __m256i draw = _mm256_set1_epi32(-1);
    if constexpr (SK) draw = _mm256_andnot_si256(Eq<B>(s, sk), draw);
    if constexpr (DK) draw = _mm256_and_si256(draw, Eq<B>(d, dk));
    return draw;
}

template <int B, bool SK, bool DK>
void Keyed(const BlitJob& j) {
    const __m256i sk = Broadcast<B>(j.srcKey);
    const __m256i dk = Broadcast<B>(j.dstKey);
    constexpr int kPer = 32 / B;
    Rows(j, B, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int) {
        int x = 0;
        for (; x + kPer <= j.w; x += kPer) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x * B));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x * B));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x * B),
                                Merge(KeyMask<B, SK, DK>(sv, dv, sk, dk), sv, dv));
        }
        for (; x < j.w; ++x) {
            const std::uint32_t v = Get<B>(s + x * B);
            if (Pass<B>(j, v, d + x * B, SK, DK)) Put<B>(d + x * B, v);
        }
    });
}

template <bool SK, bool DK>
void Dissolve8(const BlitJob& j) {
    const int t = j.level >> 2;
    const __m256i tv = _mm256_set1_epi8(static_cast<char>(t));
    const __m256i sk = Broadcast<1>(j.srcKey);
    const __m256i dk = Broadcast<1>(j.dstKey);
    Rows(j, 1, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int y) {
        const std::uint8_t* row = kDither[y & 7];
        std::int64_t eight;
        std::memcpy(&eight, row + (j.dx & 7), 8);
        const __m256i m8 = _mm256_set1_epi64x(eight);
        const __m256i pass = _mm256_andnot_si256(_mm256_cmpgt_epi8(m8, tv), _mm256_set1_epi32(-1));
        int x = 0;
        for (; x + 32 <= j.w; x += 32) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x));
            const __m256i draw = _mm256_and_si256(pass, KeyMask<1, SK, DK>(sv, dv, sk, dk));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), Merge(draw, sv, dv));
        }
        for (; x < j.w; ++x) {
            if (t < row[(j.dx + x) & 7]) continue;
            if (Pass<1>(j, s[x], d + x, SK, DK)) d[x] = s[x];
        }
    });
}

}  // namespace

BlitKernel Avx2Kernel(int bytesPerPixel, Op op, bool, std::uint32_t flags) {
    if (flags & blit::kMirror) return nullptr;
    const bool sk = flags & blit::kSourceKey;
    const bool dk = flags & blit::kDestKey;
    switch (op) {
        case Op::Keyed:
            if (bytesPerPixel == 1)
                return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<1, a.value, b.value>; });
            if (bytesPerPixel == 2)
                return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<2, a.value, b.value>; });
            if (bytesPerPixel == 4)
                return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<4, a.value, b.value>; });
            return nullptr;
        case Op::Dissolve:
            if (bytesPerPixel == 1)
                return PickKeys(sk, dk,
                                [](auto a, auto b) { return &Dissolve8<a.value, b.value>; });
            return nullptr;
        default:
            return nullptr;
    }
}

}  // namespace tamboro::gfx::kernels

#else

namespace tamboro::gfx::kernels {
BlitKernel Avx2Kernel(int, Op, bool, std::uint32_t) {
    return nullptr;
}
}  // namespace tamboro::gfx::kernels

#endif
