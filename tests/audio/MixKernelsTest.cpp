#include "audio/mixer/MixKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace tamboro::audio {
namespace {

struct Family {
    const char* name;
    const MixKernels& (*get)();
};

class FastKernels : public ::testing::TestWithParam<Family> {};

// Every unsigned 8-bit sample against every signed accumulator value, for the
// gains that matter (0, 1, half, full and mixed sides), at every position
// parity: the fast kernels give the plain kernel's bytes.
TEST_P(FastKernels, EightBitAccumulateMatchesPlainForEverySampleAndSum) {
    const MixKernels& fast = GetParam().get();
    const int gains[] = {0, 1, 16383, 32766, 32767};
    std::vector<std::uint8_t> src(256 * 256);
    std::vector<std::int8_t> base(256 * 256);
    for (int s = 0; s < 256; ++s) {
        for (int d = 0; d < 256; ++d) {
            src[s * 256 + d] = static_cast<std::uint8_t>(s);
            base[s * 256 + d] = static_cast<std::int8_t>(d - 128);
        }
    }
    for (int ge : gains) {
        for (int go : gains) {
            auto plain = base;
            auto simd = base;
            Accumulate8_Scalar(plain.data(), src.data(), src.size(), ge, go);
            fast.accumulate8(simd.data(), src.data(), src.size(), ge, go);
            ASSERT_EQ(plain, simd) << "gains " << ge << "/" << go;
        }
    }
}

TEST_P(FastKernels, SixteenBitAccumulateMatchesPlainOnRandomBlocks) {
    const MixKernels& fast = GetParam().get();
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> gain(0, 32767);
    const int edges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
    for (int round = 0; round < 400; ++round) {
        const std::size_t length = round % 80;  // every residue mod 16 and 32
        const std::size_t offset = (round / 80) % 5;
        std::vector<std::int16_t> src(length + offset), dst(length + offset);
        for (auto& s : src)
            s = static_cast<std::int16_t>(round % 3 ? sample(rng) : edges[rng() % 7]);
        for (auto& d : dst)
            d = static_cast<std::int16_t>(round % 2 ? sample(rng) : edges[rng() % 7]);
        int ge = round % 7 == 0 ? kFullGain : gain(rng);
        int go = round % 7 == 0 ? kFullGain : round % 5 == 0 ? kFullGain : gain(rng);
        auto plain = dst;
        auto simd = dst;
        Accumulate16_Scalar(plain.data() + offset, src.data() + offset, length, ge, go);
        fast.accumulate16(simd.data() + offset, src.data() + offset, length, ge, go);
        ASSERT_EQ(plain, simd) << "round " << round;
    }
}

// A gain drawn from the values where the fast kernels change their path:
// silence, the wrap border of the doubled gain, the full gain and one below,
// or any other value.
int PickGain(std::mt19937& rng) {
    const int edges[] = {0, 1, 16383, 16384, 32766, kFullGain, kFullGain, kFullGain};
    std::uniform_int_distribution<int> any(0, kFullGain);
    return rng() % 2 ? edges[rng() % 8] : any(rng);
}

// Many voices in one call give the bytes of the plain kernel called voice by
// voice in order: voice counts across several groups, full and scaled voices
// mixed within a group, every length parity, misaligned blocks, and loud
// voices whose running sum saturates and comes back.
TEST_P(FastKernels, ManyVoicesMatchPlainKernelCalledPerVoiceInOrder) {
    const MixKernels& fast = GetParam().get();
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> loud(20000, 32767);
    int saturated = 0;
    for (int round = 0; round < 600; ++round) {
        const std::size_t count = rng() % 26;
        const std::size_t length = rng() % 301;
        const std::size_t destOffset = rng() % 5;
        std::vector<std::vector<std::int16_t>> src(count);
        std::vector<VoiceSamples16> voices(count);
        for (std::size_t v = 0; v < count; ++v) {
            const std::size_t srcOffset = rng() % 5;
            src[v].resize(length + srcOffset);
            const bool isLoud = rng() % 2 != 0;
            for (auto& s : src[v]) {
                const int x = isLoud ? (rng() % 2 ? loud(rng) : -loud(rng)) : sample(rng);
                s = static_cast<std::int16_t>(x);
            }
            int ge = PickGain(rng);
            int go = rng() % 3 == 0 ? ge : PickGain(rng);
            if (round % 4 == 0) ge = go = kFullGain;  // whole groups at full level
            voices[v] = {src[v].data() + srcOffset, ge, go};
        }
        std::vector<std::int16_t> dst(length + destOffset);
        for (auto& d : dst)
            d = static_cast<std::int16_t>(sample(rng));
        auto plain = dst;
        auto simd = dst;
        for (const auto& v : voices)
            Accumulate16_Scalar(plain.data() + destOffset, v.src, length, v.gainEven, v.gainOdd);
        fast.accumulate16Many(simd.data() + destOffset, voices.data(), count, length);
        ASSERT_EQ(plain, simd) << "round " << round << ", " << count << " voices, " << length
                               << " samples";
        saturated += static_cast<int>(std::count_if(
            plain.begin(), plain.end(), [](int x) { return x == 32767 || x == -32768; }));
    }
    EXPECT_GT(saturated, 1000);  // the sums really did saturate
}

TEST_P(FastKernels, ManyVoicesWithNoVoicesLeaveTheBlockAlone) {
    const MixKernels& fast = GetParam().get();
    std::vector<std::int16_t> dst(70, 1234);
    fast.accumulate16Many(dst.data(), nullptr, 0, dst.size());
    EXPECT_EQ(dst, std::vector<std::int16_t>(70, 1234));
}

TEST_P(FastKernels, FlipMatchesPlainForEveryLengthAndOffset) {
    const MixKernels& fast = GetParam().get();
    std::vector<std::uint8_t> bytes(100);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37);
    for (std::size_t off = 0; off < 4; ++off) {
        for (std::size_t n = 0; n + off <= bytes.size(); ++n) {
            auto a = bytes, b = bytes;
            Flip8_Scalar(a.data() + off, n);
            fast.flip8(b.data() + off, n);
            ASSERT_EQ(a, b);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, FastKernels,
                         ::testing::Values(Family{"Sse2", &Sse2MixKernels},
                                           Family{"Avx2", &Avx2MixKernels}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MixKernels, PlainKernelScalesByTheGainAndSaturatesTheSum) {
    std::int16_t dest[4] = {0, 0, 30000, -30000};
    const std::int16_t src[4] = {1000, 1000, 30000, -30000};
    Accumulate16_Scalar(dest, src, 4, 16383, 32767);
    EXPECT_EQ(dest[0], 499);  // 1000 x 16383 >> 15
    EXPECT_EQ(dest[1], 999);  // the full gain scales too once a side is below it
    EXPECT_EQ(dest[2], 32767);
    EXPECT_EQ(dest[3], -32768);

    std::int8_t d8[2] = {122, -128};
    const std::uint8_t s8[2] = {250, 0};
    Accumulate8_Scalar(d8, s8, 2, kFullGain, kFullGain);
    EXPECT_EQ(d8[0], 127);
    EXPECT_EQ(d8[1], -128);
}

TEST(MixKernels, FullGainPassesSamplesBitForBit) {
    std::vector<std::int16_t> src(65536), dest(65536, 0);
    for (int i = 0; i < 65536; ++i)
        src[i] = static_cast<std::int16_t>(i - 32768);
    SelectMixKernels().accumulate16(dest.data(), src.data(), src.size(), kFullGain, kFullGain);
    EXPECT_EQ(dest, src);
}

TEST(MixKernels, PlainManyVoicesAddEachVoiceInOrder) {
    // Order matters once the sum saturates: 30000 + 30000 clamps to 32767,
    // then -30000 gives 2767 (not the 30000 of the exact sum). The third
    // voice is scaled on both sides (-30000 x 32767 >> 15 stays -30000).
    const std::int16_t a[2] = {30000, 100};
    const std::int16_t b[2] = {30000, 100};
    const std::int16_t c[2] = {-30000, 100};
    const VoiceSamples16 voices[3] = {
        {a, kFullGain, kFullGain}, {b, kFullGain, kFullGain}, {c, kFullGain, 16384}};
    std::int16_t dest[2] = {0, 0};
    Accumulate16Many_Scalar(dest, voices, 3, 2);
    EXPECT_EQ(dest[0], 2767);
    EXPECT_EQ(dest[1], 100 + 100 + 50);
}

TEST(MixKernels, GainsFollowTheHalvingLaw) {
    EXPECT_EQ(GainsOf(0, 0), (StereoGains{32767, 32767}));
    EXPECT_EQ(GainsOf(-1000, 0), (StereoGains{16383, 16383}));
    EXPECT_EQ(GainsOf(0, 1000), (StereoGains{16383, 32767}));
    EXPECT_EQ(GainsOf(0, -1000), (StereoGains{32767, 16383}));
    EXPECT_EQ(GainsOf(0, -10000), (StereoGains{32767, 31}));  // about 1/1024
    EXPECT_EQ(GainsOf(-10000, 0), (StereoGains{31, 31}));
    EXPECT_EQ(GainsOf(500, 20000), GainsOf(0, 10000));  // clamped
    EXPECT_EQ(GainsOf(-20000, 0), GainsOf(-10000, 0));
}

}  // namespace
}  // namespace tamboro::audio
