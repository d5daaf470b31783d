#include "engine/LoopFitting.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/AudioSupport.h"

namespace tamboro::engine {
namespace {

using tamboro::test::Pcm;

TEST(LoopFitting, SamplesPerBarTruncates) {
    EXPECT_EQ(SamplesPerBar(44100, 120.0), 88200u);
    EXPECT_EQ(SamplesPerBar(22050, 97.0), 54556u);  // 54556.7
    EXPECT_EQ(SamplesPerBar(44100, 0.0), 0u);
    EXPECT_EQ(SamplesPerBar(44100, -5.0), 0u);
}

TEST(LoopFitting, TargetsByTheNearestBarCountWithTiesToTheShorter) {
    const std::uint32_t b = 1000;
    struct Case {
        std::uint32_t frames, fitted;
        const char* what;
    } cases[] = {
        {2000, 2000, "exactly two bars: unchanged"},
        {2001, 2000, "one frame longer: cut to two bars"},
        {3500, 4000, "three and a half bars: padded to four"},
        {3000, 2000, "three bars: tie between two and four keeps two"},
        {12000, 8000, "twelve bars: cut to eight"},
        {1, 1000, "a single frame: one bar"},
        {0, 1000, "nothing: one bar"},
        {1500, 1000, "one and a half: tie keeps one"},
        {1501, 2000, "just past the middle: two"},
        {6000, 4000, "six bars: tie between four and eight keeps four"},
        {8000, 8000, "eight bars: unchanged"},
        {100000, 8000, "very long: eight bars"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FittedFrameCount(c.frames, b), c.fitted) << c.what;
    EXPECT_EQ(FittedFrameCount(1234, 0), 1234u);
}

TEST(LoopFitting, FitWavePadsWithSilenceOrCuts) {
    for (std::uint16_t bits : {8, 16}) {
        for (std::uint16_t channels : {1, 2}) {
            audio::Wave in;
            ASSERT_EQ(in.Create(Pcm(8000, bits, channels), 10), 1);
            for (std::uint32_t i = 0; i < in.DataBytes(); ++i) {
                in.Data()[i] = static_cast<std::uint8_t>(i + 1);  // ramp: no byte is silence
            }
            in.SetInfo("INAM", "ramp");
            const std::uint32_t bpf = audio::BytesPerFrame(in.Layout());

            audio::Wave longer;
            ASSERT_EQ(FitWave(in, 16, longer), 1);
            ASSERT_EQ(longer.FrameCount(), 16);
            EXPECT_EQ(std::vector<std::uint8_t>(longer.Data(), longer.Data() + 10 * bpf),
                      std::vector<std::uint8_t>(in.Data(), in.Data() + 10 * bpf));
            const std::uint8_t silence = bits == 8 ? 0x80 : 0;
            for (std::uint32_t i = 10 * bpf; i < 16 * bpf; ++i) {
                EXPECT_EQ(longer.Data()[i], silence) << bits << " " << channels << " " << i;
            }
            ASSERT_NE(longer.GetInfo("INAM"), nullptr);
            EXPECT_EQ(*longer.GetInfo("INAM"), "ramp");

            audio::Wave shorter;
            ASSERT_EQ(FitWave(in, 4, shorter), 1);
            ASSERT_EQ(shorter.DataBytes(), 4 * bpf);
            EXPECT_EQ(std::vector<std::uint8_t>(shorter.Data(), shorter.Data() + 4 * bpf),
                      std::vector<std::uint8_t>(in.Data(), in.Data() + 4 * bpf));
        }
    }
    audio::Wave none, out;
    EXPECT_EQ(FitWave(none, 4, out), 0);
}

TEST(LoopFitting, TwentySecondRuleCountsWholeSeconds) {
    const auto f = Pcm(1000, 8, 1);  // 1000 bytes a second
    std::vector<std::uint8_t> bytes(21000);
    audio::Wave w;
    w.AttachBorrowed(f, bytes.data(), 20999);  // 20.999 s
    EXPECT_EQ(WholeSeconds(w), 20u);
    w.AttachBorrowed(f, bytes.data(), 21000);
    EXPECT_GT(WholeSeconds(w), kMaxLoopSeconds);
}

TEST(LoopFitting, FirstLoopTempoTakesTheFirstCandidateInRange) {
    const auto f = Pcm(1000, 8, 1);
    std::vector<std::uint8_t> bytes(20000);
    auto tempoFor = [&](std::uint32_t ms) {
        audio::Wave w;
        w.AttachBorrowed(f, bytes.data(), ms);
        return FirstLoopTempo(w);
    };
    EXPECT_DOUBLE_EQ(tempoFor(6000), 160.0);   // 320 no, 160 yes (upper end included)
    EXPECT_DOUBLE_EQ(tempoFor(1500), 160.0);   // only one bar fits
    EXPECT_DOUBLE_EQ(tempoFor(20000), 96.0);   // eight bars
    EXPECT_DOUBLE_EQ(tempoFor(500), 0.0);      // nothing in (80, 160]
    EXPECT_DOUBLE_EQ(tempoFor(24000), 0.0);    // 1920 / 24 = 80: lower end excluded
    EXPECT_DOUBLE_EQ(tempoFor(16000), 120.0);  // eight bars at 120
}

}  // namespace
}  // namespace tamboro::engine
