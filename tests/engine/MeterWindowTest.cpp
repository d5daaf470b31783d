// The sliding level window against a plain scan of the same frames: random
// signals, every window length from one frame up, resets in between, and the
// extreme sample values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/MeterWindow.h"

namespace tamboro::engine {
namespace {

struct Scan {
    int min[2] = {0, 0};
    int max[2] = {0, 0};
    std::uint16_t rms[2] = {0, 0};
};

// The last `window` frames of `frames` (or all of them), scanned frame by frame.
Scan ScanLast(const std::vector<std::array<int, 2>>& frames, std::size_t window) {
    Scan s;
    const std::size_t n = std::min(window, frames.size());
    if (n == 0) return s;
    for (int c = 0; c < 2; ++c) {
        int lo = 32767;
        int hi = -32768;
        double sq = 0;
        for (std::size_t k = frames.size() - n; k < frames.size(); ++k) {
            const int v = frames[k][static_cast<std::size_t>(c)];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sq += static_cast<double>(v) * v;
        }
        s.min[c] = lo;
        s.max[c] = hi;
        s.rms[c] = static_cast<std::uint16_t>(std::min(32768.0, std::sqrt(sq / n)));
    }
    return s;
}

void ExpectSame(const MeterWindow& w, const Scan& s, std::size_t added) {
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(w.Min(c), s.min[c]) << "side " << c << " after " << added;
        ASSERT_EQ(w.Max(c), s.max[c]) << "side " << c << " after " << added;
        ASSERT_EQ(w.Rms(c), s.rms[c]) << "side " << c << " after " << added;
    }
}

class MeterWindowLengths : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(MeterWindowLengths, EveryFrameMatchesAScanOfTheLastFrames) {
    const std::uint32_t length = GetParam();
    std::mt19937 random(length * 7919u + 1);
    // Runs of rising, falling and flat stretches stress the queues' drops
    // more than noise alone.
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::uniform_int_distribution<int> shape(0, 3);
    MeterWindow w;
    for (int round = 0; round < 2; ++round) {
        w.Reset(length);
        EXPECT_EQ(w.Frames(), length);
        EXPECT_EQ(w.Count(), 0u);
        ExpectSame(w, Scan{}, 0);
        std::vector<std::array<int, 2>> frames;
        const std::size_t total = std::size_t{length} * 3 + 17;
        int ramp = value(random);
        while (frames.size() < total) {
            const int kind = shape(random);
            for (int run = 0; run < 1 + static_cast<int>(random() % 40) && frames.size() < total;
                 ++run) {
                int l;
                if (kind == 0) {
                    l = value(random);
                } else if (kind == 1) {
                    l = ramp = std::min(32767, ramp + 97);
                } else if (kind == 2) {
                    l = ramp = std::max(-32768, ramp - 97);
                } else {
                    l = ramp;
                }
                const int r = (kind == 0) ? value(random) : -l / 2;
                frames.push_back({l, r});
                w.Add(l, r);
                ASSERT_EQ(w.Count(), std::min<std::size_t>(frames.size(), length));
                ExpectSame(w, ScanLast(frames, length), frames.size());
                if (HasFatalFailure()) return;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, MeterWindowLengths, ::testing::Values(1u, 2u, 3u, 64u, 2646u));

TEST(MeterWindow, HoldsTheExtremesOfSixteenBitsAndClampsBeyond) {
    MeterWindow w;
    w.Reset(4);
    w.Add(-40000, 40000);  // outside 16 bits: held at the ends
    EXPECT_EQ(w.Min(0), -32768);
    EXPECT_EQ(w.Max(1), 32767);
    EXPECT_EQ(w.Rms(0), 32768);
    for (int k = 0; k < 4; ++k)
        w.Add(0, 0);
    EXPECT_EQ(w.Min(0), 0);  // the extreme frame has left
    EXPECT_EQ(w.Max(1), 0);
    EXPECT_EQ(w.Rms(1), 0);
}

TEST(MeterWindow, LengthIsKeptWithinTheLongestWindow) {
    MeterWindow w;
    w.Reset(0);
    EXPECT_EQ(w.Frames(), 1u);
    w.Reset(MeterWindow::kMaxFrames + 1);
    EXPECT_EQ(w.Frames(), MeterWindow::kMaxFrames);
    // A full longest window keeps working around its ring.
    for (std::uint32_t k = 0; k < MeterWindow::kMaxFrames + 5; ++k)
        w.Add(static_cast<int>(k % 1000) - 500, 0);
    EXPECT_EQ(w.Count(), MeterWindow::kMaxFrames);
    EXPECT_EQ(w.Min(0), -500);
    EXPECT_EQ(w.Max(0), 499);
}

}  // namespace
}  // namespace tamboro::engine
