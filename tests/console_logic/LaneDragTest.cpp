#include <gtest/gtest.h>

#include "console/logic/LaneDrag.h"

namespace tamboro::console {
namespace {

using engine::EventList;
using engine::kChannelOff;
using engine::kChannelOn;
using engine::kVolume;
using engine::MixEvent;
using Periods = std::vector<SoundingPeriod>;

constexpr int kChannel = 6;
// At tempo 120 and scroll 0 one lane pixel is 16.67 ms: x 60 is 1.0 s,
// x 180 is 3.0 s.
constexpr int XOf(std::uint32_t ms) {
    return static_cast<int>(ms * 480 / 8000);
}

MixEvent On(std::uint32_t t) {
    return {t, kChannelOn, kChannel, 0, 0};
}
MixEvent Off(std::uint32_t t) {
    return {t, kChannelOff, kChannel, 0, 0};
}

class LaneDragTest : public ::testing::Test {
  protected:
    void Drag(int from, int to) {
        ASSERT_TRUE(drag.Press(events, kChannel, axis, from, now));
        drag.Move(axis, to, now += 10);
        drag.Release();
    }
    ProTimeline axis{120.0, 0};
    LaneDrag drag;
    EventList events;
    std::uint64_t now = 1000;
};

TEST_F(LaneDragTest, DraggingFromOneToThreeSecondsInAnEmptyLaneMakesOnePeriod) {
    Drag(XOf(1000), XOf(3000));
    EXPECT_EQ(events, (EventList{On(1000), Off(3000)}));
    EXPECT_FALSE(drag.IsDragging());
}

TEST_F(LaneDragTest, DraggingLeftwardsMakesTheSamePeriod) {
    Drag(XOf(3000), XOf(1000));
    EXPECT_EQ(events, (EventList{On(1000), Off(3000)}));
}

TEST_F(LaneDragTest, EachMoveReplacesTheDragsOwnPair) {
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1000), now));
    EXPECT_TRUE(events.empty());  // nothing yet at the press
    drag.Move(axis, XOf(4000), now);
    drag.Move(axis, XOf(2000), now);
    EXPECT_EQ(events, (EventList{On(1000), Off(2000)}));
    drag.Move(axis, XOf(1000), now);  // back to the anchor: no length
    EXPECT_TRUE(events.empty());
    drag.Move(axis, XOf(500), now);
    EXPECT_EQ(events, (EventList{On(500), Off(1000)}));
    EXPECT_FALSE(drag.Press(events, kChannel, axis, 0, now));  // one drag at a time
    drag.Release();
}

TEST_F(LaneDragTest, ANewPeriodEndingWhereTheNextStartsJoinsIt) {
    events = {On(3000), Off(5000)};
    Drag(XOf(1000), XOf(3000));
    EXPECT_EQ(events, (EventList{On(1000), Off(5000)}));
}

TEST_F(LaneDragTest, ANewPeriodStartingWhereThePreviousEndsJoinsIt) {
    events = {On(0), Off(1000)};
    Drag(XOf(1000), XOf(3000));
    EXPECT_EQ(events, (EventList{On(0), Off(3000)}));
}

TEST_F(LaneDragTest, FillingTheGapJoinsBothSides) {
    events = {On(0), Off(1000), On(3000), Off(4000)};
    Drag(XOf(3000), XOf(1000));
    EXPECT_EQ(events, (EventList{On(0), Off(4000)}));
}

TEST_F(LaneDragTest, LevelEventsInsideTheJoinedPeriodStay) {
    const MixEvent volume{2000, kVolume, kChannel, static_cast<std::uint32_t>(-700), 0};
    events = {On(0), Off(1000), volume, On(3000), Off(4000)};
    Drag(XOf(1000), XOf(3000));
    EXPECT_EQ(events, (EventList{On(0), volume, Off(4000)}));
}

TEST_F(LaneDragTest, ANewPeriodStopsAtTheNeighboursStart) {
    events = {On(3000), Off(4000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1000), now));
    EXPECT_EQ(drag.LowerBound(), 0u);
    EXPECT_EQ(drag.UpperBound(), 3000u);
    drag.Move(axis, XOf(6000), now);  // across the neighbour
    EXPECT_EQ(drag.MovingTime(), 3000u);
    EXPECT_EQ(SoundingPeriods(events), (Periods{{1000, 3000}, {3000, 4000}}));
    drag.Release();  // touching: one period
    EXPECT_EQ(events, (EventList{On(1000), Off(4000)}));
}

TEST_F(LaneDragTest, ANewPeriodStopsAtTheNeighboursEndOnTheLeft) {
    events = {On(0), Off(500)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(3000), now));
    drag.Move(axis, 0, now);
    EXPECT_EQ(drag.MovingTime(), 500u);
    EXPECT_EQ(SoundingPeriods(events), (Periods{{0, 500}, {500, 3000}}));
    drag.Abandon();  // capture lost: the last shape stays, unjoined
    EXPECT_EQ(events, (EventList{On(0), Off(500), On(500), Off(3000)}));
}

TEST_F(LaneDragTest, PressingNearTheEndMovesTheEndUpToTheNextPeriod) {
    events = {On(1000), Off(2000), On(3000), Off(4000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1900), now));
    EXPECT_EQ(drag.Anchor(), 1000u);
    EXPECT_EQ(drag.UpperBound(), 3000u);
    drag.Move(axis, XOf(2500), now);
    EXPECT_EQ(events, (EventList{On(1000), Off(2500), On(3000), Off(4000)}));
    drag.Move(axis, XOf(7000), now);
    drag.Release();
    EXPECT_EQ(events, (EventList{On(1000), Off(4000)}));
}

TEST_F(LaneDragTest, PressingNearTheStartMovesTheStart) {
    events = {On(0), Off(300), On(1000), Off(3000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1100), now));
    EXPECT_EQ(drag.Anchor(), 3000u);
    EXPECT_EQ(drag.LowerBound(), 300u);
    drag.Move(axis, XOf(500), now);
    drag.Release();
    EXPECT_EQ(events, (EventList{On(0), Off(300), On(500), Off(3000)}));
}

TEST_F(LaneDragTest, ATieBetweenTheBoundariesMovesTheEnd) {
    events = {On(1000), Off(3000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(2000), now));
    EXPECT_EQ(drag.Anchor(), 1000u);
    drag.Release();
}

TEST_F(LaneDragTest, DraggingTheEndPastTheStartStopsThereAndDeletesThePeriod) {
    const MixEvent volume{2000, kVolume, kChannel, 0, 0};
    events = {On(1000), volume, Off(3000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(2750), now));
    drag.Move(axis, 0, now);
    EXPECT_EQ(drag.LowerBound(), 1000u);
    EXPECT_EQ(drag.MovingTime(), 1000u);
    drag.Release();
    EXPECT_EQ(events, (EventList{volume}));
}

TEST_F(LaneDragTest, DraggingTheStartPastTheEndDeletesThePeriod) {
    events = {On(1000), Off(3000), On(5000), Off(6000)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1200), now));
    drag.Move(axis, XOf(5500), now);
    EXPECT_EQ(drag.MovingTime(), 3000u);
    drag.Release();
    EXPECT_EQ(events, (EventList{On(5000), Off(6000)}));
}

TEST_F(LaneDragTest, APeriodLeftSoundingKeepsItsOpenEnd) {
    events = {On(1000)};
    Drag(XOf(2000), XOf(500));
    EXPECT_EQ(events, (EventList{On(500)}));
}

TEST_F(LaneDragTest, EventsOfOtherKindsAreNotBounds) {
    const MixEvent volume{2000, kVolume, kChannel, 0, 0};
    events = {volume};
    Drag(XOf(1000), XOf(3000));
    EXPECT_EQ(events, (EventList{On(1000), volume, Off(3000)}));
}

TEST_F(LaneDragTest, DraggingPastTheRightEdgeScrollsAtMostEvery200Ms) {
    ASSERT_TRUE(drag.Press(events, kChannel, axis, 400, now));
    EXPECT_EQ(drag.Move(axis, 500, 2000), AutoScroll::Right);
    axis.ScrollRight1();
    EXPECT_EQ(drag.Move(axis, 500, 2150), AutoScroll::None);  // too soon
    EXPECT_EQ(drag.Move(axis, 500, 2200), AutoScroll::None);  // 200 is not more than 200
    EXPECT_EQ(drag.Move(axis, 500, 2201), AutoScroll::Right);
    axis.ScrollRight1();
    EXPECT_EQ(drag.Move(axis, 470, 2500), AutoScroll::None);  // inside the lane
    drag.Release();
    // The period runs from the press (at scroll 0) to the last move (at
    // scroll 2).
    const std::uint32_t start = ProTimeline(120.0, 0).TimeAtX(400);
    EXPECT_EQ(SoundingPeriods(events), (Periods{{start, axis.TimeAtX(470)}}));
    EXPECT_GT(axis.TimeAtX(470), 8000u);
}

TEST_F(LaneDragTest, NoAutomaticScrollWhenThePeriodCannotGrowThatWay) {
    events = {On(1000), Off(3000)};
    // Moving the start: the anchor is the end, which is the upper bound.
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1100), now));
    EXPECT_EQ(drag.Move(axis, 500, 5000), AutoScroll::None);
    EXPECT_EQ(drag.MovingTime(), 3000u);
    drag.Release();
    EXPECT_TRUE(events.empty());  // the start reached the end

    // A new period up against its neighbour still scrolls while its anchor
    // lies below the bound; one at the bound from both sides does not.
    events = {On(9000), Off(9500)};
    ASSERT_TRUE(drag.Press(events, kChannel, axis, 400, now));
    EXPECT_EQ(drag.Move(axis, 480, 6000), AutoScroll::Right);
    drag.Release();
}

TEST_F(LaneDragTest, DraggingLeftOfTheLaneScrollsBackButNotBelowZero) {
    axis.SetScroll(2);  // 4 s..12 s
    ASSERT_TRUE(drag.Press(events, kChannel, axis, XOf(1000), now));
    EXPECT_EQ(drag.Anchor(), 5000u);
    EXPECT_EQ(drag.Move(axis, -10, 3000), AutoScroll::Left);
    axis.ScrollLeft1();
    EXPECT_EQ(drag.Move(axis, -10, 3300), AutoScroll::Left);
    axis.ScrollLeft1();
    EXPECT_EQ(drag.Move(axis, -10, 3600), AutoScroll::None);  // at scroll 0
    drag.Release();
    EXPECT_EQ(events, (EventList{On(0), Off(5000)}));
}

}  // namespace
}  // namespace tamboro::console
