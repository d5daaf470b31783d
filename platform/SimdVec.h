#pragma once
// Register basics shared by the vector kernels of the mixer and the blitter,
// at two widths: 16 bytes (SSE2) and 32 bytes (AVX2). The kernels extend
// VecBase with the operations they need and write their algorithms once over
// it.
//
// Tag is a type of the unnamed namespace of the file that instantiates a
// width, so every function of that instantiation is local to the file: the
// linker can never keep a copy built with -mavx2 for the SSE2 path.
#include <immintrin.h>

#include <cstdint>

namespace tamboro::platform::simd {

template <int kBytes>
struct RegisterOf;
template <>
struct RegisterOf<16> {
    using Type = __m128i;
};
template <>
struct RegisterOf<32> {
    using Type = __m256i;
};

template <int kBytes_, class Tag>
struct VecBase {
    static_assert(kBytes_ == 16 || kBytes_ == 32);
    static constexpr int kBytes = kBytes_;
    static constexpr bool kWide = kBytes == 32;
    using Reg = typename RegisterOf<kBytes>::Type;

    // Unaligned.
    static Reg Load(const void* p) {
        if constexpr (kWide)
            return _mm256_loadu_si256(static_cast<const Reg*>(p));
        else
            return _mm_loadu_si128(static_cast<const Reg*>(p));
    }
    static void Store(void* p, Reg v) {
        if constexpr (kWide)
            _mm256_storeu_si256(static_cast<Reg*>(p), v);
        else
            _mm_storeu_si128(static_cast<Reg*>(p), v);
    }
    // `v` in every 32-bit lane.
    static Reg Set32(std::uint32_t v) {
        if constexpr (kWide)
            return _mm256_set1_epi32(static_cast<int>(v));
        else
            return _mm_set1_epi32(static_cast<int>(v));
    }
    static Reg Zero() { return Set32(0); }
    static Reg Ones() { return Set32(0xFFFFFFFFu); }
    static Reg And(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_and_si256(a, b);
        else
            return _mm_and_si128(a, b);
    }
    // ~a & b.
    static Reg AndNot(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_andnot_si256(a, b);
        else
            return _mm_andnot_si128(a, b);
    }
    static Reg Xor(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_xor_si256(a, b);
        else
            return _mm_xor_si128(a, b);
    }
};

}  // namespace tamboro::platform::simd
