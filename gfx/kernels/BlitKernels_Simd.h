#pragma once
// The vector blit kernels, written once over the register width, and the
// pieces every vector kernel shares: the row walk and the plain per-pixel
// steps for the tails of rows (the same arithmetic as the plain kernels, so
// the tails cannot differ from them).
//
// The SSE2 and AVX2 files (BlitKernels_Sse2.cpp, BlitKernels_Avx2.cpp) each
// instantiate SimdBlitKernels<V> with a traits type V of their own unnamed
// namespace, so every function here is local to the file that uses it: the
// linker can never keep the copy built with AVX2 for the SSE2 path (the
// simd_symbols test checks the objects). V is Vec<16, Tag> or Vec<32, Tag>
// with Tag a type of the file's unnamed namespace: register type Reg of
// kBytes bytes; Load, Store (unaligned), Ones, And, AndNot (~a & b), CmpGt8
// (signed), Eq<B> and Broadcast<B> for pixel lanes of B bytes, Set8,
// Repeat8 (eight bytes in every 64-bit lane), Merge(draw, s, d) (s where
// draw is all ones, else d), and Half: the Vec half as wide for rows too
// short for one vector, or void.
#include <cstring>
#include <type_traits>

#include "gfx/kernels/BlitFlags.h"
#include "gfx/kernels/BlitKernels.h"
#include "platform/SimdVec.h"

namespace tamboro::gfx::kernels::simd {

// The operations the kernels use, on registers of kBytes bytes (16: SSE2,
// 32: AVX2).
template <int kBytes, class Tag>
struct Vec : platform::simd::VecBase<kBytes, Tag> {
    using Base = platform::simd::VecBase<kBytes, Tag>;
    using Reg = typename Base::Reg;
    static constexpr bool kWide = Base::kWide;
    // Rows between 16 and 32 bytes take one 128-bit step in the AVX2 kernels.
    using Half = std::conditional_t<kWide, Vec<16, Tag>, void>;

    static Reg Set8(std::uint32_t v) { return Broadcast<1>(v); }
    static Reg Repeat8(std::int64_t eight) {
        if constexpr (kWide)
            return _mm256_set1_epi64x(eight);
        else
            return _mm_set1_epi64x(eight);
    }
    static Reg CmpGt8(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_cmpgt_epi8(a, b);
        else
            return _mm_cmpgt_epi8(a, b);
    }
    // AVX2 has a byte blend; SSE2 merges with and/or.
    static Reg Merge(Reg draw, Reg s, Reg d) {
        if constexpr (kWide)
            return _mm256_blendv_epi8(d, s, draw);
        else
            return _mm_or_si128(_mm_and_si128(draw, s), _mm_andnot_si128(draw, d));
    }
    template <int B>
    static Reg Eq(Reg a, Reg b) {
        if constexpr (kWide && B == 1) return _mm256_cmpeq_epi8(a, b);
        if constexpr (kWide && B == 2) return _mm256_cmpeq_epi16(a, b);
        if constexpr (kWide && B == 4) return _mm256_cmpeq_epi32(a, b);
        if constexpr (!kWide && B == 1) return _mm_cmpeq_epi8(a, b);
        if constexpr (!kWide && B == 2) return _mm_cmpeq_epi16(a, b);
        if constexpr (!kWide && B == 4) return _mm_cmpeq_epi32(a, b);
    }
    // The low B bytes of `v` in every lane of B bytes.
    template <int B>
    static Reg Broadcast(std::uint32_t v) {
        std::uint32_t word = v;
        if constexpr (B == 1) word = (v & 0xFF) * 0x01010101u;
        if constexpr (B == 2) word = (v & 0xFFFF) * 0x00010001u;
        return Base::Set32(word);
    }
};

template <class V>
struct SimdBlitKernels {
    // Calls fn(d, s, m, y) for each row; the fast kernels never mirror.
    template <class RowFn>
    static void Rows(const BlitJob& j, int bytesPerPixel, RowFn fn) {
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
    static BlitKernel PickKeys(bool sk, bool dk, F f) {
        using T = std::true_type;
        using N = std::false_type;
        if (sk && dk) return f(T{}, T{});
        if (sk) return f(T{}, N{});
        if (dk) return f(N{}, T{});
        return f(N{}, N{});
    }

    // --- Plain per-pixel steps -------------------------------------------

    template <int B>
    static std::uint32_t Get(const std::uint8_t* p) {
        std::uint32_t v = 0;
        std::memcpy(&v, p, B);
        return v;
    }
    template <int B>
    static void Put(std::uint8_t* p, std::uint32_t v) {
        std::memcpy(p, &v, B);
    }

    template <int B>
    static bool Pass(const BlitJob& j, std::uint32_t s, const std::uint8_t* d, bool sk, bool dk) {
        return !(sk && s == j.srcKey) && !(dk && Get<B>(d) != j.dstKey);
    }

    static std::uint32_t Blend16(std::uint32_t s, std::uint32_t d, int a, int b, bool is565) {
        if (is565) {
            return ((((s >> 11) & 31) * a + ((d >> 11) & 31) * b) >> 5) << 11 |
                   ((((s >> 6) & 31) * a + ((d >> 6) & 31) * b) >> 5) << 6 |
                   (((s & 31) * a + (d & 31) * b) >> 5);
        }
        return ((((s >> 10) & 31) * a + ((d >> 10) & 31) * b) >> 5) << 10 |
               ((((s >> 5) & 31) * a + ((d >> 5) & 31) * b) >> 5) << 5 |
               (((s & 31) * a + (d & 31) * b) >> 5);
    }

    static void Blend32(std::uint8_t* d, const std::uint8_t* s, int a, int b) {
        for (int k = 0; k < 4; ++k)
            d[k] = static_cast<std::uint8_t>(((s[k] >> 3) * a + (d[k] >> 3) * b) >> 2);
    }

    // --- Vector kernels ----------------------------------------------------

    // Lanes to draw, from the keys.
    template <class W, int B, bool SK, bool DK>
    static typename W::Reg KeyMask(typename W::Reg s, typename W::Reg d, typename W::Reg sk,
                                   typename W::Reg dk) {
        typename W::Reg draw = W::Ones();
        if constexpr (SK) draw = W::AndNot(W::template Eq<B>(s, sk), draw);
        if constexpr (DK) draw = W::And(draw, W::template Eq<B>(d, dk));
        return draw;
    }

    // The keys broadcast into registers of W, once per blit (nothing for
    // W = void).
    template <class W, int B>
    struct Keys {
        typename W::Reg sk, dk;
        explicit Keys(const BlitJob& j)
            : sk(W::template Broadcast<B>(j.srcKey)), dk(W::template Broadcast<B>(j.dstKey)) {}
    };
    template <int B>
    struct Keys<void, B> {
        explicit Keys(const BlitJob&) {}
    };

    // One row of a keyed copy in vectors of W; false (nothing drawn) when
    // the row is narrower than one vector. The row's tail is one more vector
    // overlapping the last. Each pixel's result depends only on its source
    // and original destination, so the tail is computed first (reading
    // untouched pixels, and never reloading a vector just stored) and stored
    // last.
    template <class W, int B, bool SK, bool DK>
    static bool KeyedRow(const BlitJob& j, std::uint8_t* d, const std::uint8_t* s,
                         Keys<W, B> keys) {
        constexpr int kPer = W::kBytes / B;
        if (j.w < kPer) return false;
        auto result = [&](int x) {
            const auto sv = W::Load(s + x * B);
            const auto dv = W::Load(d + x * B);
            return W::Merge(KeyMask<W, B, SK, DK>(sv, dv, keys.sk, keys.dk), sv, dv);
        };
        const int tail = j.w - kPer;
        const auto last = result(tail);
        for (int x = 0; x < tail; x += kPer)
            W::Store(d + x * B, result(x));
        W::Store(d + tail * B, last);
        return true;
    }

    // Keyed copy at 1, 2 or 4 bytes per pixel.
    template <int B, bool SK, bool DK>
    static void Keyed(const BlitJob& j) {
        using H = typename V::Half;
        const Keys<V, B> keys(j);
        const Keys<H, B> halfKeys(j);
        Rows(j, B, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int) {
            if (KeyedRow<V, B, SK, DK>(j, d, s, keys)) return;
            if constexpr (!std::is_void_v<H>) {
                if (KeyedRow<H, B, SK, DK>(j, d, s, halfKeys)) return;
            }
            for (int x = 0; x < j.w; ++x) {
                const std::uint32_t v = Get<B>(s + x * B);
                if (Pass<B>(j, v, d + x * B, SK, DK)) Put<B>(d + x * B, v);
            }
        });
    }

    // 8-bit dissolve: the dither row for the destination x is read as eight
    // bytes and repeated; it stays aligned because each step covers a
    // multiple of 8 pixels.
    template <bool SK, bool DK>
    static void Dissolve8(const BlitJob& j) {
        constexpr int kPer = V::kBytes;
        const int t = j.level >> 2;
        const auto tv = V::Set8(static_cast<std::uint32_t>(t));
        const auto sk = V::template Broadcast<1>(j.srcKey);
        const auto dk = V::template Broadcast<1>(j.dstKey);
        Rows(j, 1, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int y) {
            const std::uint8_t* row = kDither[y & 7];
            auto pattern = [&](int x) {
                std::int64_t eight;
                std::memcpy(&eight, row + ((j.dx + x) & 7), 8);
                return V::AndNot(V::CmpGt8(V::Repeat8(eight), tv), V::Ones());
            };
            auto result = [&](int x, typename V::Reg pass) {
                const auto sv = V::Load(s + x);
                const auto dv = V::Load(d + x);
                const auto draw = V::And(pass, KeyMask<V, 1, SK, DK>(sv, dv, sk, dk));
                return V::Merge(draw, sv, dv);
            };
            if (j.w >= kPer) {
                // Overlapping tail computed first and stored last, as in Keyed.
                const int tail = j.w - kPer;
                const auto last = result(tail, pattern(tail));
                const auto pass = pattern(0);
                for (int x = 0; x < tail; x += kPer)
                    V::Store(d + x, result(x, pass));
                V::Store(d + tail, last);
                return;
            }
            for (int x = 0; x < j.w; ++x) {
                if (t < row[(j.dx + x) & 7]) continue;
                if (Pass<1>(j, s[x], d + x, SK, DK)) d[x] = s[x];
            }
        });
    }

    // The kernels written here for `bytesPerPixel` and `op`; null for the
    // others.
    static BlitKernel Pick(int bytesPerPixel, Op op, std::uint32_t flags) {
        if (flags & blit::kMirror) return nullptr;
        const bool sk = flags & blit::kSourceKey;
        const bool dk = flags & blit::kDestKey;
        if (op == Op::Keyed && bytesPerPixel == 1)
            return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<1, a.value, b.value>; });
        if (op == Op::Keyed && bytesPerPixel == 2)
            return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<2, a.value, b.value>; });
        if (op == Op::Keyed && bytesPerPixel == 4)
            return PickKeys(sk, dk, [](auto a, auto b) { return &Keyed<4, a.value, b.value>; });
        if (op == Op::Dissolve && bytesPerPixel == 1)
            return PickKeys(sk, dk, [](auto a, auto b) { return &Dissolve8<a.value, b.value>; });
        return nullptr;
    }
};

}  // namespace tamboro::gfx::kernels::simd
