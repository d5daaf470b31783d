#pragma once
// Shared pieces of the SSE2 and AVX2 kernels: the row walk and the plain
// per-pixel steps used for the tails of rows (the same arithmetic as the
// plain kernels, so the tails cannot differ from them).
#include <cstring>
#include <type_traits>

#include "gfx/BlitKernels.h"
#include "gfx/Image.h"

namespace tamboro::gfx::kernels::simd {

// Calls fn(d, s, m, y) for each row; the fast kernels never mirror.
template <class RowFn>
inline void Rows(const BlitJob& j, int bytesPerPixel, RowFn fn) {
    const bool flip = (j.flags & blit::kFlip) != 0;
    const int first = flip ? j.sy + j.h - 1 : j.sy;
    const std::ptrdiff_t step = flip ? -j.srcPitch : j.srcPitch;
    const std::ptrdiff_t maskStep = flip ? -j.maskPitch : j.maskPitch;
    const std::uint8_t* s =
        j.src + first * j.srcPitch + static_cast<std::ptrdiff_t>(j.sx) * bytesPerPixel;
    const std::uint8_t* m = j.mask ? j.mask + first * j.maskPitch + j.sx : nullptr;
    std::uint8_t* d = j.dst + static_cast<std::ptrdiff_t>(j.dy) * j.dstPitch +
                      static_cast<std::ptrdiff_t>(j.dx) * bytesPerPixel;
    for (int y = 0; y < j.h; ++y) {
        fn(d, s, m, j.dy + y);
        d += j.dstPitch;
        s += step;
        if (m) m += maskStep;
    }
}

// Instantiates a kernel for the two key switches: f(bool_constant, bool_constant).
template <class F>
inline BlitKernel PickKeys(bool sk, bool dk, F f) {
    using T = std::true_type;
    using N = std::false_type;
    if (sk && dk) return f(T{}, T{});
    if (sk) return f(T{}, N{});
    if (dk) return f(N{}, T{});
    return f(N{}, N{});
}

template <int B>
inline std::uint32_t Get(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, B);
    return v;
}
template <int B>
inline void Put(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, B);
}

template <int B>
inline bool Pass(const BlitJob& j, std::uint32_t s, const std::uint8_t* d, bool sk, bool dk) {
    return !(sk && s == j.srcKey) && !(dk && Get<B>(d) != j.dstKey);
}

inline std::uint32_t Blend16(std::uint32_t s, std::uint32_t d, int a, int b, bool is565) {
    if (is565) {
        return ((((s >> 11) & 31) * a + ((d >> 11) & 31) * b) >> 5) << 11 |
               ((((s >> 6) & 31) * a + ((d >> 6) & 31) * b) >> 5) << 6 |
               (((s & 31) * a + (d & 31) * b) >> 5);
    }
    return ((((s >> 10) & 31) * a + ((d >> 10) & 31) * b) >> 5) << 10 |
           ((((s >> 5) & 31) * a + ((d >> 5) & 31) * b) >> 5) << 5 |
           (((s & 31) * a + (d & 31) * b) >> 5);
}

inline void Blend32(std::uint8_t* d, const std::uint8_t* s, int a, int b) {
    for (int k = 0; k < 4; ++k)
        d[k] = static_cast<std::uint8_t>(((s[k] >> 3) * a + (d[k] >> 3) * b) >> 2);
}

}  // namespace tamboro::gfx::kernels::simd
