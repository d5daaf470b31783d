#include <gtest/gtest.h>

#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {
namespace {

TEST(ConsoleLayout, EveryPadHitsItselfAtItsCentreUnlessALowerPadCoversIt) {
    for (int ch = 0; ch < kChannels; ++ch) {
        const layout::Rect r = PadRect(ch);
        const int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
        int expected = ch;
        for (int lower = 0; lower < ch; ++lower) {
            if (PadRect(lower).Contains(cx, cy)) {
                expected = lower;
                break;
            }
        }
        EXPECT_EQ(PadAt(cx, cy), expected) << "pad " << ch;
    }
}

TEST(ConsoleLayout, OverlapsGoToTheLowerChannelAndEdgesAreHalfOpen) {
    // Pads 0 (207..259) and 1 (248..305) share columns 248..259.
    EXPECT_EQ(PadAt(250, 240), 0);
    EXPECT_EQ(PadAt(260, 240), 1);
    // Pads 0 (rows 236..285) and 5 (rows 286..334) meet without overlap.
    EXPECT_EQ(PadAt(210, 285), 0);
    EXPECT_EQ(PadAt(210, 286), 5);
    // Outside every pad.
    EXPECT_EQ(PadAt(206, 240), -1);
    EXPECT_EQ(PadAt(429, 240), -1);
    EXPECT_EQ(PadAt(300, 235), -1);
    EXPECT_EQ(PadAt(300, 436), -1);
    EXPECT_EQ(PadAt(0, 0), -1);
}

TEST(ConsoleLayout, EveryPixelOfThePadBlockGoesToTheLowestPadHoldingIt) {
    int hits = 0;
    for (int y = 230; y < 440; ++y) {
        for (int x = 200; x < 435; ++x) {
            int lowest = -1;
            for (int ch = kChannels - 1; ch >= 0; --ch) {
                if (PadRect(ch).Contains(x, y)) lowest = ch;
            }
            ASSERT_EQ(PadAt(x, y), lowest) << x << "," << y;
            hits += lowest >= 0;
        }
    }
    EXPECT_GT(hits, 222 * 199 * 95 / 100);  // the pads cover their block, gaps aside
}

TEST(ConsoleLayout, AreasAreTestedPowerFirstThenModesThenMaster) {
    EXPECT_EQ(AreaAt(248, 21), ConsoleArea::Power);
    EXPECT_EQ(AreaAt(387, 49), ConsoleArea::Power);
    EXPECT_EQ(AreaAt(388, 49), ConsoleArea::None);
    EXPECT_EQ(AreaAt(128, 280), ConsoleArea::VolumeMode);
    EXPECT_EQ(AreaAt(146, 280), ConsoleArea::None);  // right edge is outside
    EXPECT_EQ(AreaAt(147, 428), ConsoleArea::PanMode);
    EXPECT_EQ(AreaAt(129, 429), ConsoleArea::None);  // bottom edge is outside
    EXPECT_EQ(AreaAt(573, 328), ConsoleArea::Master);
    EXPECT_EQ(AreaAt(638, 390), ConsoleArea::Master);
    EXPECT_EQ(AreaAt(639, 390), ConsoleArea::None);
    EXPECT_EQ(AreaAt(600, 391), ConsoleArea::None);
}

}  // namespace
}  // namespace tamboro::console
