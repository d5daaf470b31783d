#include <gtest/gtest.h>

#include "console/logic/PendingSwitches.h"

namespace tamboro::console {
namespace {

TEST(PendingSwitches, ASwitchCarriesTheGenerationItWasAskedWith) {
    PendingSwitches p;
    const auto g = p.Schedule(5);
    ASSERT_TRUE(g.has_value());
    EXPECT_TRUE(p.IsPending(5));
    EXPECT_FALSE(p.IsPending(4));
    EXPECT_TRUE(p.Complete(5, *g));
    EXPECT_FALSE(p.IsPending(5));
    EXPECT_NE(p.Generation(5), *g);
    // The same report again is stale.
    EXPECT_FALSE(p.Complete(5, *g));
}

TEST(PendingSwitches, ASecondRequestWhilePendingDoesNothing) {
    PendingSwitches p;
    const auto g = p.Schedule(3);
    EXPECT_FALSE(p.Schedule(3).has_value());
    EXPECT_TRUE(p.IsPending(3));
    EXPECT_EQ(p.Generation(3), *g);
    EXPECT_TRUE(p.Complete(3, *g));
}

TEST(PendingSwitches, CancelMakesTheScheduledReportStale) {
    PendingSwitches p;
    const auto g = p.Schedule(0);
    EXPECT_TRUE(p.Cancel(0));
    EXPECT_FALSE(p.IsPending(0));
    EXPECT_FALSE(p.Complete(0, *g));
    EXPECT_FALSE(p.Cancel(0));  // nothing left to cancel
    // A new switch gets a fresh generation; the old report cannot take it.
    const auto g2 = p.Schedule(0);
    ASSERT_TRUE(g2.has_value());
    EXPECT_NE(*g2, *g);
    EXPECT_FALSE(p.Complete(0, *g));
    EXPECT_TRUE(p.IsPending(0));
    EXPECT_TRUE(p.Complete(0, *g2));
}

TEST(PendingSwitches, ChannelsAreIndependentAndBadIndexesRefused) {
    PendingSwitches p;
    const auto a = p.Schedule(1);
    const auto b = p.Schedule(19);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(p.PendingCount(), 2);
    EXPECT_FALSE(p.Complete(19, *a + 7));
    EXPECT_TRUE(p.Complete(1, *a));
    EXPECT_TRUE(p.IsPending(19));
    EXPECT_FALSE(p.Schedule(-1).has_value());
    EXPECT_FALSE(p.Schedule(20).has_value());
    EXPECT_FALSE(p.Cancel(20));
    EXPECT_FALSE(p.Complete(-1, 0));
}

TEST(PendingSwitches, ClearAllDropsEverySwitch) {
    PendingSwitches p;
    std::optional<std::uint32_t> g[kChannels];
    for (int ch = 0; ch < kChannels; ++ch)
        g[ch] = p.Schedule(ch);
    p.ClearAll();
    EXPECT_EQ(p.PendingCount(), 0);
    for (int ch = 0; ch < kChannels; ++ch)
        EXPECT_FALSE(p.Complete(ch, *g[ch]));
}

}  // namespace
}  // namespace tamboro::console
