#include <gtest/gtest.h>

#include <memory>

#include "audio/wave/Wave.h"
#include "console/logic/ProTimeline.h"
#include "engine/SongDocument.h"
#include "tests/support/AudioSupport.h"

namespace tamboro::console {
namespace {

using engine::kChannelOff;
using engine::kChannelOn;
using engine::kVolume;
using engine::Millis;

TEST(ProTimeline, AtTempo120ABarIsTwoSecondsAndScroll3ShowsSixToFourteen) {
    ProTimeline axis(120.0, 3);
    EXPECT_DOUBLE_EQ(axis.BarSeconds(), 2.0);
    EXPECT_DOUBLE_EQ(axis.WindowStart(), 6000.0);
    EXPECT_DOUBLE_EQ(axis.WindowEnd(), 14000.0);
    EXPECT_EQ(axis.RulerLabel(0), "6.00");
    EXPECT_EQ(axis.RulerLabel(1), "8.00");
    EXPECT_EQ(axis.RulerLabel(2), "10.00");
    EXPECT_EQ(axis.RulerLabel(3), "12.00");
    EXPECT_EQ(axis.TimeAtX(0), 6000u);
    EXPECT_EQ(axis.TimeAtX(120), 8000u);
    EXPECT_EQ(axis.TimeAtX(479), 13983u);  // 13983.33 truncated
    EXPECT_EQ(axis.TimeAtX(-40), 6000u);   // left of the lane counts as 0
    EXPECT_EQ(axis.TimeAtX(540), 15000u);  // a drag past the right edge keeps going
}

TEST(ProTimeline, LabelsFollowOtherTempos) {
    ProTimeline axis(90.0, 1);  // a bar of 2.666... s
    EXPECT_EQ(axis.RulerLabel(0), "2.67");
    EXPECT_EQ(axis.RulerLabel(3), "10.67");
}

TEST(ProTimeline, XAtTimeUndoesTimeAtXOnEveryColumn) {
    for (double tempo : {120.0, 97.0, 175.5, 40.0}) {
        for (std::uint32_t scroll : {0u, 3u, 250u}) {
            ProTimeline axis(tempo, scroll);
            for (int x = 0; x < 480; ++x) {
                const std::uint32_t t = axis.TimeAtX(x);
                // Truncation loses less than a millisecond: t or t + 1 lies
                // in column x.
                const int back = axis.XAtTime(t);
                const int backUp = axis.XAtTime(t + 1.0);
                EXPECT_TRUE(back == x || backUp == x) << tempo << " " << scroll << " " << x;
                if (x > 0) {
                    EXPECT_GE(t, axis.TimeAtX(x - 1));
                }
            }
        }
    }
}

TEST(ProTimeline, ScrollButtonsStopAtZero) {
    ProTimeline axis(120.0, 2);
    axis.ScrollLeft4();
    EXPECT_EQ(axis.Scroll(), 0u);  // scroll - 4 at scroll 2 gives 0
    axis.ScrollLeft1();
    EXPECT_EQ(axis.Scroll(), 0u);
    axis.ScrollRight4();
    axis.ScrollRight1();
    EXPECT_EQ(axis.Scroll(), 5u);
    axis.ScrollLeft1();
    EXPECT_EQ(axis.Scroll(), 4u);
    axis.ScrollHome();
    EXPECT_EQ(axis.Scroll(), 0u);
}

TEST(ProTimeline, ScrollStopsBeforeTheWindowLeavesTheMillisecondRange) {
    ProTimeline axis(30.0);  // 8-second bars
    axis.SetScroll(std::int64_t{1} << 40);
    EXPECT_EQ(axis.Scroll(), axis.MaxScroll());
    EXPECT_LT(axis.TimeAtX(2 * 480), kNoTime);
    EXPECT_LT(axis.WindowEnd(), static_cast<double>(kNoTime));
}

TEST(ProTimeline, PlayAtScroll2WithTempo120StartsAt4000) {
    ProTimeline axis(120.0, 2);
    EXPECT_EQ(axis.PlayStart(), Millis(4000));
    axis.ScrollHome();
    EXPECT_EQ(axis.PlayStart(), Millis(0));
}

TEST(ProTimeline, ScrollToTheEndUsesTheLatestEventOfAnyKind) {
    engine::SongDocument doc;
    doc.tempo = 120.0;
    doc.channels[3].events = {{0, kChannelOn, 3, 0, 0}, {10000, kChannelOff, 3, 0, 0}};
    doc.channels[7].events = {{21000, kVolume, 7, static_cast<std::uint32_t>(-900), 0}};
    ProTimeline axis(doc.tempo);
    axis.ScrollToEnd(doc.LatestEventTime());
    // 21 s is bar 10.5: the last of the four shown bars holds it.
    EXPECT_EQ(axis.Scroll(), 7u);
    EXPECT_LE(axis.WindowStart() + 3 * axis.BarMillis(), 21000.0);
    EXPECT_GT(axis.WindowEnd(), 21000.0);
    // The on/off length alone would have stopped short of the volume event.
    ProTimeline byLength(doc.tempo);
    byLength.ScrollToEnd(doc.MixLength());
    EXPECT_LT(byLength.WindowEnd(), 21000.0);

    axis.ScrollToEnd(Millis(3000));  // inside the first four bars
    EXPECT_EQ(axis.Scroll(), 0u);
    axis.SetScroll(9);
    axis.ScrollToEnd(std::nullopt);  // an empty mix
    EXPECT_EQ(axis.Scroll(), 0u);
}

TEST(ProTimeline, RulerDragMovesWholeBarsAgainstTheMouse) {
    ProTimeline axis(120.0, 5);
    EXPECT_FALSE(axis.RulerDrag(5, 100, 219));  // 119 pixels: no bar yet
    EXPECT_EQ(axis.Scroll(), 5u);
    EXPECT_TRUE(axis.RulerDrag(5, 100, 339));  // 239 pixels right: one bar back
    EXPECT_EQ(axis.Scroll(), 4u);
    EXPECT_TRUE(axis.RulerDrag(5, 100, -150));  // 250 left: two bars on
    EXPECT_EQ(axis.Scroll(), 7u);
    EXPECT_TRUE(axis.RulerDrag(1, 100, 600));
    EXPECT_EQ(axis.Scroll(), 0u);  // never below 0
}

TEST(ProTimeline, PlaybackIsFollowedBarByBar) {
    ProTimeline axis(120.0, 0);
    EXPECT_EQ(axis.PlaybackX(1000), 60);
    EXPECT_FALSE(axis.PlaybackX(8000).has_value());
    EXPECT_FALSE(axis.Follow(7999));
    EXPECT_TRUE(axis.Follow(9000));
    EXPECT_EQ(axis.Scroll(), 4u);  // the bar that holds 9 s
    EXPECT_EQ(axis.PlaybackX(9000), 60);
    EXPECT_TRUE(axis.Follow(100));  // a playback started before the window
    EXPECT_EQ(axis.Scroll(), 0u);
}

TEST(ProTimeline, ANonPositiveTempoCountsAs120) {
    EXPECT_DOUBLE_EQ(ProTimeline(0.0).BarSeconds(), 2.0);
    EXPECT_DOUBLE_EQ(ProTimeline(-5.0).BarSeconds(), 2.0);
}

TEST(Thumbnail, WidthIsTheLoopAtTheLaneScale) {
    EXPECT_EQ(ThumbnailWidth(2000, 120.0), 120);  // one bar
    EXPECT_EQ(ThumbnailWidth(8000, 120.0), 480);
    EXPECT_EQ(ThumbnailWidth(1000, 120.0), 60);
    EXPECT_EQ(ThumbnailWidth(2400, 100.0), 120);
    EXPECT_EQ(ThumbnailWidth(25, 120.0), 2);  // 1.5 rounds up
    EXPECT_EQ(ThumbnailWidth(0, 120.0), 0);
}

TEST(Thumbnail, SoundingPeriodsPairEachOnWithTheNextOff) {
    const engine::EventList events{{100, kChannelOn, 4, 0, 0},  {200, kVolume, 4, 0, 0},
                                   {300, kChannelOn, 4, 0, 0},  {500, kChannelOff, 4, 0, 0},
                                   {600, kChannelOff, 4, 0, 0}, {900, kChannelOn, 4, 0, 0}};
    const std::vector<SoundingPeriod> want{{100, 500}, {900, kNoTime}};
    EXPECT_EQ(SoundingPeriods(events), want);
}

using Spans = std::vector<ThumbnailSpan>;

TEST(Thumbnail, LoopChannelsKeepThePhaseFromTimeZero) {
    const ProTimeline axis(120.0, 0);
    // One-bar loop (120 pixels); the period 3 s..7 s covers columns 180..420.
    EXPECT_EQ(ThumbnailSpans(axis, {3000, 7000}, 2000, false, 120),
              (Spans{{180, 60, 60}, {240, 120, 0}, {360, 60, 0}}));
    // An effect starts its picture at the period's start.
    EXPECT_EQ(ThumbnailSpans(axis, {3000, 7000}, 2000, true, 120),
              (Spans{{180, 120, 0}, {300, 120, 0}}));
}

TEST(Thumbnail, APeriodBegunBeforeTheWindowStartsAtTheMatchingPhase) {
    const ProTimeline axis(120.0, 1);  // window 2 s..10 s
    // A 3-second loop is 180 pixels; time 0 lies at x = -120.
    EXPECT_EQ(ThumbnailSpans(axis, {1000, 5000}, 3000, false, 180),
              (Spans{{0, 60, 120}, {60, 120, 0}}));
    // The effect's start (1 s) lies at x = -60.
    EXPECT_EQ(ThumbnailSpans(axis, {1000, 5000}, 3000, true, 180),
              (Spans{{0, 120, 60}, {120, 60, 0}}));
    // A period left sounding runs to the window's end.
    EXPECT_EQ(ThumbnailSpans(axis, {9000, kNoTime}, 3000, false, 180),
              (Spans{{420, 60, 0}}));  // 9 s is three whole loops
}

TEST(Thumbnail, NothingForPeriodsOutsideTheWindowOrWithoutAPicture) {
    const ProTimeline axis(120.0, 2);  // 4 s..12 s
    EXPECT_TRUE(ThumbnailSpans(axis, {1000, 4000}, 2000, false, 120).empty());
    EXPECT_TRUE(ThumbnailSpans(axis, {12000, 15000}, 2000, false, 120).empty());
    EXPECT_TRUE(ThumbnailSpans(axis, {5000, 6000}, 0, false, 0).empty());
}

TEST(Thumbnail, SpansCoverEveryColumnOfThePeriodOnce) {
    for (std::uint32_t loop : {700u, 2000u, 3333u, 9000u}) {
        for (bool effect : {false, true}) {
            const ProTimeline axis(113.0, 2);
            const SoundingPeriod period{3100, 9900};
            const int width = ThumbnailWidth(loop, axis.Tempo());
            std::vector<int> covered(480, 0);
            for (const ThumbnailSpan& s : ThumbnailSpans(axis, period, loop, effect, width)) {
                ASSERT_GE(s.sourceX, 0);
                ASSERT_LE(s.sourceX + s.width, width);
                for (int x = s.x; x < s.x + s.width; ++x)
                    ++covered[static_cast<std::size_t>(x)];
            }
            const int xs = std::max(0, axis.XAtTime(period.start));
            const int xe = std::min(480, axis.XAtTime(period.end));
            int shown = 0;
            for (int x = xs; x < xe; ++x)
                shown += covered[static_cast<std::size_t>(x)];
            const double loopPixels = loop * 480.0 / (axis.WindowEnd() - axis.WindowStart());
            EXPECT_GE(shown, (xe - xs) - static_cast<int>((xe - xs) / loopPixels + 2));
            for (int x = 0; x < 480; ++x) {
                // A column may be lost where the rounded picture is a pixel
                // shorter than the loop; never drawn twice or outside.
                EXPECT_LE(covered[static_cast<std::size_t>(x)], (x >= xs && x < xe) ? 1 : 0)
                    << loop << " " << effect << " " << x;
            }
        }
    }
}

}  // namespace
}  // namespace tamboro::console

namespace tamboro::console {
namespace {

// A 16-bit stereo preview whose frame k holds left(k) and right(k).
template <typename Left, typename Right>
std::unique_ptr<audio::Wave> Preview(int frames, Left left, Right right) {
    auto wave = std::make_unique<audio::Wave>();
    EXPECT_TRUE(wave->Create(tamboro::test::Pcm(2000, 16, 2), static_cast<std::uint32_t>(frames)));
    for (int k = 0; k < frames; ++k) {
        const auto l = static_cast<std::uint16_t>(static_cast<std::int16_t>(left(k)));
        const auto r = static_cast<std::uint16_t>(static_cast<std::int16_t>(right(k)));
        wave->SetFrame(k, l | (std::uint32_t{r} << 16));
    }
    return wave;
}

using Columns = std::vector<ThumbnailColumn>;

TEST(Thumbnail, ColumnsSpanTheMinimumAndMaximumOfBothSides) {
    // Four columns of ten frames each: silence, full scale on the right
    // only, the negative limit on the left, a small swing in the middle.
    const auto left = [](int k) {
        switch (k / 10) {
            case 2:
                return k == 25 ? -32768 : 0;
            case 3:
                return k % 2 == 0 ? 3000 : 0;
            default:
                return 0;
        }
    };
    const auto right = [](int k) {
        switch (k / 10) {
            case 1:
                return k == 11 ? 32767 : (k == 17 ? -32767 : 0);
            case 3:
                return k % 2 == 0 ? -3000 : 0;
            default:
                return 0;
        }
    };
    const auto wave = Preview(40, left, right);
    // Height 12: silence lies on row 5 (32767 × 12 / 65536 = 5.99), the
    // limits on rows 0 and 11, -3000 and 3000 on rows 5.45 and 6.55.
    EXPECT_EQ(ThumbnailColumns(*wave, 4, 12), (Columns{{5, 6}, {0, 12}, {0, 6}, {5, 7}}));
}

TEST(Thumbnail, APreviewShorterThanThePictureLeavesColumnsEmpty) {
    const auto wave = Preview(
        3, [](int) { return 0; }, [](int) { return 0; });
    EXPECT_EQ(ThumbnailColumns(*wave, 5, 12), (Columns{{5, 6}, {5, 6}, {5, 6}, {0, 0}, {0, 0}}));
    EXPECT_TRUE(ThumbnailColumns(*wave, 0, 12).empty());
}

}  // namespace
}  // namespace tamboro::console
