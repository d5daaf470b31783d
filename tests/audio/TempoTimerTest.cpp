#include "audio/timer/TempoTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tamboro::audio {
namespace {

using namespace std::chrono_literals;
using platform::EventLoop;

std::atomic<std::uint32_t> g_fakeNow{0};
std::uint32_t FakeClock() {
    return g_fakeNow.load();
}

struct Arrival {
    platform::WParam w;
    std::chrono::steady_clock::time_point at;
};

struct Receiver {
    EventLoop loop;
    std::vector<Arrival> got;
    std::unique_ptr<platform::MessageTarget> target =
        loop.CreateTarget([this](std::uint32_t, platform::WParam w, platform::LParam) {
            got.push_back({w, std::chrono::steady_clock::now()});
            return platform::LParam{0};
        });
    // Runs the loop until `n` messages arrived or `timeout` passed.
    bool WaitFor(std::size_t n, std::chrono::milliseconds timeout) {
        return loop.RunUntil([&] { return got.size() >= n; }, timeout);
    }
};

TEST(TempoTimer, ElapsedCrossesTheWrapOfTheCounter) {
    g_fakeNow = 0xFFFFFF00u;
    TempoTimer t(5, TempoTimer::kPeriodMax, &FakeClock);
    const int slot = t.AllocSlot();
    t.Restart(slot);
    g_fakeNow = 0x00000100u;
    EXPECT_EQ(t.Elapsed(slot), 512u);
}

TEST(TempoTimer, SetElapsedReadsBackAtOnce) {
    g_fakeNow = 5;  // also below the value: start wraps backwards
    TempoTimer t(5, TempoTimer::kPeriodMax, &FakeClock);
    const int slot = t.AllocSlot();
    t.SetElapsed(slot, 1500);
    EXPECT_EQ(t.Elapsed(slot), 1500u);
    g_fakeNow = 105;
    EXPECT_EQ(t.Elapsed(slot), 1600u);
}

TEST(TempoTimer, TheEleventhSlotIsRefusedAndInvalidSlotsReadZero) {
    g_fakeNow = 1000;
    TempoTimer t(5, TempoTimer::kPeriodMax, &FakeClock);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(t.AllocSlot(), i);
    EXPECT_EQ(t.AllocSlot(), -1);
    g_fakeNow = 2000;
    EXPECT_EQ(t.Elapsed(-1), 0u);
    EXPECT_EQ(t.Elapsed(10), 0u);
    t.SetElapsed(-1, 5);
    t.Restart(10);
    t.FreeSlot(99);
    EXPECT_EQ(t.Elapsed(3), 1000u);  // started at construction
    t.FreeSlot(3);
    EXPECT_EQ(t.Elapsed(3), 0u);  // a free slot reads 0
    EXPECT_EQ(t.AllocSlot(), 3);  // the lowest free one comes back
}

TEST(TempoTimer, ResolutionIsNeverBelowTheMinimum) {
    EXPECT_EQ(TempoTimer(0).Resolution(), TempoTimer::kPeriodMin);
    EXPECT_EQ(TempoTimer(5).Resolution(), 5u);
}

TEST(TempoTimer, ZeroDelayPostsAtOnceAndRecordsNothing) {
    Receiver r;
    TempoTimer t(2);
    EXPECT_EQ(t.PostAfter(r.target.get(), 1125, 7, 0, 0), 1);
    EXPECT_EQ(t.PendingCount(), 0u);
    EXPECT_EQ(r.loop.ProcessPending(), 1u);  // already queued, no waiting
    ASSERT_EQ(r.got.size(), 1u);
    EXPECT_EQ(r.got[0].w, 7u);
}

TEST(TempoTimer, PostsArriveInDueOrderNotInOrderOfRequest) {
    Receiver r;
    TempoTimer t(1);
    const auto start = std::chrono::steady_clock::now();
    t.PostAfter(r.target.get(), 1125, 30, 0, 30);
    t.PostAfter(r.target.get(), 1125, 10, 0, 10);
    t.PostAfter(r.target.get(), 1125, 20, 0, 20);
    ASSERT_TRUE(r.WaitFor(3, 2000ms));
    ASSERT_EQ(r.got.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.got[i].w, (i + 1) * 10);
        EXPECT_GE(r.got[i].at - start, std::chrono::milliseconds((i + 1) * 10));
    }
}

TEST(TempoTimer, ShortDelayIsArmedForTheResolution) {
    Receiver r;
    TempoTimer t(20);
    const auto start = std::chrono::steady_clock::now();
    t.PostAfter(r.target.get(), 1, 0, 0, 1);
    ASSERT_TRUE(r.WaitFor(1, 2000ms));
    EXPECT_GE(r.got[0].at - start, 20ms);
}

TEST(TempoTimer, CancelAllStopsEveryPendingPost) {
    Receiver r;
    TempoTimer t(1, 10);  // the 35 ms one is a chain
    t.PostAfter(r.target.get(), 1, 1, 0, 15);
    t.PostAfter(r.target.get(), 1, 2, 0, 35);
    EXPECT_EQ(t.PendingCount(), 2u);
    t.CancelAll();
    EXPECT_EQ(t.PendingCount(), 0u);
    EXPECT_FALSE(r.WaitFor(1, 80ms));
    EXPECT_TRUE(r.got.empty());
}

TEST(TempoTimer, LongDelaysAreChainedInPeriodMaxSteps) {
    Receiver r;
    TempoTimer t(1, 20);
    const std::uint64_t before = t.EventsArmed();
    const auto start = std::chrono::steady_clock::now();
    t.PostAfter(r.target.get(), 1, 5, 0, 50);  // 20 + 20 + 10
    ASSERT_TRUE(r.WaitFor(1, 2000ms));
    EXPECT_GE(r.got[0].at - start, 50ms);
    EXPECT_EQ(t.EventsArmed() - before, 3u);
    EXPECT_EQ(r.got[0].w, 5u);

    const std::uint64_t mid = t.EventsArmed();
    t.PostAfter(r.target.get(), 1, 6, 0, 40);  // exactly two periods: 20 + 20
    ASSERT_TRUE(r.WaitFor(2, 2000ms));
    EXPECT_EQ(t.EventsArmed() - mid, 2u);
}

TEST(TempoTimer, PostedRecordsAreDroppedByTheNextPostAfter) {
    Receiver r;
    TempoTimer t(1);
    t.PostAfter(r.target.get(), 1, 1, 0, 2);
    ASSERT_TRUE(r.WaitFor(1, 2000ms));
    // The timer thread marks the record posted just after posting; give a
    // preempted thread time to get there.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(t.PendingCount(), 1u);  // posted, not yet cleaned up
    t.PostAfter(r.target.get(), 1, 2, 0, 1000);
    EXPECT_EQ(t.PendingCount(), 1u);  // only the new one
}

TEST(TempoTimer, DestroyingTheTimerWithPendingPostsPostsNothingLater) {
    Receiver r;
    {
        TempoTimer t(1);
        for (int i = 0; i < 50; ++i)
            t.PostAfter(r.target.get(), 1, i, 0, 1 + i % 3);
        std::this_thread::sleep_for(1ms);
    }
    const std::size_t queued = r.loop.ProcessPending();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(r.loop.ProcessPending(), 0u);
    EXPECT_LE(queued, 50u);
}

}  // namespace
}  // namespace tamboro::audio
