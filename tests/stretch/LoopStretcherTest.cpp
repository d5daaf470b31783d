// Stretching loops: the beats land on the new tempo's grid, the pitch stays,
// the length is exact, the seam stays clean, and refusals change nothing.
#include "audio/stretch/LoopStretcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "tests/support/ClickTrack.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

using tamboro::test::BarFrames;
using tamboro::test::BeatOffsets;
using tamboro::test::DominantFrequency;
using tamboro::test::kClickTone;
using tamboro::test::LeftChannel;
using tamboro::test::MakeClickTrack;

constexpr std::uint32_t kRate = 44100;

std::uint32_t FramesPerBar(double tempo) {
    return BarFrames(kRate, tempo);
}

void MakeClickBar(Wave& wave, double tempo, std::uint16_t channels, std::uint16_t bits = 16) {
    ASSERT_TRUE(MakeClickTrack(wave, kRate, tempo, channels, bits));
}

struct ClickCase {
    const char* name;
    double from;
    double to;
    std::uint16_t channels;
    std::uint16_t bits;
    double allowedMs;  // how far a click may land from its beat
};

class ClickTrack : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickTrack, BeatsLandOnTheNewGridWithThePitchKept) {
    const ClickCase& c = GetParam();
    Wave in;
    MakeClickBar(in, c.from, c.channels, c.bits);
    in.SetInfo("INAM", "clicks");
    in.SetInfo("IART", "Tamboro");
    const std::uint32_t target = FramesPerBar(c.to);
    Wave out;
    ASSERT_EQ(StretchWave(in, target, out), StretchResult::Ok);

    ASSERT_NE(out.Format(), nullptr);
    EXPECT_EQ(out.FrameCount(), static_cast<std::int32_t>(target));
    EXPECT_EQ(out.Format()->wFormatTag, kFormatPcm);
    EXPECT_EQ(out.Format()->wBitsPerSample, 16);
    EXPECT_EQ(out.Format()->nSamplesPerSec, kRate);
    EXPECT_EQ(out.Format()->nChannels, c.channels);
    ASSERT_NE(out.GetInfo("INAM"), nullptr);
    EXPECT_EQ(*out.GetInfo("INAM"), "clicks");
    ASSERT_NE(out.GetInfo("IART"), nullptr);
    EXPECT_EQ(*out.GetInfo("IART"), "Tamboro");

    const std::vector<double> left = LeftChannel(out);
    const long allowed = std::lround(kRate * c.allowedMs / 1000);
    const std::vector<long> offsets = BeatOffsets(left, kRate, c.to);
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        EXPECT_LE(std::abs(offsets[k]), allowed) << "beat " << k << " off by " << offsets[k];
    }
    // Between the first two clicks, where the tone is alone most of the time.
    const double found = DominantFrequency(left, FramesPerBar(c.to) / 32, kRate);
    EXPECT_NEAR(found, kClickTone, kClickTone * 0.01);
}

INSTANTIATE_TEST_SUITE_P(Stretch, ClickTrack,
                         // Within 2 ms wherever the stretch is moderate. Slowing a loop down a
                         // lot, or a loop with 8-bit noise, smears the 2 ms clicks a little ahead
                         // of their beat: those cases hold the bounds measured for them.
                         ::testing::Values(ClickCase{"Bar100To120Stereo16", 100, 120, 2, 16, 2.0},
                                           ClickCase{"Bar100To120Mono16", 100, 120, 1, 16, 2.0},
                                           ClickCase{"Bar90To140Stereo16", 90, 140, 2, 16, 2.0},
                                           ClickCase{"Bar120To100Stereo16", 120, 100, 2, 16, 2.0},
                                           ClickCase{"Bar100To80Stereo16", 100, 80, 2, 16, 2.0},
                                           ClickCase{"Bar100To120Mono8", 100, 120, 1, 8, 2.0},
                                           ClickCase{"Bar120To100Stereo8", 120, 100, 2, 8, 3.0},
                                           ClickCase{"Bar140To90Mono16", 140, 90, 1, 16, 7.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same measurement finds sox's `tempo` effect off the grid: the bound
// above is one a plainer stretcher fails.
TEST(ClickTrackPeer, SoxTempoMissesTheGrid) {
    if (!tamboro::test::HaveProgram("sox")) GTEST_SKIP() << "sox not installed";
    tamboro::test::TempDir dir;
    Wave in;
    MakeClickBar(in, 100, 2);
    ASSERT_EQ(SaveWave(in, dir.File("in.wav"), kTypeWav), SoundResult::Ok);
    ASSERT_EQ(tamboro::test::RunCommand("sox '" + dir.File("in.wav") + "' '" + dir.File("out.wav") +
                                        "' tempo 1.2"),
              0);
    Wave out;
    ASSERT_EQ(LoadWave(out, dir.File("out.wav"), kLoadCopy), SoundResult::Ok);
    std::vector<double> left = LeftChannel(out);
    left.resize(FramesPerBar(120));
    long worst = 0;
    for (const long offset : BeatOffsets(left, kRate, 120))
        worst = std::max(worst, std::abs(offset));
    EXPECT_GT(worst, static_cast<long>(kRate * 2 / 1000));
}

// A tone whose whole cycles fill the loop before and after the stretch
// meets itself at the seam: the step from the last frame to the first is no
// larger than the steps inside the loop.
class StretchSeam : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(StretchSeam, LoopPlayedRoundHasNoStepAtTheSeam) {
    const std::uint32_t frames = FramesPerBar(100);  // 2.4 s: 1056 whole cycles
    WAVEFORMATEX format;
    MakePcmFormat(format, kRate, 16, 1);
    Wave in;
    ASSERT_TRUE(in.Create(format, frames));
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(16000 * std::sin(2 * std::numbers::pi * kClickTone * i / kRate)));
        const auto u = static_cast<std::uint32_t>(static_cast<std::uint16_t>(v));
        in.SetFrame(static_cast<std::int32_t>(i), u | u << 16);
    }
    Wave out;
    // 880 cycles.
    ASSERT_EQ(StretchWaveWithContext(in, FramesPerBar(120), GetParam(), out), StretchResult::Ok);
    const std::vector<double> x = LeftChannel(out);
    double inside = 0;
    for (std::size_t i = 1; i < x.size(); ++i)
        inside = std::max(inside, std::abs(x[i] - x[i - 1]));
    EXPECT_LE(std::abs(x.front() - x.back()), inside * 1.05);
    // And the tone is there at the seam, not faded out.
    double edge = 0;
    for (std::size_t i = 0; i < 200; ++i)
        edge = std::max({edge, std::abs(x[i]), std::abs(x[x.size() - 1 - i])});
    EXPECT_GT(edge, 0.4);
}

// Three whole copies, the default context, and a context of one window.
INSTANTIATE_TEST_SUITE_P(Contexts, StretchSeam,
                         ::testing::Values(FramesPerBar(100), kRate* kStretchContextMs / 1000,
                                           4096u));

// The fast way (a stereo loop with equal channels stretched once, the
// stretcher left once the kept pass is out) against the plain way (every
// channel, the stretcher run to its end): the same samples.
struct PathCase {
    const char* name;
    double from;
    double to;
    std::uint16_t channels;
    std::uint16_t bits;
    bool equalChannels;  // stereo only: the right channel a copy of the left
    double bars;         // of the loop at `from`
};

class StretchPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(StretchPaths, FastWayGivesThePlainWaysSamples) {
    const PathCase& c = GetParam();
    Wave in;
    ASSERT_TRUE(MakeClickTrack(in, kRate, c.from, c.channels, c.bits, c.bars));
    if (c.channels == 2 && !c.equalChannels) {
        // A 660 Hz tone on the right only.
        for (std::int32_t i = 0; i < in.FrameCount(); ++i) {
            const std::uint32_t packed = in.GetFrame(i);
            const double right = static_cast<std::int16_t>(packed >> 16) / 32768.0 * 0.7 +
                                 0.25 * std::sin(2 * std::numbers::pi * 660.0 * i / kRate);
            const auto r = static_cast<std::uint16_t>(std::lround(right * 32767));
            in.SetFrame(i, (packed & 0xFFFF) | static_cast<std::uint32_t>(r) << 16);
        }
    }
    const auto target = static_cast<std::uint32_t>(std::lround(in.FrameCount() * c.from / c.to));
    const std::uint32_t context = kRate * kStretchContextMs / 1000;
    Wave fast;
    Wave plain;
    ASSERT_EQ(StretchWaveWithContext(in, target, context, fast, {}, StretchPath::Fast),
              StretchResult::Ok);
    ASSERT_EQ(StretchWaveWithContext(in, target, context, plain, {}, StretchPath::Plain),
              StretchResult::Ok);
    ASSERT_EQ(fast.FrameCount(), static_cast<std::int32_t>(target));
    ASSERT_EQ(plain.FrameCount(), static_cast<std::int32_t>(target));
    ASSERT_EQ(fast.DataBytes(), plain.DataBytes());
    std::int32_t firstDifference = -1;
    for (std::int32_t i = 0; i < fast.FrameCount() && firstDifference < 0; ++i) {
        if (fast.GetFrame(i) != plain.GetFrame(i)) firstDifference = i;
    }
    EXPECT_EQ(firstDifference, -1) << "of " << target << " frames";
    if (c.channels == 2 && c.equalChannels) {
        for (std::int32_t i = 0; i < fast.FrameCount(); i += 97) {
            EXPECT_EQ(fast.GetFrame(i) & 0xFFFF, fast.GetFrame(i) >> 16) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Loops, StretchPaths,
    ::testing::Values(PathCase{"StereoApart100To120", 100, 120, 2, 16, false, 1},
                      PathCase{"StereoEqual100To120", 100, 120, 2, 16, true, 1},
                      PathCase{"StereoEqual8Bit120To100", 120, 100, 2, 8, true, 1},
                      PathCase{"StereoApartSlowedToHalf", 120, 62, 2, 16, false, 1},
                      PathCase{"MonoSpedUpToNearlyTwice", 60, 118, 1, 16, false, 1},
                      PathCase{"StereoApartShorterThanTheContext", 100, 120, 2, 16, false, 0.025}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

// A vowel-like tone: harmonics of 150 Hz shaped by two formants, at 700 and
// 1200 Hz. After the stretch every harmonic keeps its level relative to the
// strongest: the same pitch and the same spectral envelope.
TEST(StretchFormants, HarmonicsKeepTheirLevels) {
    constexpr double kPitch = 150.0;
    constexpr int kHarmonics = 15;
    const auto envelope = [](double f) {
        return 0.05 + std::exp(-std::pow((f - 700) / 150, 2)) +
               0.6 * std::exp(-std::pow((f - 1200) / 200, 2));
    };
    const std::uint32_t frames = FramesPerBar(100);
    WAVEFORMATEX format;
    MakePcmFormat(format, kRate, 16, 1);
    Wave in;
    ASSERT_TRUE(in.Create(format, frames));
    double peak = 0;
    std::vector<double> x(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int k = 1; k <= kHarmonics; ++k) {
            x[i] += envelope(k * kPitch) * std::sin(2 * std::numbers::pi * k * kPitch * i / kRate);
        }
        peak = std::max(peak, std::abs(x[i]));
    }
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::uint32_t>(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::lround(x[i] / peak * 24000))));
        in.SetFrame(static_cast<std::int32_t>(i), v | v << 16);
    }
    Wave out;
    ASSERT_EQ(StretchWave(in, FramesPerBar(120), out), StretchResult::Ok);

    // Levels in dB of each harmonic below the strongest, over a
    // Hann-windowed second.
    const auto levels = [&](const Wave& wave) {
        const std::vector<double> left = LeftChannel(wave);
        std::vector<double> db(kHarmonics + 1);
        double top = 0;
        for (int k = 1; k <= kHarmonics; ++k) {
            double re = 0, im = 0;
            for (std::uint32_t i = 0; i < kRate; ++i) {
                const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (kRate - 1));
                const double phase = 2 * std::numbers::pi * k * kPitch * i / kRate;
                re += w * left[i] * std::cos(phase);
                im += w * left[i] * std::sin(phase);
            }
            db[k] = 10 * std::log10(re * re + im * im);
            top = std::max(top, db[k]);
        }
        for (double& d : db)
            d -= top;
        return db;
    };
    const std::vector<double> before = levels(in);
    const std::vector<double> after = levels(out);
    for (int k = 1; k <= kHarmonics; ++k) {
        EXPECT_NEAR(after[k], before[k], 1.5) << "harmonic " << k << " at " << k * kPitch << " Hz";
    }
}

TEST(StretchRatio, RangeAndToleranceBoundaries) {
    EXPECT_DOUBLE_EQ(StretchRatio(100, 120), 1.2);
    EXPECT_EQ(StretchRatio(0, 120), 0.0);
    EXPECT_TRUE(StretchRatioAllowed(kMinStretchRatio));
    EXPECT_TRUE(StretchRatioAllowed(kMaxStretchRatio));
    EXPECT_FALSE(StretchRatioAllowed(std::nextafter(kMinStretchRatio, 0.0)));
    EXPECT_FALSE(StretchRatioAllowed(std::nextafter(kMaxStretchRatio, 3.0)));
    EXPECT_FALSE(StretchRatioAllowed(0.0));
    EXPECT_FALSE(StretchWorthwhile(1.0));
    EXPECT_FALSE(StretchWorthwhile(1.0 + kStretchTolerance * 0.99));
    EXPECT_FALSE(StretchWorthwhile(1.0 - kStretchTolerance * 0.99));
    EXPECT_TRUE(StretchWorthwhile(1.0 + kStretchTolerance * 1.01));
    EXPECT_TRUE(StretchWorthwhile(1.0 - kStretchTolerance * 1.01));
}

TEST(StretchRefusals, RatiosOutsideTheRangeStretchNothing) {
    Wave in;
    MakeClickBar(in, 120, 2);
    const std::uint32_t frames = static_cast<std::uint32_t>(in.FrameCount());
    for (const std::uint32_t target : {frames / 2 - 1, frames * 2 + 1, 0u}) {
        Wave out;
        int calls = 0;
        EXPECT_EQ(StretchWave(in, target, out,
                              [&](int) {
                                  ++calls;
                                  return true;
                              }),
                  StretchResult::RatioOutOfRange)
            << target;
        EXPECT_EQ(out.GetState(), Wave::kEmpty);
        EXPECT_EQ(calls, 0);
    }
    // The edges of the range are stretched.
    Wave out;
    EXPECT_EQ(StretchWave(in, frames / 2, out), StretchResult::Ok);
    EXPECT_EQ(out.FrameCount(), static_cast<std::int32_t>(frames / 2));
}

TEST(StretchRefusals, NothingButPcmWithFrames) {
    Wave out;
    Wave empty;
    EXPECT_EQ(StretchWave(empty, 1000, out), StretchResult::NotPcm);
    WAVEFORMATEX adpcm;
    MakePcmFormat(adpcm, kRate, 4, 1);
    adpcm.wFormatTag = 0x11;
    std::vector<std::uint8_t> bytes(4096, 0);
    Wave compressed;
    compressed.AttachBorrowed(adpcm, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(StretchWave(compressed, 1000, out), StretchResult::NotPcm);
    EXPECT_EQ(out.GetState(), Wave::kEmpty);
}

TEST(StretchProgress, ReportsRisingPercentsAndCancels) {
    Wave in;
    MakeClickBar(in, 100, 2);
    const std::uint32_t target = FramesPerBar(120);
    std::vector<int> seen;
    Wave out;
    ASSERT_EQ(StretchWave(in, target, out,
                          [&](int percent) {
                              seen.push_back(percent);
                              return true;
                          }),
              StretchResult::Ok);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);

    // Cancelled on the second report: nothing comes out, and the earlier
    // contents of `out` are gone too.
    int calls = 0;
    EXPECT_EQ(StretchWave(in, target, out, [&](int) { return ++calls < 2; }),
              StretchResult::Cancelled);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(out.GetState(), Wave::kEmpty);
}

}  // namespace
}  // namespace tamboro::audio
