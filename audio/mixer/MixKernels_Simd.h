#pragma once
// The vector mixing kernels, written once over the register width. The SSE2
// and AVX2 families (MixKernels_Sse2.cpp, MixKernels_Avx2.cpp) are this
// algorithm over Vec<16, Tag> and Vec<32, Tag>, Tag a type of the unnamed
// namespace of each file: every function below is then local to the file
// that uses it, and the linker can never keep the copy built with AVX2 for
// the SSE2 path (the simd_symbols test checks the objects). Only the
// intrinsics differ between widths; the arithmetic, the loop shapes and the
// tails are the same, and the plain kernels remain the reference.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "audio/mixer/MixKernels.h"
#include "platform/SimdVec.h"

namespace tamboro::audio::simd {

// The operations the kernels use, on registers of kBytes bytes (16: SSE2,
// 32: AVX2). Byte widening and narrowing work within each 128-bit lane at
// both widths, so the bytes come back in their places.
// The operations the kernels use, on registers of kBytes bytes (16: SSE2,
// 32: AVX2). Byte widening and narrowing work within each 128-bit lane at
// both widths, so the bytes come back in their places.
template <int kBytes, class Tag>
struct Vec : platform::simd::VecBase<kBytes, Tag> {
    using Base = platform::simd::VecBase<kBytes, Tag>;
    using Reg = typename Base::Reg;
    static constexpr bool kWide = Base::kWide;
    static constexpr std::size_t kLanes16 = kBytes / 2;

    // A load the compiler keeps in a register instead of folding it into
    // two instructions as a memory operand.
    static Reg LoadPinned(const void* p) {
        Reg v = Base::Load(p);
        __asm__("" : "+x"(v));
        return v;
    }
    static Reg Set16(short v) { return Base::Set32(static_cast<std::uint16_t>(v) * 0x10001u); }
    // `even` in the even 16-bit lanes, `odd` in the odd ones.
    static Reg Set16Pairs(short even, short odd) {
        return Base::Set32(static_cast<std::uint32_t>(static_cast<std::uint16_t>(odd)) << 16 |
                           static_cast<std::uint16_t>(even));
    }
    static Reg Set8(char v) { return Base::Set32(static_cast<std::uint8_t>(v) * 0x01010101u); }
    static Reg Add16(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_add_epi16(a, b);
        else
            return _mm_add_epi16(a, b);
    }
    static Reg AddSat16(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_adds_epi16(a, b);
        else
            return _mm_adds_epi16(a, b);
    }
    static Reg AddSat8(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_adds_epi8(a, b);
        else
            return _mm_adds_epi8(a, b);
    }
    static Reg MulHi16(Reg a, Reg b) {
        if constexpr (kWide)
            return _mm256_mulhi_epi16(a, b);
        else
            return _mm_mulhi_epi16(a, b);
    }
    // The low (high) eight bytes of each 128-bit lane as signed 16-bit
    // values: the byte lands in both halves, the shift keeps the high copy.
    static Reg Widen8Lo(Reg v) {
        if constexpr (kWide)
            return _mm256_srai_epi16(_mm256_unpacklo_epi8(v, v), 8);
        else
            return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
    }
    static Reg Widen8Hi(Reg v) {
        if constexpr (kWide)
            return _mm256_srai_epi16(_mm256_unpackhi_epi8(v, v), 8);
        else
            return _mm_srai_epi16(_mm_unpackhi_epi8(v, v), 8);
    }
    // Saturating pack: the inverse placement of the widening.
    static Reg Narrow16(Reg lo, Reg hi) {
        if constexpr (kWide)
            return _mm256_packs_epi16(lo, hi);
        else
            return _mm_packs_epi16(lo, hi);
    }
};

template <class V>
struct SimdMixKernels {
    using Reg = typename V::Reg;
    static constexpr std::size_t kLanes = V::kLanes16;

    // (s x G) >> 15 per 16-bit lane, exactly, with one signed multiply. Let
    // G2 = 2G taken as a signed 16-bit value: for G < 16384 it is 2G and
    // mulhi(s, G2) = floor(2sG / 65536) = floor(sG / 32768) already; for
    // G >= 16384 it wraps to 2G - 65536 and mulhi(s, G2) = floor(2sG / 65536)
    // - s, so s is added back in those lanes. The result fits 16 bits, so the
    // wrapping add is exact.
    struct Gain {
        Reg doubled;  // G2 per lane
        Reg wrapped;  // all ones in lanes whose G2 wrapped
    };

    static Reg Scale(Reg s, const Gain& g) {
        return V::Add16(V::MulHi16(s, g.doubled), V::And(s, g.wrapped));
    }

    static bool Full(int gainEven, int gainOdd) {
        return gainEven == kFullGain && gainOdd == kFullGain;
    }

    static Gain Gains(int gainEven, int gainOdd) {
        const auto e = static_cast<short>(static_cast<std::uint16_t>(2 * gainEven));
        const auto o = static_cast<short>(static_cast<std::uint16_t>(2 * gainOdd));
        const short me = gainEven >= 16384 ? -1 : 0;
        const short mo = gainOdd >= 16384 ? -1 : 0;
        return {V::Set16Pairs(e, o), V::Set16Pairs(me, mo)};
    }

    // The gains of a voice for the multi-voice kernel: a voice at full level
    // gets G2 = 0 and all lanes wrapped, so Scale gives mulhi(s, 0) + s = s,
    // the sample unchanged, on the same path as every other voice.
    static Gain GainsOrFull(int gainEven, int gainOdd) {
        if (Full(gainEven, gainOdd)) return {V::Zero(), V::Set16(-1)};
        return Gains(gainEven, gainOdd);
    }

    // The multi-voice kernel works on blocks of kBlock vectors of dest and
    // takes up to kMaxGroup voices per pass: the gains of four voices, the
    // block and the temporaries fit the sixteen registers.
    static constexpr std::size_t kBlock = 2;
    static constexpr std::size_t kBlockSamples = kBlock * kLanes;
    static constexpr std::size_t kMaxGroup = 4;

    // acc[b] = sat16(acc[b] + scale(src block b)) for the kBlock vectors.
    // LoadPinned keeps the compiler from folding the load into both the
    // multiply and the mask as two memory operands: loads, not arithmetic,
    // would then limit the loop.
    static void AddVoice(Reg* acc, const std::int16_t* src, const Gain& g) {
#pragma GCC unroll 8
        for (std::size_t b = 0; b < kBlock; ++b)
            acc[b] = V::AddSat16(acc[b], Scale(V::LoadPinned(src + kLanes * b), g));
    }

    // The voices I... added into dest[0, samples) rounded down to whole
    // blocks; dest is loaded and stored once per block, the voices added in
    // order with saturation, so every sample sees the adds of the per-voice
    // kernel. Returns the samples done (even, so the rest keeps the
    // left/right order).
    template <std::size_t... I>
    static std::size_t GroupOf(std::int16_t* dest, const VoiceSamples16* voices,
                               std::size_t samples, std::index_sequence<I...>) {
        const Gain g[] = {GainsOrFull(voices[I].gainEven, voices[I].gainOdd)...};
        const std::int16_t* const src[] = {voices[I].src...};
        std::size_t i = 0;
        for (; i + kBlockSamples <= samples; i += kBlockSamples) {
            Reg acc[kBlock];
#pragma GCC unroll 8
            for (std::size_t b = 0; b < kBlock; ++b)
                acc[b] = V::Load(dest + i + kLanes * b);
            (AddVoice(acc, src[I] + i, g[I]), ...);
#pragma GCC unroll 8
            for (std::size_t b = 0; b < kBlock; ++b)
                V::Store(dest + i + kLanes * b, acc[b]);
        }
        return i;
    }

    template <std::size_t kGroup>
    static std::size_t Group(std::int16_t* dest, const VoiceSamples16* voices,
                             std::size_t samples) {
        return GroupOf(dest, voices, samples, std::make_index_sequence<kGroup>());
    }

    static void Accumulate16Many(std::int16_t* dest, const VoiceSamples16* voices,
                                 std::size_t count, std::size_t samples) {
        using GroupKernel = std::size_t (*)(std::int16_t*, const VoiceSamples16*, std::size_t);
        static constexpr GroupKernel kGroups[kMaxGroup] = {&Group<1>, &Group<2>, &Group<3>,
                                                           &Group<4>};
        std::size_t done = 0;
        for (std::size_t v = 0; v < count; v += kMaxGroup) {
            const std::size_t n = count - v < kMaxGroup ? count - v : kMaxGroup;
            done = kGroups[n - 1](dest, voices + v, samples);
        }
        // The samples past the last whole block, voice by voice in order.
        for (std::size_t v = 0; v < count; ++v)
            Accumulate16_Scalar(dest + done, voices[v].src + done, samples - done,
                                voices[v].gainEven, voices[v].gainOdd);
    }

    static void Accumulate16(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                             int gainEven, int gainOdd) {
        std::size_t i = 0;
        if (Full(gainEven, gainOdd)) {
            for (; i + 2 * kLanes <= samples; i += 2 * kLanes) {
                const Reg s0 = V::Load(src + i);
                const Reg s1 = V::Load(src + i + kLanes);
                V::Store(dest + i, V::AddSat16(V::Load(dest + i), s0));
                V::Store(dest + i + kLanes, V::AddSat16(V::Load(dest + i + kLanes), s1));
            }
        } else {
            const Gain g = Gains(gainEven, gainOdd);
            for (; i + 2 * kLanes <= samples; i += 2 * kLanes) {
                const Reg s0 = Scale(V::LoadPinned(src + i), g);
                const Reg s1 = Scale(V::LoadPinned(src + i + kLanes), g);
                V::Store(dest + i, V::AddSat16(V::Load(dest + i), s0));
                V::Store(dest + i + kLanes, V::AddSat16(V::Load(dest + i + kLanes), s1));
            }
        }
        // i is even here, so the tail keeps the left/right order.
        Accumulate16_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
    }

    static void Accumulate8(std::int8_t* dest, const std::uint8_t* src, std::size_t samples,
                            int gainEven, int gainOdd) {
        constexpr std::size_t kBytes = 2 * kLanes;
        std::size_t i = 0;
        const Reg bias = V::Set8(static_cast<char>(0x80));
        const bool full = Full(gainEven, gainOdd);
        const Gain g = Gains(gainEven, gainOdd);
        for (; i + kBytes <= samples; i += kBytes) {
            Reg s = V::Xor(V::Load(src + i), bias);
            if (!full) {
                // Widen with sign, scale as 16-bit, narrow: results fit a
                // byte. Widening and narrowing work within each 128-bit
                // lane, so the bytes come back in their places and every
                // lane starts on a left sample.
                s = V::Narrow16(Scale(V::Widen8Lo(s), g), Scale(V::Widen8Hi(s), g));
            }
            V::Store(dest + i, V::AddSat8(V::Load(dest + i), s));
        }
        Accumulate8_Scalar(dest + i, src + i, samples - i, gainEven, gainOdd);
    }

    static void Flip8(std::uint8_t* bytes, std::size_t count) {
        constexpr std::size_t kBytes = 2 * kLanes;
        std::size_t i = 0;
        const Reg bias = V::Set8(static_cast<char>(0x80));
        for (; i + kBytes <= count; i += kBytes)
            V::Store(bytes + i, V::Xor(V::Load(bytes + i), bias));
        Flip8_Scalar(bytes + i, count - i);
    }

    static const MixKernels& Table(const char* name) {
        static const MixKernels kernels{&Accumulate16, &Accumulate16Many, &Accumulate8, &Flip8,
                                        name};
        return kernels;
    }
};

}  // namespace tamboro::audio::simd
