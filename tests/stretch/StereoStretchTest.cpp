// Stereo loops: what each way of stretching two channels keeps (the beats,
// the pitch and the seam in both channels; the level of every source in each
// channel; the phase between the channels; the mono sum), and the two-thread
// run of the ways with two stretchers: the same samples as on one thread,
// progress, Cancel, and no thread left behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/stretch/LoopStretcher.h"
#include "tests/support/ClickTrack.h"

namespace tamboro::audio {
namespace {

using tamboro::test::BarFrames;
using tamboro::test::BeatOffsets;
using tamboro::test::DominantFrequency;

constexpr std::uint32_t kRate = 44100;
constexpr double kPi = std::numbers::pi;

// A frame as 16-bit sample values.
using Frame = std::pair<long, long>;

long ToSample(double v) {
    return std::lround(std::clamp(v, -1.0, 1.0) * 32767);
}

void MakeStereo(Wave& wave, std::uint32_t frames, const std::function<Frame(std::uint32_t)>& at) {
    WAVEFORMATEX format;
    MakePcmFormat(format, kRate, 16, 2);
    ASSERT_TRUE(wave.Create(format, frames));
    const auto pack = [](long v) {
        return static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    };
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto [l, r] = at(i);
        wave.SetFrame(static_cast<std::int32_t>(i), pack(l) | pack(r) << 16);
    }
}

std::vector<double> ChannelOf(const Wave& wave, int channel) {
    std::vector<double> x(static_cast<std::size_t>(std::max(0, wave.FrameCount())));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const std::uint32_t packed = wave.GetFrame(static_cast<std::int32_t>(i));
        x[i] = static_cast<std::int16_t>(channel == 0 ? packed & 0xFFFF : packed >> 16) / 32768.0;
    }
    return x;
}

// A decaying burst at `tone` Hz starting on every beat (shifted by
// `shiftBeats` of a beat) at 100 BPM.
double Click(std::uint32_t i, double tone, double shiftBeats = 0) {
    const double beat = kRate * 60.0 / 100;
    const double since = std::fmod(i + beat * (1 - shiftBeats), beat);
    return std::exp(-since / (0.002 * kRate)) * std::sin(2 * kPi * tone * since / kRate);
}

double Sine(std::uint32_t i, double frequency, double phase = 0) {
    return std::sin(2 * kPi * frequency * i / kRate + phase);
}

// The level of `frequency` over the whole of `x` (Hann window).
double ToneLevel(const std::vector<double>& x, double frequency) {
    double re = 0, im = 0;
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / (n - 1));
        re += w * x[i] * std::cos(2 * kPi * frequency * i / kRate);
        im += w * x[i] * std::sin(2 * kPi * frequency * i / kRate);
    }
    return std::sqrt(re * re + im * im);
}

double Db(double a, double b) {
    return 20 * std::log10(a / b);
}

struct Correlation {
    double coefficient;  // of the two channels, -1..1
    double monoDb;       // power of L+R against that of L and R apart
};

Correlation Correlate(const Wave& wave) {
    const std::vector<double> l = ChannelOf(wave, 0);
    const std::vector<double> r = ChannelOf(wave, 1);
    double lr = 0, ll = 0, rr = 0;
    for (std::size_t i = 0; i < l.size(); ++i) {
        lr += l[i] * r[i];
        ll += l[i] * l[i];
        rr += r[i] * r[i];
    }
    return {lr / std::sqrt(ll * rr), 10 * std::log10((ll + rr + 2 * lr) / (ll + rr))};
}

StretchSettings Settings(StereoStretch stereo, StretchThreads threads = StretchThreads::Machine) {
    StretchSettings settings;
    settings.contextFrames = kRate * kStretchContextMs / 1000;
    settings.stereo = stereo;
    settings.threads = threads;
    return settings;
}

// What a way must keep.
struct WayCase {
    const char* name;
    StereoStretch stereo;
    bool keepsLevels;  // each source's level in each channel, within 1 dB
    bool keepsPhase;   // the channels' correlation; antiphase stays antiphase
};

class StereoWays : public ::testing::TestWithParam<WayCase> {};

const std::uint32_t kBar100 = BarFrames(kRate, 100);
const std::uint32_t kBar120 = BarFrames(kRate, 120);

// Different tones and clicks in the two channels: the beats on the new grid
// and the pitch kept in both.
TEST_P(StereoWays, BeatsAndPitchOfBothChannels) {
    Wave in;
    MakeStereo(in, kBar100, [](std::uint32_t i) {
        return Frame{ToSample(0.25 * Sine(i, 440) + 0.6 * Click(i, 6000)),
                     ToSample(0.25 * Sine(i, 660) + 0.5 * Click(i, 4000))};
    });
    Wave out;
    ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(GetParam().stereo), out), StretchResult::Ok);
    ASSERT_EQ(out.FrameCount(), static_cast<std::int32_t>(kBar120));
    const double tones[] = {440, 660};
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double> x = ChannelOf(out, channel);
        for (const long offset : BeatOffsets(x, kRate, 120))
            EXPECT_LE(std::abs(offset), static_cast<long>(kRate * 2 / 1000))
                << "channel " << channel;
        EXPECT_NEAR(DominantFrequency(x, kBar120 / 32, kRate), tones[channel],
                    tones[channel] * 0.01)
            << "channel " << channel;
    }
}

// Tones with whole cycles in both lengths (2.4 s and 2 s): no step at the
// seam of either channel.
TEST_P(StereoWays, NoStepAtTheSeamOfEitherChannel) {
    Wave in;
    MakeStereo(in, kBar100, [](std::uint32_t i) {
        return Frame{ToSample(0.5 * Sine(i, 440)), ToSample(0.4 * Sine(i, 660, 1.0))};
    });
    Wave out;
    ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(GetParam().stereo), out), StretchResult::Ok);
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double> x = ChannelOf(out, channel);
        double inside = 0;
        for (std::size_t i = 1; i < x.size(); ++i)
            inside = std::max(inside, std::abs(x[i] - x[i - 1]));
        EXPECT_LE(std::abs(x.front() - x.back()), inside * 1.05) << "channel " << channel;
    }
}

// Two sources set by pan pots: a (220 Hz and clicks) mostly left, b
// (330 Hz and off-beat clicks) mostly right; then a alone hard left with b
// near the middle.
TEST_P(StereoWays, PannedSourcesKeepTheirLevelsAndThePhaseBetweenChannels) {
    struct Pan {
        double aLeft, aRight, bLeft, bRight;
    };
    for (const Pan pan : {Pan{1.0, 0.7, 0.3, 0.9}, Pan{1.0, 0.0, 0.6, 0.8}}) {
        const auto a = [](std::uint32_t i) { return 0.25 * Sine(i, 220) + 0.3 * Click(i, 6000); };
        const auto b = [](std::uint32_t i) {
            return 0.25 * Sine(i, 330) + 0.3 * Click(i, 3000, 0.5);
        };
        Wave in;
        MakeStereo(in, kBar100, [&](std::uint32_t i) {
            return Frame{ToSample(pan.aLeft * a(i) + pan.bLeft * b(i)),
                         ToSample(pan.aRight * a(i) + pan.bRight * b(i))};
        });
        Wave out;
        ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(GetParam().stereo), out),
                  StretchResult::Ok);
        const std::vector<double> inLeft = ChannelOf(in, 0);
        const std::vector<double> inRight = ChannelOf(in, 1);
        const std::vector<double> outLeft = ChannelOf(out, 0);
        const std::vector<double> outRight = ChannelOf(out, 1);
        const auto trace = ::testing::Message() << "pan " << pan.aLeft << "/" << pan.aRight << ", "
                                                << pan.bLeft << "/" << pan.bRight;
        if (GetParam().keepsLevels) {
            for (const double tone : {220.0, 330.0}) {
                const double before = Db(ToneLevel(inLeft, tone), ToneLevel(inRight, tone));
                const double after = Db(ToneLevel(outLeft, tone), ToneLevel(outRight, tone));
                // Hard left stays at least 40 dB down on the right.
                if (before > 40) {
                    EXPECT_GT(after, 40.0) << trace << ", " << tone << " Hz";
                } else {
                    EXPECT_NEAR(after, before, 1.0) << trace << ", " << tone << " Hz";
                }
            }
        }
        if (GetParam().keepsPhase) {
            EXPECT_NEAR(Correlate(out).coefficient, Correlate(in).coefficient, 0.02) << trace;
        }
    }
}

// The ways that keep the phase between the channels.
class PhaseKeepingWays : public ::testing::TestWithParam<WayCase> {};

// A source on the left and its inverse on the right: the pair stays in
// antiphase and L+R stays (nearly) silent.
TEST_P(PhaseKeepingWays, AntiphasePairStaysInAntiphase) {
    Wave in;
    MakeStereo(in, kBar100, [](std::uint32_t i) {
        const double s = 0.25 * Sine(i, 220) + 0.15 * Sine(i, 550, 0.5) + 0.3 * Click(i, 6000);
        return Frame{ToSample(s), -ToSample(s)};
    });
    Wave out;
    ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(GetParam().stereo), out), StretchResult::Ok);
    const Correlation c = Correlate(out);
    EXPECT_LT(c.coefficient, -0.999);
    EXPECT_LT(c.monoDb, -40.0);
}

// Mid and side of whole samples (L+R even): the mono sum of the mid/side
// stretch is the mid stretched alone. (Together and LeftRight are 900 and
// 2500 steps off here.)
TEST(StereoMidSide, MonoSumIsTheMidStretchedAlone) {
    const auto mid = [](std::uint32_t i) {
        return ToSample(0.2 * Sine(i, 220) + 0.1 * Sine(i, 550) + 0.25 * Click(i, 6000));
    };
    const auto side = [](std::uint32_t i) {
        return ToSample(0.15 * Sine(i, 330, 0.3) + 0.1 * Click(i, 3000, 0.5));
    };
    Wave in;
    MakeStereo(in, kBar100, [&](std::uint32_t i) {
        return Frame{mid(i) + side(i), mid(i) - side(i)};
    });
    WAVEFORMATEX monoFormat;
    MakePcmFormat(monoFormat, kRate, 16, 1);
    Wave mono;
    ASSERT_TRUE(mono.Create(monoFormat, kBar100));
    for (std::uint32_t i = 0; i < kBar100; ++i) {
        const auto m = static_cast<std::uint32_t>(static_cast<std::uint16_t>(mid(i)));
        mono.SetFrame(static_cast<std::int32_t>(i), m | m << 16);
    }
    Wave out;
    Wave monoOut;
    ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(StereoStretch::MidSide), out),
              StretchResult::Ok);
    ASSERT_EQ(StretchWaveWith(mono, kBar120, Settings(StereoStretch::MidSide), monoOut),
              StretchResult::Ok);
    const std::vector<double> l = ChannelOf(out, 0);
    const std::vector<double> r = ChannelOf(out, 1);
    const std::vector<double> m = ChannelOf(monoOut, 0);
    double worst = 0;
    for (std::size_t i = 0; i < m.size(); ++i)
        worst = std::max(worst, std::abs((l[i] + r[i]) / 2 - m[i]) * 32768);
    // Rounding each channel to 16 bits: at most one step off.
    EXPECT_LE(worst, 1.0);
}

constexpr WayCase kTogether{"Together", StereoStretch::Together, true, true};
constexpr WayCase kLeftRight{"LeftRight", StereoStretch::LeftRight, true, false};
constexpr WayCase kMidSide{"MidSide", StereoStretch::MidSide, false, true};

INSTANTIATE_TEST_SUITE_P(Ways, StereoWays, ::testing::Values(kTogether, kLeftRight, kMidSide),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Ways, PhaseKeepingWays, ::testing::Values(kTogether, kMidSide),
                         [](const auto& info) { return std::string(info.param.name); });

// The stereo loop of the tests below: clicks and a tone on the left, a
// chord on the right.
void MakeDifferentChannels(Wave& in, std::uint32_t frames) {
    MakeStereo(in, frames, [](std::uint32_t i) {
        return Frame{
            ToSample(0.25 * Sine(i, 440) + 0.5 * Click(i, 6000)),
            ToSample(0.2 * Sine(i, 523.25) + 0.2 * Sine(i, 659.26) + 0.4 * Click(i, 4000))};
    });
}

// The threads this process runs now.
int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        closedir(dir);
    }
    return count;
}

// ThreadCount once a thread has come and gone: a runtime that starts a
// helper thread of its own with the process's first thread (the thread
// sanitizer does) has it then, so what a stretch leaves is all that changes.
int ThreadCountBefore() {
    std::thread([] {}).join();
    return ThreadCount();
}

struct ThreadedCase {
    const char* name;
    StereoStretch stereo;
    double from;
    double to;
};

class TwoThreads : public ::testing::TestWithParam<ThreadedCase> {};

TEST_P(TwoThreads, GiveTheSamplesOfOneThread) {
    const ThreadedCase& c = GetParam();
    Wave in;
    MakeDifferentChannels(in, BarFrames(kRate, c.from));
    const std::uint32_t target = BarFrames(kRate, c.to);
    Wave one;
    Wave two;
    ASSERT_EQ(StretchWaveWith(in, target, Settings(c.stereo, StretchThreads::One), one),
              StretchResult::Ok);
    ASSERT_EQ(StretchWaveWith(in, target, Settings(c.stereo, StretchThreads::Machine), two),
              StretchResult::Ok);
    ASSERT_EQ(one.FrameCount(), static_cast<std::int32_t>(target));
    ASSERT_EQ(two.FrameCount(), static_cast<std::int32_t>(target));
    std::int32_t firstDifference = -1;
    for (std::int32_t i = 0; i < one.FrameCount() && firstDifference < 0; ++i) {
        if (one.GetFrame(i) != two.GetFrame(i)) firstDifference = i;
    }
    EXPECT_EQ(firstDifference, -1);
    // Not silence, and the channels differ.
    EXPECT_GT(ToneLevel(ChannelOf(two, 0), 440), 100.0);
    EXPECT_GT(ToneLevel(ChannelOf(two, 1), 659.26), 50.0);
    EXPECT_LT(ToneLevel(ChannelOf(two, 1), 440), ToneLevel(ChannelOf(two, 0), 440) / 10);
}

TEST_P(TwoThreads, ReportRisingPercentsOnTheCallingThread) {
    const ThreadedCase& c = GetParam();
    Wave in;
    MakeDifferentChannels(in, BarFrames(kRate, c.from));
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> seen;
    bool elsewhere = false;
    Wave out;
    ASSERT_EQ(StretchWaveWith(in, BarFrames(kRate, c.to), Settings(c.stereo), out,
                              [&](int percent) {
                                  elsewhere = elsewhere || std::this_thread::get_id() != caller;
                                  seen.push_back(percent);
                                  return true;
                              }),
              StretchResult::Ok);
    EXPECT_FALSE(elsewhere);
    ASSERT_GE(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
}

TEST_P(TwoThreads, CancelStopsBothAndLeavesNoThread) {
    const ThreadedCase& c = GetParam();
    Wave in;
    MakeDifferentChannels(in, BarFrames(kRate, c.from));
    const int before = ThreadCountBefore();
    // Cancelled early, half way, and as late as the stretch reports.
    for (const int at : {1, 50, 95}) {
        Wave out;
        ASSERT_TRUE(out.Create(*in.Format(), 10));
        int last = -1;
        EXPECT_EQ(StretchWaveWith(in, BarFrames(kRate, c.to), Settings(c.stereo), out,
                                  [&](int percent) {
                                      last = percent;
                                      return percent < at;
                                  }),
                  StretchResult::Cancelled)
            << "at " << at;
        EXPECT_GE(last, at);
        EXPECT_EQ(out.GetState(), Wave::kEmpty);
        EXPECT_EQ(ThreadCount(), before) << "at " << at;
    }
}

TEST_P(TwoThreads, ASlowListenerHearsTheEndOfBothAndMayCancelThere) {
    // The listener is slow, so the worker's unit ends long before this
    // thread's; the last percent (99, both done) must still be heard, and a
    // cancel there must still be obeyed.
    const ThreadedCase& c = GetParam();
    Wave in;
    MakeDifferentChannels(in, BarFrames(kRate, c.from));
    Wave out;
    int last = -1;
    EXPECT_EQ(StretchWaveWith(in, BarFrames(kRate, c.to), Settings(c.stereo), out,
                              [&](int percent) {
                                  last = percent;
                                  std::this_thread::sleep_for(std::chrono::milliseconds(4));
                                  return percent < 99;
                              }),
              StretchResult::Cancelled);
    EXPECT_EQ(last, 99);
    EXPECT_EQ(out.GetState(), Wave::kEmpty);
}

TEST_P(TwoThreads, FailureInTheProgressLeavesNoThread) {
    const ThreadedCase& c = GetParam();
    Wave in;
    MakeDifferentChannels(in, BarFrames(kRate, c.from));
    const int before = ThreadCountBefore();
    Wave out;
    const StretchResult result =
        StretchWaveWith(in, BarFrames(kRate, c.to), Settings(c.stereo), out, [](int percent) {
            if (percent >= 30) throw std::runtime_error("progress failed");
            return true;
        });
    EXPECT_NE(result, StretchResult::Ok);
    EXPECT_EQ(out.GetState(), Wave::kEmpty);
    EXPECT_EQ(ThreadCount(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, TwoThreads,
    ::testing::Values(ThreadedCase{"LeftRight", StereoStretch::LeftRight, 100, 120},
                      ThreadedCase{"LeftRightSlowed", StereoStretch::LeftRight, 120, 70},
                      ThreadedCase{"MidSideSpedUp", StereoStretch::MidSide, 70, 130}),
    [](const auto& info) { return std::string(info.param.name); });

// A stereo loop with equal channels is stretched once, whichever way is
// chosen: the same samples, equal channels.
TEST(StereoEqualChannels, StretchedOnceWhicheverWay) {
    Wave in;
    ASSERT_TRUE(tamboro::test::MakeClickTrack(in, kRate, 100, 2));
    Wave together;
    ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(StereoStretch::Together), together),
              StretchResult::Ok);
    for (const StereoStretch stereo : {StereoStretch::LeftRight, StereoStretch::MidSide}) {
        Wave out;
        ASSERT_EQ(StretchWaveWith(in, kBar120, Settings(stereo), out), StretchResult::Ok);
        ASSERT_EQ(out.DataBytes(), together.DataBytes());
        std::int32_t firstDifference = -1;
        for (std::int32_t i = 0; i < out.FrameCount() && firstDifference < 0; ++i) {
            if (out.GetFrame(i) != together.GetFrame(i)) firstDifference = i;
        }
        EXPECT_EQ(firstDifference, -1) << static_cast<int>(stereo);
    }
    for (std::int32_t i = 0; i < together.FrameCount(); i += 101)
        EXPECT_EQ(together.GetFrame(i) & 0xFFFF, together.GetFrame(i) >> 16) << i;
}

}  // namespace
}  // namespace tamboro::audio
