// The synthesiser's building blocks, tested by what they must do to sound:
// oscillators that do not alias, filters that pass and cut where they
// should, envelopes without steps, buses that wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "audio/wave/Wave.h"
#include "tools/synth/Bus.h"
#include "tools/synth/Dsp.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth {
namespace {

constexpr double kRate = 44100.0;
constexpr int kSize = 4096;
// 331 whole cycles in kSize frames (about 3564 Hz): every harmonic of the
// tone falls on a multiple of bin 331, while everything that folds back
// from above the Nyquist frequency lands between them (331 is prime and
// does not divide kSize), so the two can be told apart exactly and without
// a window.
constexpr int kCycles = 331;

// Energy of the spectrum outside the harmonic bins, relative to the whole.
double AliasShare(const std::vector<double>& x) {
    std::vector<std::complex<double>> twiddle(kSize);
    for (int k = 0; k < kSize; ++k)
        twiddle[static_cast<std::size_t>(k)] = std::polar(1.0, -2.0 * kPi * k / kSize);
    double harmonic = 0.0;
    double alias = 0.0;
    for (int bin = 1; bin <= kSize / 2; ++bin) {
        std::complex<double> acc = 0.0;
        for (int n = 0; n < kSize; ++n) {
            // Index reduced modulo kSize keeps the angle small and exact.
            const int k = static_cast<int>((static_cast<std::int64_t>(bin) * n) % kSize);
            acc += x[static_cast<std::size_t>(n)] * twiddle[static_cast<std::size_t>(k)];
        }
        const double e = std::norm(acc);
        (bin % kCycles == 0 ? harmonic : alias) += e;
    }
    return alias / (harmonic + alias);
}

std::vector<double> Render(int shape, bool naive) {
    Oscillator osc;
    const double hz = kRate * kCycles / kSize;
    osc.SetFrequency(hz, kRate);
    std::vector<double> x(kSize);
    double phase = 0.0;
    for (auto& v : x) {
        if (naive) {
            v = shape == 0 ? 2.0 * phase - 1.0 : (phase < 0.3 ? 1.0 : -1.0);
            phase += hz / kRate;
            if (phase >= 1.0) phase -= 1.0;
        } else {
            v = shape == 0 ? osc.Saw() : osc.Pulse(0.3);
        }
    }
    return x;
}

TEST(Oscillator, SawIsBandLimited) {
    const double naive = AliasShare(Render(0, true));
    const double blep = AliasShare(Render(0, false));
    // A plain saw at this pitch folds back about a tenth of its energy.
    EXPECT_GT(naive, 0.01);
    // The residuals take out over 95 % of it (about -27 dB left for the saw,
    // most of it folded from just above the Nyquist frequency, high up).
    EXPECT_LT(blep, naive / 20.0);
    EXPECT_LT(10.0 * std::log10(blep), -25.0);
}

TEST(Oscillator, PulseIsBandLimited) {
    const double naive = AliasShare(Render(1, true));
    const double blep = AliasShare(Render(1, false));
    EXPECT_GT(naive, 0.01);
    // The residuals take out over 95 % of it (about -27 dB left for the saw,
    // most of it folded from just above the Nyquist frequency, high up).
    EXPECT_LT(blep, naive / 20.0);
    EXPECT_LT(10.0 * std::log10(blep), -25.0);
}

TEST(Oscillator, SineHasTheRequestedPitch) {
    // 100 Hz over one second: exactly 100 rising zero crossings.
    Oscillator osc;
    osc.SetFrequency(100.0, kRate);
    int crossings = 0;
    double previous = osc.Sine();
    for (int i = 1; i <= static_cast<int>(kRate); ++i) {
        const double v = osc.Sine();
        if (previous < 0.0 && v >= 0.0) ++crossings;
        previous = v;
    }
    EXPECT_EQ(crossings, 100);
}

// Steady-state gain of a filter for a sine, in dB.
template <class Filter>
double GainDb(double hz, Filter&& filter) {
    double in = 0.0;
    double out = 0.0;
    const int n = static_cast<int>(kRate);
    for (int i = 0; i < n; ++i) {
        const double x = std::sin(2.0 * kPi * hz * i / kRate);
        const double y = filter(x);
        if (i >= n / 2) {
            in += x * x;
            out += y * y;
        }
    }
    return 10.0 * std::log10(out / in);
}

TEST(Svf, LowPassPassesBelowAndCutsAboveTheCutoff) {
    auto lowAt = [](double hz) {
        Svf f;
        f.Set(1000.0, 0.707, kRate);
        return GainDb(hz, [&](double x) { return f.Low(x); });
    };
    EXPECT_NEAR(lowAt(100.0), 0.0, 0.1);
    EXPECT_NEAR(lowAt(1000.0), -3.0, 0.3);
    // Two poles: about 12 dB per octave, so three octaves up is below -30.
    EXPECT_LT(lowAt(8000.0), -30.0);
}

TEST(Svf, ResonancePeaksAtTheCutoff) {
    Svf f;
    f.Set(500.0, 6.0, kRate);
    EXPECT_NEAR(GainDb(500.0, [&](double x) { return f.Low(x); }), 20.0 * std::log10(6.0), 0.5);
}

TEST(Svf, HighPassRemovesDc) {
    Svf f;
    f.Set(20.0, 0.707, kRate);
    double y = 0.0;
    for (int i = 0; i < static_cast<int>(kRate); ++i)
        y = f.High(1.0);
    EXPECT_LT(std::abs(y), 1e-3);
    f.Clear();
    EXPECT_NEAR(GainDb(1000.0, [&](double x) { return f.High(x); }), 0.0, 0.05);
}

TEST(Adsr, HasNoStepsAndEndsAtZero) {
    const Adsr env{0.01, 0.1, 0.6, 0.2};
    const double gate = 0.5;
    const double dt = 1.0 / kRate;
    double previous = env.At(0.0, gate);
    EXPECT_EQ(previous, 0.0);
    double largest = 0.0;
    for (double t = dt; t < env.Length(gate) + 0.1; t += dt) {
        const double v = env.At(t, gate);
        largest = std::max(largest, std::abs(v - previous));
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
        previous = v;
    }
    // The steepest move is the attack's: 1 over 441 frames.
    EXPECT_LE(largest, 1.0 / 441.0 + 1e-9);
    EXPECT_NEAR(env.At(gate - 1e-9, gate), env.At(gate + 1e-9, gate), 1e-6);
    EXPECT_NEAR(env.At(gate, gate), 0.6 + 0.4 * std::exp(-0.49 / 0.1), 1e-9);
    EXPECT_EQ(env.At(env.Length(gate), gate), 0.0);
    EXPECT_GT(env.At(env.Length(gate) - 0.01, gate), 0.0);
}

TEST(Adsr, ReleaseBeforeTheAttackEndsStartsFromTheLevelReached) {
    const Adsr env{0.1, 0.1, 0.5, 0.1};
    // Gate of 50 ms: halfway up the attack.
    EXPECT_NEAR(env.At(0.05, 0.05), 0.5, 1e-9);
    EXPECT_LT(env.At(0.06, 0.05), 0.5);
    EXPECT_NEAR(env.At(0.05 + 1e-7, 0.05), 0.5, 1e-5);
}

TEST(PercEnv, RisesFallsAndReachesZeroExactly) {
    EXPECT_EQ(PercEnv(0.0, 0.001, 0.05), 0.0);
    EXPECT_NEAR(PercEnv(0.001, 0.001, 0.05), 1.0, 1e-9);
    EXPECT_LT(PercEnv(0.051, 0.001, 0.05), 0.37);
    EXPECT_EQ(PercEnv(PercLength(0.001, 0.05), 0.001, 0.05), 0.0);
    EXPECT_GT(PercEnv(PercLength(0.001, 0.05) - 0.001, 0.001, 0.05), 0.0);
}

TEST(Rng, IsDeterminedByItsSeed) {
    Rng a(42);
    Rng b(42);
    Rng c(43);
    int same = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t x = a.Next();
        EXPECT_EQ(x, b.Next());
        same += x == c.Next();
    }
    EXPECT_EQ(same, 0);
    Rng d(7);
    double sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const double u = d.Uniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        sum += u;
    }
    EXPECT_NEAR(sum / 100000.0, 0.5, 0.01);
}

TEST(Bus, RenderWrapsAroundTheLoop) {
    Bus bus(10, kRate);
    // Ramp values: frame k of the sound holds k + 1.
    bus.Render(8, 5, [](std::int64_t i) { return std::pair{i + 1.0, -(i + 1.0)}; });
    const std::vector<float> left = {3, 4, 5, 0, 0, 0, 0, 0, 1, 2};
    EXPECT_EQ(bus.Left(), left);
    EXPECT_EQ(bus.Right()[9], -2.0f);
    // A start before the loop is taken modulo its length too.
    Bus other(10, kRate);
    other.Render(-1, 2, [](std::int64_t i) { return std::pair{i + 1.0, 0.0}; });
    EXPECT_EQ(other.Left()[9], 1.0f);
    EXPECT_EQ(other.Left()[0], 2.0f);
}

TEST(Bus, LoopedDelayEchoesComeRoundToTheStart) {
    // One impulse 10 frames before the end of a 100-frame loop through a
    // 25-frame delay with feedback 0.5: the repeats land at 15, 40, 65, 90,
    // 15 ... frames, and each position sums every pass's repeat there.
    Bus bus(100, 1000.0);
    bus.Left()[90] = 1.0f;
    StereoDelay delay(1000.0, 0.025, 0.5, 0.0, false);
    ProcessLooped(bus, 2.0, delay);
    // The steady state of a repeat every 25 frames, each half the last:
    // position 15 hears repeats 1, 5, 9, ...: 1 / (1 - 0.5^4).
    const double period = 1.0 / (1.0 - std::pow(0.5, 4));
    EXPECT_NEAR(bus.Left()[15], period, 1e-3);
    EXPECT_NEAR(bus.Left()[40], 0.5 * period, 1e-3);
    EXPECT_NEAR(bus.Left()[65], 0.25 * period, 1e-3);
    EXPECT_NEAR(bus.Left()[90], 0.125 * period, 1e-3);
    EXPECT_NEAR(bus.Left()[0], 0.0, 1e-9);
}

TEST(SignalToWave, RoundsToTheFormatsOwnSteps) {
    Bus bus(4, 22050.0);
    bus.Left() = {0.0f, 0.5f, -0.5f, 1.5f};
    bus.Right() = {0.25f, -1.0f, 1.0f, -2.0f};
    audio::Wave mono8;
    ASSERT_TRUE(SignalToWave(bus, {FileKind::Wav, 22050, 8, 1}, mono8));
    ASSERT_EQ(mono8.DataBytes(), 4u);
    // Mono takes the left side: 128 + round(127 x), clamped to full scale.
    const std::uint8_t* p = mono8.Data();
    EXPECT_EQ(p[0], 128);
    EXPECT_EQ(p[1], 128 + 64);
    EXPECT_EQ(p[2], 128 - 64);
    EXPECT_EQ(p[3], 255);
    audio::Wave stereo16;
    ASSERT_TRUE(SignalToWave(bus, {FileKind::Wav, 44100, 16, 2}, stereo16));
    ASSERT_EQ(stereo16.DataBytes(), 16u);
    auto sample = [&](int k) {
        const std::uint8_t* q = stereo16.Data() + 2 * k;
        return static_cast<std::int16_t>(q[0] | (q[1] << 8));
    };
    EXPECT_EQ(sample(0), 0);
    EXPECT_EQ(sample(1), 8192);
    EXPECT_EQ(sample(2), 16384);
    EXPECT_EQ(sample(3), -32767);
    EXPECT_EQ(sample(4), -16384);
    EXPECT_EQ(sample(5), 32767);
    EXPECT_EQ(sample(6), 32767);
    EXPECT_EQ(sample(7), -32767);
}

}  // namespace
}  // namespace tamboro::synth
