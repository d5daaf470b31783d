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

template <int B>
inline __m128i Eq16(__m128i a, __m128i b) {
    if constexpr (B == 1)
        return _mm_cmpeq_epi8(a, b);
    else if constexpr (B == 2)
        return _mm_cmpeq_epi16(a, b);
    else
        return _mm_cmpeq_epi32(a, b);
}

template <int B, bool SK, bool DK>
inline __m128i KeyMask16(__m128i s, __m128i d, __m128i sk, __m128i dk) {
    __m128i draw = _mm_set1_epi32(-1);
    if constexpr (SK) draw = _mm_andnot_si128(Eq16<B>(s, sk), draw);
    if constexpr (DK) draw = _mm_and_si128(draw, Eq16<B>(d, dk));
    return draw;
}

template <int B, bool SK, bool DK>
void Keyed(const BlitJob& j) {
    const __m256i sk = Broadcast<B>(j.srcKey);
    const __m256i dk = Broadcast<B>(j.dstKey);
    constexpr int kPer = 32 / B;
    const __m128i sk16 = _mm256_castsi256_si128(sk);
    const __m128i dk16 = _mm256_castsi256_si128(dk);
    Rows(j, B, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int) {
        auto result = [&](int x) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x * B));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x * B));
            return Merge(KeyMask<B, SK, DK>(sv, dv, sk, dk), sv, dv);
        };
        auto half = [&](int x) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x * B));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x * B));
            return _mm_blendv_epi8(dv, sv, KeyMask16<B, SK, DK>(sv, dv, sk16, dk16));
        };
        // A row's tail is one more vector overlapping the last. Each pixel's
        // result depends only on its source and original destination, so
        // the tail is computed first (reading untouched pixels, and never
        // reloading a vector just stored) and stored last.
        if (j.w >= kPer) {
            const int tail = j.w - kPer;
            const __m256i last = result(tail);
            for (int x = 0; x < tail; x += kPer) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x * B), result(x));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + tail * B), last);
            return;
        }
        if (j.w >= kPer / 2) {
            const __m128i first = half(0);
            const __m128i last = half(j.w - kPer / 2);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), first);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + (j.w - kPer / 2) * B), last);
            return;
        }
        for (int x = 0; x < j.w; ++x) {
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
        auto pattern = [&](int x) {
            std::int64_t eight;
            std::memcpy(&eight, row + ((j.dx + x) & 7), 8);
            const __m256i m8 = _mm256_set1_epi64x(eight);
            return _mm256_andnot_si256(_mm256_cmpgt_epi8(m8, tv), _mm256_set1_epi32(-1));
        };
        auto result = [&](int x, __m256i pass) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x));
            const __m256i draw = _mm256_and_si256(pass, KeyMask<1, SK, DK>(sv, dv, sk, dk));
            return Merge(draw, sv, dv);
        };
        if (j.w >= 32) {
            // Overlapping tail computed first and stored last, as in Keyed.
            const int tail = j.w - 32;
            const __m256i last = result(tail, pattern(tail));
            const __m256i pass = pattern(0);
            for (int x = 0; x < tail; x += 32) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), result(x, pass));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + tail), last);
            return;
        }
        for (int x = 0; x < j.w; ++x) {
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
