#include <gtest/gtest.h>

#include <chrono>

#include "audio/wave/Levels.h"
#include "console/logic/ConsoleController.h"
#include "tests/engine/LiveRig.h"

namespace tamboro::console {
namespace {

// The song plays on a real output device whose engine renders only when
// the test says so (no audio thread): the clock moves by the frames the
// test renders.
class Controller : public ::testing::Test {
  protected:
    Controller()
        : rig(std::make_unique<engine::test::LiveRig>(engine::test::LiveCase{8000, 16, 2, 120.0})),
          song(*rig->song),
          loop(rig->loop) {}
    void SetUp() override {
        rig->Load(0, Bar(), false, 1);
        rig->Load(1, Bar(), false, 2);
        rig->Load(2, 2 * Bar(), false, 3);
        rig->Load(7, Bar() / 4, /*effect=*/true, 4);
        console = std::make_unique<ConsoleController>(song);
    }
    void TearDown() override {
        console.reset();
        rig.reset();
    }
    std::uint32_t Bar() const { return rig->Bar(); }
    // Centre of a pad.
    static int Cx(int ch) { return PadRect(ch).x + PadRect(ch).w / 2; }
    static int Cy(int ch) { return PadRect(ch).y + PadRect(ch).h / 2; }
    // Renders until the tempo clock is `ms` before the next boundary of a
    // one-bar loop.
    void ClockBeforeBoundary(std::uint32_t ms) {
        rig->Render(1);  // the clock starts with the first channel
        const std::uint64_t want = Bar() - ms * 8;
        const std::uint64_t at = song.ClockPosition().count % Bar();
        rig->RenderTo(rig->Now() + (want + Bar() - at) % Bar());
    }
    // Lets the message loop and the sound run side by side for `ms`.
    void RunFor(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 5) {
            loop.Run(std::chrono::milliseconds(5));
            rig->RenderTo(rig->Now() + 40);
            console->Tick();
        }
    }
    bool RunUntilPlaying(int ch, bool playing) {
        for (int t = 0; t < 2000; t += 5) {
            if (song.IsChannelPlaying(ch) == playing) return true;
            RunFor(5);
        }
        return false;
    }

    std::unique_ptr<engine::test::LiveRig> rig;
    engine::Song& song;
    platform::EventLoop& loop;
    std::unique_ptr<ConsoleController> console;
};

TEST_F(Controller, ClicksAndKeysToggleAtOnceAndMakeTheChannelCurrent) {
    console->OnLeftDown(Cx(1), Cy(1), false);
    EXPECT_EQ(song.IsChannelPlaying(1), 1);
    EXPECT_EQ(console->CurrentChannel(), 1);
    EXPECT_EQ(console->PictureOf(1), PadPicture::Sounding);
    EXPECT_TRUE(console->TakeDirty().pads[1]);
    console->OnCommand(kCommandSwitchFirst + 1);
    EXPECT_EQ(song.IsChannelPlaying(1), 0);
    EXPECT_EQ(console->PictureOf(1), PadPicture::Loaded);
    // An empty channel does not start but becomes current.
    console->OnCommand(kCommandSwitchFirst + 19);
    EXPECT_EQ(song.IsChannelPlaying(19), 0);
    EXPECT_EQ(console->CurrentChannel(), 19);
    EXPECT_EQ(console->PictureOf(19), PadPicture::Empty);
    EXPECT_FALSE(console->OnCommand(32796));
}

TEST_F(Controller, ShiftClickWaitsForTheBoundaryBlinkingAndShiftClickCancels) {
    console->Toggle(0);  // the clock runs
    ClockBeforeBoundary(60);
    console->OnLeftDown(Cx(1), Cy(1), /*shift=*/true);
    EXPECT_TRUE(console->Pending().IsPending(1));
    EXPECT_EQ(song.IsChannelPlaying(1), 0);
    // Blinks between X and U.
    const PadPicture a = console->PictureOf(1);
    console->Tick();
    const PadPicture b = console->PictureOf(1);
    EXPECT_NE(a, b);
    EXPECT_TRUE((a == PadPicture::Loaded && b == PadPicture::Empty) ||
                (a == PadPicture::Empty && b == PadPicture::Loaded));
    EXPECT_TRUE(RunUntilPlaying(1, true));
    EXPECT_FALSE(console->Pending().IsPending(1));
    EXPECT_EQ(console->PictureOf(1), PadPicture::Sounding);

    // Cancel: the scheduled switch arrives stale and changes nothing.
    ClockBeforeBoundary(40);
    console->OnLeftDown(Cx(1), Cy(1), true);
    ASSERT_TRUE(console->Pending().IsPending(1));
    console->OnLeftDown(Cx(1), Cy(1), true);
    EXPECT_FALSE(console->Pending().IsPending(1));
    loop.Run(std::chrono::milliseconds(150));
    EXPECT_EQ(song.IsChannelPlaying(1), 1);
}

TEST_F(Controller, ASecondShiftKeyWhilePendingDoesNothing) {
    console->Toggle(0);
    ClockBeforeBoundary(50);
    console->OnCommand(kCommandTimedFirst + 1);
    const auto generation = console->Pending().Generation(1);
    console->OnCommand(kCommandTimedFirst + 1);
    EXPECT_TRUE(console->Pending().IsPending(1));
    EXPECT_EQ(console->Pending().Generation(1), generation);
    EXPECT_TRUE(RunUntilPlaying(1, true));
    // No second toggle follows.
    loop.Run(std::chrono::milliseconds(150));
    EXPECT_EQ(song.IsChannelPlaying(1), 1);
}

TEST_F(Controller, ACancelReportedLateDoesNotClearTheNextRequest) {
    console->Toggle(0);
    ClockBeforeBoundary(300);
    console->TimedSwitch(1);
    RunFor(10);
    ASSERT_TRUE(song.IsSwitchPending(1));
    // Cancel and ask again before the live mix has reported the cancel.
    ASSERT_TRUE(console->Cancel(1));
    console->TimedSwitch(1);
    const auto generation = console->Pending().Generation(1);
    RunFor(10);  // the cancel's report arrives now
    EXPECT_TRUE(console->Pending().IsPending(1));
    EXPECT_EQ(console->Pending().Generation(1), generation);
    EXPECT_TRUE(RunUntilPlaying(1, true));
    RunFor(10);
    EXPECT_FALSE(console->Pending().IsPending(1));
}

TEST_F(Controller, TimedSwitchWithNothingToWaitForTogglesAtOnce) {
    console->OnCommand(kCommandTimedFirst + 0);  // no clock runs yet
    EXPECT_EQ(song.IsChannelPlaying(0), 1);
    EXPECT_FALSE(console->Pending().IsPending(0));
}

TEST_F(Controller, RightClickSwitchesInTimeOnlyWhileSomethingSoundsAndTheSettingAllows) {
    console->OnRightDown(Cx(1), Cy(1));  // nothing sounds
    EXPECT_FALSE(console->Pending().IsPending(1));
    EXPECT_EQ(song.IsChannelPlaying(1), 0);
    console->Toggle(0);
    ClockBeforeBoundary(80);
    console->Settings().rightClickDelayStart = false;
    console->OnRightDown(Cx(1), Cy(1));
    EXPECT_FALSE(console->Pending().IsPending(1));
    console->Settings().rightClickDelayStart = true;
    console->OnRightDown(Cx(1), Cy(1));
    EXPECT_TRUE(console->Pending().IsPending(1));
    console->OnRightDown(Cx(1), Cy(1));  // cancels
    EXPECT_FALSE(console->Pending().IsPending(1));
}

TEST_F(Controller, ChannelMenuOnlyWhileEverythingIsSilent) {
    EXPECT_TRUE(console->PrepareChannelMenu(Cx(2), Cy(2)));
    EXPECT_EQ(console->CurrentChannel(), 2);
    EXPECT_FALSE(console->PrepareChannelMenu(10, 10));
    EXPECT_EQ(console->CurrentChannel(), 2);
    console->Toggle(0);
    EXPECT_FALSE(console->PrepareChannelMenu(Cx(7), Cy(7)));
    EXPECT_EQ(console->CurrentChannel(), 7);  // current even without a menu
}

TEST_F(Controller, AnEffectStopsItselfUnlessItsStopIsCancelled) {
    console->Toggle(7);
    EXPECT_EQ(song.IsChannelPlaying(7), 1);
    EXPECT_TRUE(console->Pending().IsPending(7));
    EXPECT_TRUE(RunUntilPlaying(7, false));
    EXPECT_FALSE(console->Pending().IsPending(7));

    console->Toggle(7);
    ASSERT_TRUE(console->Pending().IsPending(7));
    RunFor(20);
    ASSERT_TRUE(song.IsSwitchPending(7));
    console->OnLeftDown(Cx(7), Cy(7), true);  // Shift+click cancels the stop
    RunFor(song.GetPreparedLength(7) + 100);
    EXPECT_EQ(song.IsChannelPlaying(7), 1);
}

TEST_F(Controller, KnobsSetLiveAndStoredLevelsAndHoldDuringTheDrag) {
    console->SetMode(KnobMode::Volume);
    const int press = console->BeginKnobDrag(2);
    EXPECT_EQ(console->CurrentChannel(), 2);
    EXPECT_TRUE(song.IsVolumeHeld(2));
    console->ApplyKnob(2, KnobDragPosition(press, 100, 100 - 8));
    EXPECT_EQ(song.GetChannelVolume(2), KnobToVolume(press + 2));
    EXPECT_EQ(song.GetInitialVolume(2), KnobToVolume(press + 2));
    console->EndKnobDrag(2);
    EXPECT_FALSE(song.IsVolumeHeld(2));

    console->SetMode(KnobMode::Balance);
    console->BeginKnobDrag(2);
    EXPECT_TRUE(song.IsPanHeld(2));
    EXPECT_FALSE(song.IsVolumeHeld(2));
    console->ApplyKnob(2, 20);
    EXPECT_EQ(song.GetChannelPan(2), 10000);
    console->EndKnobDrag(2);
    EXPECT_FALSE(song.IsPanHeld(2));
    EXPECT_EQ(console->KnobPositionOf(2), 20);
}

TEST_F(Controller, DuringARecordingKnobsAndMasterLeaveTheStoredValues) {
    const int stored = song.GetInitialVolume(1);
    console->Record();
    ASSERT_TRUE(song.IsRecording());
    console->SetMode(KnobMode::Volume);
    console->BeginKnobDrag(1);
    console->ApplyKnob(1, 20);
    console->EndKnobDrag(1);
    EXPECT_EQ(song.GetChannelVolume(1), 0);
    EXPECT_EQ(song.GetInitialVolume(1), stored);
    const int storedMaster = song.GetInitialMasterVolume();
    console->OnLeftDown(600, 391 - 10, false);
    EXPECT_EQ(song.GetMasterVolume(), audio::VolumeToAttenuation(10 * 100 / 63));
    EXPECT_EQ(song.GetInitialMasterVolume(), storedMaster);
    console->OnLeftUp();
    // Stop brings the live levels back.
    console->Stop();
    EXPECT_EQ(song.GetChannelVolume(1), stored);
    EXPECT_EQ(song.GetMasterVolume(), storedMaster);
}

TEST_F(Controller, MasterDragFollowsThePointerAndClampsToTheSlider) {
    EXPECT_EQ(console->OnLeftDown(600, 328, false), ConsoleArea::Master);
    EXPECT_TRUE(song.IsMasterHeld());
    EXPECT_EQ(console->MasterValue(), 100);
    console->OnMasterDrag(360);
    EXPECT_EQ(console->MasterValue(), (391 - 360) * 100 / 63);
    console->OnMasterDrag(470);
    EXPECT_EQ(console->MasterValue(), 0);
    EXPECT_EQ(song.GetInitialMasterVolume(), -10000);
    console->OnLeftUp();
    EXPECT_FALSE(song.IsMasterHeld());
    console->OnMasterDrag(328);  // no longer dragging
    EXPECT_EQ(console->MasterValue(), 0);
}

TEST_F(Controller, ModeSwitchAreas) {
    EXPECT_EQ(console->Mode(), KnobMode::Balance);
    EXPECT_EQ(console->OnLeftDown(130, 285, false), ConsoleArea::VolumeMode);
    EXPECT_EQ(console->Mode(), KnobMode::Volume);
    EXPECT_TRUE(console->TakeDirty().modes);
    EXPECT_EQ(console->OnLeftDown(140, 420, false), ConsoleArea::PanMode);
    EXPECT_EQ(console->Mode(), KnobMode::Balance);
    EXPECT_EQ(console->OnLeftDown(300, 30, false), ConsoleArea::Power);
}

TEST_F(Controller, PlaybackIgnoresPadsAndKeysAndItsEndStops) {
    console->Record();
    console->Toggle(0);
    RunFor(30);
    console->Toggle(0);
    console->Stop();
    RunFor(10);
    ASSERT_EQ(song.IsRecording(), false);
    console->Play();
    ASSERT_TRUE(song.IsPlayingBack());
    const bool before = song.IsChannelPlaying(1) != 0;
    console->OnCommand(kCommandSwitchFirst + 1);
    console->OnLeftDown(Cx(1), Cy(1), false);
    EXPECT_EQ(song.IsChannelPlaying(1) != 0, before);
    for (int t = 0; t < 3000 && song.IsPlayingBack(); t += 5)
        RunFor(5);
    EXPECT_FALSE(song.IsPlayingBack());
    EXPECT_TRUE(console->TakeDirty().master);
}

TEST_F(Controller, TextStateFollowsTheCurrentChannel) {
    console->SetCurrentChannel(2);
    song.SetChannelVolume(2, -1000);
    const TextPanelState s = console->TextState();
    EXPECT_EQ(s.channel, 2);
    EXPECT_FALSE(s.channelEmpty);
    EXPECT_EQ(s.channelName, song.GetChannelName(2));
    EXPECT_EQ(s.volume, -1000);
    EXPECT_EQ(console->TooltipOf(2), song.GetChannelName(2));
    EXPECT_EQ(console->TooltipOf(3), "Vuoto");
}

}  // namespace
}  // namespace tamboro::console
