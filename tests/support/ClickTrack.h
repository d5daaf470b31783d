#pragma once
// A click track for the stretch tests, and the measurements they take of
// it: where the clicks land and which frequency dominates.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/wave/Wave.h"

namespace tamboro::test {

// The steady tone under the clicks.
inline constexpr double kClickTone = 440.0;

// Frames of one bar (four beats) at `rate` and `tempo`.
inline std::uint32_t BarFrames(std::uint32_t rate, double tempo) {
    return static_cast<std::uint32_t>(rate * 240.0 / tempo);
}

// `bars` bars of clicks at `tempo` over the steady tone: each click a short
// 6 kHz burst dying away within a few milliseconds, one on every beat. Left
// and right are the same, so the left channel tells everything. Returns
// false when the wave cannot be made.
inline bool MakeClickTrack(audio::Wave& wave, std::uint32_t rate, double tempo,
                           std::uint16_t channels, std::uint16_t bits = 16, double bars = 1) {
    const auto frames = static_cast<std::uint32_t>(BarFrames(rate, tempo) * bars);
    const auto beat = static_cast<std::uint32_t>(rate * 60.0 / tempo);
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, rate, bits, channels);
    if (!wave.Create(format, frames)) return false;
    for (std::uint32_t i = 0; i < frames; ++i) {
        double s = 0.25 * std::sin(2 * std::numbers::pi * kClickTone * i / rate);
        const std::uint32_t sinceClick = i % beat;
        s += 0.6 * std::exp(-static_cast<double>(sinceClick) / (0.002 * rate)) *
             std::sin(2 * std::numbers::pi * 6000.0 * sinceClick / rate);
        const auto v = static_cast<std::uint32_t>(
            static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(s * 32767.0))));
        wave.SetFrame(static_cast<std::int32_t>(i), v | v << 16);
    }
    return true;
}

// The left channel as values in -1..1.
inline std::vector<double> LeftChannel(const audio::Wave& wave) {
    std::vector<double> left(static_cast<std::size_t>(std::max(0, wave.FrameCount())));
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<std::int16_t>(wave.GetFrame(static_cast<std::int32_t>(i)) & 0xFFFF) /
                  32768.0;
    }
    return left;
}

// Where a click starts near frame `expected`, looking `reach` frames either
// side with the loop played round: the first frame whose change from the
// frame before reaches half the largest change in the window (the tone
// alone changes by less than a tenth of that). Answered as an offset from
// `expected`.
inline long ClickOffset(const std::vector<double>& x, long expected, long reach) {
    const long n = static_cast<long>(x.size());
    const auto change = [&](long at) {
        const long i = ((at % n) + n) % n;
        const long prev = (i + n - 1) % n;
        return std::abs(x[static_cast<std::size_t>(i)] - x[static_cast<std::size_t>(prev)]);
    };
    double peak = 0;
    for (long at = expected - reach; at <= expected + reach; ++at)
        peak = std::max(peak, change(at));
    for (long at = expected - reach; at <= expected + reach; ++at) {
        if (change(at) >= peak / 2) return at - expected;
    }
    return reach + 1;
}

// The offsets of the four beats of a bar at `tempo` from where they belong.
inline std::vector<long> BeatOffsets(const std::vector<double>& x, std::uint32_t rate,
                                     double tempo) {
    const double beat = rate * 60.0 / tempo;
    std::vector<long> offsets;
    for (int k = 0; k < 4; ++k) {
        offsets.push_back(ClickOffset(x, std::lround(k * beat), static_cast<long>(rate / 50)));
    }
    return offsets;
}

// The strongest frequency between 50 Hz and 2 kHz in a Hann-windowed second
// of `x` from `from`, to 0.1 Hz.
inline double DominantFrequency(const std::vector<double>& x, std::size_t from,
                                std::uint32_t rate) {
    const std::size_t n = std::min<std::size_t>(rate, x.size() - from);
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        w[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1)));
    }
    const auto power = [&](double f) {
        const double k = 2 * std::cos(2 * std::numbers::pi * f / rate);
        double s1 = 0, s2 = 0;
        for (const double v : w) {
            const double s0 = v + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        return s1 * s1 + s2 * s2 - k * s1 * s2;
    };
    double best = 50, bestPower = 0;
    for (double f = 50; f <= 2000; f += 1.0) {
        if (const double p = power(f); p > bestPower) bestPower = p, best = f;
    }
    const double coarse = best;
    for (double f = coarse - 1; f <= coarse + 1; f += 0.1) {
        if (const double p = power(f); p > bestPower) bestPower = p, best = f;
    }
    return best;
}

}  // namespace tamboro::test
