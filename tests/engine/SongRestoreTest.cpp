// Bringing a song back to an earlier copy of its document (the undo
// history's), and the levels at rest after a stop.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/Song.h"
#include "platform/TempFiles.h"
#include "tests/engine/LiveRig.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class SongRestore : public SongFixture {
  protected:
    std::vector<std::uint8_t> SlotBytes(int ch) const { return device.loaded[Slot(ch)].bytes; }
};

TEST_F(SongRestore, ARemovedLoopComesBackWithItsNameFlagsEventsAndSlot) {
    ASSERT_EQ(Load(3, Bar() * 2, false, 7), SongResult::Ok);
    ASSERT_EQ(song.SetChannelName(3, "Cassa dritta"), SongResult::Ok);
    *song.Events(3) = {{0, kChannelOn, 3, 0, 0}, {2500, kChannelOff, 3, 0, 0}};
    song.SetInitialVolume(3, -1500);
    song.SetChannelVolume(3, -1500);
    const SongDocument before = song.Document();
    const std::vector<std::uint8_t> slot = SlotBytes(3);
    const std::string source = song.GetSourceFile(3);
    ASSERT_FALSE(slot.empty());

    ASSERT_EQ(song.ReplaceChannel(3, nullptr, false), SongResult::Ok);
    song.SetInitialVolume(3, -3000);
    song.SetChannelVolume(3, -3000);
    ASSERT_EQ(device.IsLoaded(Slot(3)), 0);
    ASSERT_TRUE(song.IsChannelEmpty(3));

    ASSERT_EQ(song.RestoreDocument(before), SongResult::Ok);
    EXPECT_EQ(song.Document(), before);
    EXPECT_EQ(song.GetChannelName(3), "Cassa dritta");
    EXPECT_EQ(song.GetChannelFlags(3), kLoaded);
    EXPECT_EQ(song.Document().channels[3].loop, before.channels[3].loop);
    // The same source file, kept by the copy while the channel was empty.
    EXPECT_EQ(song.GetSourceFile(3), source);
    EXPECT_EQ(device.IsLoaded(Slot(3)), 1);
    EXPECT_EQ(SlotBytes(3), slot);
    // The live level follows the level at rest that came back.
    EXPECT_EQ(song.GetChannelVolume(3), -1500);
}

TEST_F(SongRestore, ALoadIsUndoneToTheLoopBeforeItAndToAnEmptyChannel) {
    ASSERT_EQ(Load(1, Bar(), false, 1), SongResult::Ok);
    const SongDocument first = song.Document();
    const std::vector<std::uint8_t> firstSlot = SlotBytes(1);
    ASSERT_EQ(Load(1, Bar() * 4, false, 99), SongResult::Ok);
    ASSERT_NE(SlotBytes(1), firstSlot);
    const SongDocument second = song.Document();
    const std::vector<std::uint8_t> secondSlot = SlotBytes(1);

    ASSERT_EQ(song.RestoreDocument(first), SongResult::Ok);
    EXPECT_EQ(SlotBytes(1), firstSlot);
    EXPECT_EQ(song.GetPreparedLength(1), first.channels[1].preparedLength);
    ASSERT_EQ(song.RestoreDocument(second), SongResult::Ok);
    EXPECT_EQ(SlotBytes(1), secondSlot);

    SongDocument empty = first;
    empty.channels[1] = ChannelDoc{};
    ASSERT_EQ(song.RestoreDocument(empty), SongResult::Ok);
    EXPECT_TRUE(song.IsChannelEmpty(1));
    EXPECT_EQ(device.IsLoaded(Slot(1)), 0);
    EXPECT_TRUE(song.GetPreparedFile(1).empty());
    EXPECT_TRUE(song.GetSourceFile(1).empty());
}

TEST_F(SongRestore, AnEffectSwitchIsUndoneWithTheFittedLoopBackInTheSlot) {
    // 1.75 bars: fitted to 2 bars as a loop, kept as it is as an effect.
    ASSERT_EQ(Load(5, Bar() * 7 / 4, false, 3), SongResult::Ok);
    const SongDocument loop = song.Document();
    const std::vector<std::uint8_t> fitted = SlotBytes(5);
    ASSERT_EQ(song.SetEffect(5, true), SongResult::Ok);
    const std::vector<std::uint8_t> asEffect = SlotBytes(5);
    ASSERT_NE(asEffect.size(), fitted.size());

    ASSERT_EQ(song.RestoreDocument(loop), SongResult::Ok);
    EXPECT_FALSE(song.IsEffect(5));
    EXPECT_EQ(SlotBytes(5), fitted);
    EXPECT_EQ(song.GetPreparedLength(5), loop.channels[5].preparedLength);
}

TEST_F(SongRestore, AnotherTempoFitsEveryLoopAgain) {
    ASSERT_EQ(Load(0, Bar() * 2 - 100, false, 1), SongResult::Ok);
    ASSERT_EQ(Load(8, Bar() * 3 / 2 + 50, false, 2), SongResult::Ok);
    const SongDocument at120 = song.Document();
    const std::vector<std::uint8_t> slot0 = SlotBytes(0);
    const std::vector<std::uint8_t> slot8 = SlotBytes(8);

    SongDocument at100 = at120;
    at100.tempo = 100.0;
    ASSERT_EQ(song.RestoreDocument(at100), SongResult::Ok);
    EXPECT_EQ(song.GetTempo(), 100.0);
    // 2 bars at 100 are longer than 2 bars at 120.
    EXPECT_GT(SlotBytes(0).size(), slot0.size());
    EXPECT_EQ(song.ClockPeriod().count, 8u * SamplesPerBar(8000, 100.0));

    ASSERT_EQ(song.RestoreDocument(at120), SongResult::Ok);
    EXPECT_EQ(SlotBytes(0), slot0);
    EXPECT_EQ(SlotBytes(8), slot8);
    EXPECT_EQ(song.ClockPeriod().count, 8u * SamplesPerBar(8000, 120.0));
}

TEST_F(SongRestore, ACopyOfTheDocumentSharesTheLoopsInsteadOfCopyingThem) {
    for (int ch : {0, 4, 9})
        ASSERT_EQ(Load(ch, Bar() * 2, false, ch), SongResult::Ok);
    const int files = platform::OpenTemporaryCount();
    const std::vector<std::uint8_t> image = [&] {
        auto storage = song.Document().channels[4].loop->Image();
        const auto* p = static_cast<const std::uint8_t*>(storage->Data());
        return std::vector<std::uint8_t>(p, p + storage->Size());
    }();

    std::vector<SongDocument> copies(100, song.Document());
    for (int ch : {0, 4, 9}) {
        const auto& loop = song.Document().channels[ch].loop;
        for (const SongDocument& copy : copies)
            ASSERT_EQ(copy.channels[ch].loop.get(), loop.get());
        EXPECT_EQ(loop.use_count(), 101);
    }
    // No file and no sample was copied.
    EXPECT_EQ(platform::OpenTemporaryCount(), files);

    // The source of a removed loop lives as long as a copy holds it; its
    // prepared file goes at once.
    ASSERT_EQ(song.ReplaceChannel(4, nullptr, false), SongResult::Ok);
    EXPECT_EQ(platform::OpenTemporaryCount(), files - 1);
    auto storage = copies.front().channels[4].loop->Image();
    ASSERT_TRUE(storage);
    const auto* p = static_cast<const std::uint8_t*>(storage->Data());
    EXPECT_EQ(std::vector<std::uint8_t>(p, p + storage->Size()), image);
    copies.clear();
    EXPECT_EQ(platform::OpenTemporaryCount(), files - 2);
}

TEST_F(SongRestore, ALoopInTheSongFileStaysReadableAfterTheFileWasSavedOver) {
    ASSERT_EQ(Load(2, Bar(), false, 5), SongResult::Ok);
    ASSERT_EQ(Load(6, Bar() * 2, true, 6), SongResult::Ok);
    const std::string path = temp.File("brano.tbo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);  // reloaded: loops in the file
    ASSERT_EQ(song.GetChannelFlags(2), kLoaded | kInArchive);
    const SongDocument saved = song.Document();
    const std::vector<std::uint8_t> slot2 = SlotBytes(2);
    const std::string first = temp.File("first.tbo");
    ASSERT_EQ(song.SaveSong(first, 0, nullptr), SongResult::Ok);

    // Channel 2 goes and the file is saved again: its record is gone from
    // the new file and channel 6 moved to another record.
    ASSERT_EQ(song.ReplaceChannel(2, nullptr, false), SongResult::Ok);
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    ASSERT_NE(song.Document().channels[6].loop, saved.channels[6].loop);

    ASSERT_EQ(song.RestoreDocument(saved), SongResult::Ok);
    EXPECT_EQ(SlotBytes(2), slot2);
    const std::string again = temp.File("again.tbo");
    ASSERT_EQ(song.SaveSong(again, 0, nullptr), SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(again), tamboro::test::ReadAll(first));
    // And over the open file itself.
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(path), tamboro::test::ReadAll(first));
}

TEST_F(SongRestore, TwoLoadsOfOneFileHoldTheSameLoopsAndAFileSavedOverOthers) {
    ASSERT_EQ(Load(2, Bar(), false, 5), SongResult::Ok);
    const std::string path = temp.File("brano.tbo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    const SongDocument first = song.Document();
    ASSERT_EQ(song.LoadSong(path, 0), SongResult::Ok);
    EXPECT_NE(song.Document().channels[2].loop, first.channels[2].loop);
    EXPECT_EQ(song.Document(), first);

    // The same content written again is another file.
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    EXPECT_FALSE(
        ChannelLoop::Same(song.Document().channels[2].loop.get(), first.channels[2].loop.get()));
    EXPECT_NE(song.Document(), first);
    // A loop of its own temporary file is only ever the same as itself.
    ASSERT_EQ(Load(3, Bar(), false, 5), SongResult::Ok);
    const SongDocument loaded = song.Document();
    ASSERT_EQ(Load(3, Bar(), false, 5), SongResult::Ok);
    EXPECT_NE(song.Document(), loaded);
}

TEST(SongRestoreDetached, WithoutADeviceTheLoopsWaitUntilOneIsAttached) {
    tamboro::test::TempDir temp;
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    platform::EventLoop loop;
    FakeDevice device;
    device.format = Pcm(8000, 16, 2);
    Song song(loop);
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    song.NewSong(120.0);
    auto wave = RampLoop(4000, device.format, 2, "basso");
    ASSERT_EQ(song.ReplaceChannel(7, wave.get(), false), SongResult::Ok);
    const std::vector<std::uint8_t> prepared = device.loaded[song.GetVoice(7)].bytes;
    const SongDocument loaded = song.Document();
    ASSERT_EQ(song.ReplaceChannel(7, nullptr, false), SongResult::Ok);
    ASSERT_EQ(song.DetachDevice(), &device);

    ASSERT_EQ(song.RestoreDocument(loaded), SongResult::Ok);
    EXPECT_FALSE(song.IsChannelEmpty(7));
    EXPECT_TRUE(song.GetPreparedFile(7).empty());
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    EXPECT_EQ(device.loaded[song.GetVoice(7)].bytes, prepared);
    song.DetachDevice();
    ::unsetenv("TMPDIR");
}

// On a device whose engine renders when the test asks.
class SongRestoreLive : public ::testing::Test {
  protected:
    SongRestoreLive() : rig(LiveCase{22050, 16, 2, 120.0}), song(*rig.song) {}
    LiveRig rig;
    Song& song;
};

TEST_F(SongRestoreLive, RefusedWhileATakeRunsOrItsStopIsNotCarriedOut) {
    rig.Load(0, rig.Bar(), false, 1);
    const SongDocument empty = song.Document();
    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    rig.Render(4);
    EXPECT_TRUE(song.TakeRunning());
    EXPECT_EQ(song.RestoreDocument(empty), SongResult::WrongMode);

    // Stopped, but the audio thread has not carried the stop out: the
    // switch-off it records is still to come.
    ASSERT_EQ(song.StopMix(), SongResult::Ok);
    EXPECT_TRUE(song.TakeRunning());
    const SongDocument during = song.Document();
    EXPECT_EQ(song.RestoreDocument(empty), SongResult::WrongMode);
    EXPECT_EQ(song.Document(), during);

    // Carried out, its switch-off still in the queue: the restore takes it
    // in first, so it never reaches the restored document.
    rig.polling = false;
    rig.Render(2);
    EXPECT_FALSE(song.TakeRunning());
    ASSERT_EQ(song.RestoreDocument(empty), SongResult::Ok);
    EXPECT_EQ(song.Document(), empty);
    rig.polling = true;
    rig.Render(4);
    EXPECT_EQ(song.Document(), empty);  // nothing of the take arrives later

    *song.Events(0) = {{0, kChannelOn, 0, 0, 0}, {5000, kChannelOff, 0, 0, 0}};
    ASSERT_EQ(song.StartPlayback(Millis(0)), SongResult::Ok);
    rig.Render(2);
    EXPECT_EQ(song.RestoreDocument(empty), SongResult::WrongMode);
    EXPECT_EQ(song.Events(0)->size(), 2u);
    song.StopMix();
    rig.Render(2);
}

TEST_F(SongRestoreLive, CommandsWaitingForTheAudioThreadOutsideATakeHoldNothingUp) {
    // Nothing renders: a device taken away by another program does this.
    rig.Load(1, rig.Bar(), false, 3);
    const SongDocument loaded = song.Document();
    song.SetChannelVolume(1, -800);
    ASSERT_EQ(song.ReplaceChannel(1, nullptr, false), SongResult::Ok);
    EXPECT_FALSE(song.TakeRunning());
    ASSERT_EQ(song.RestoreDocument(loaded), SongResult::Ok);
    EXPECT_FALSE(song.IsChannelEmpty(1));
}

TEST_F(SongRestoreLive, ARestoredLoopIsSwitchedOffAndSoundsAgainFromItsSlot) {
    rig.Load(2, rig.Bar(), false, 4);
    const SongDocument before = song.Document();
    ASSERT_EQ(song.SwitchChannelOn(2), SongResult::Ok);
    rig.Render(2);
    auto other = PatternLoop(rig.format, rig.Bar() * 2, 9);
    ASSERT_EQ(song.ReplaceChannel(2, other.get(), false), SongResult::Ok);
    ASSERT_EQ(song.SwitchChannelOn(2), SongResult::Ok);
    rig.Render(2);
    ASSERT_TRUE(song.IsChannelPlaying(2));

    ASSERT_EQ(song.RestoreDocument(before), SongResult::Ok);
    rig.Render(2);
    EXPECT_FALSE(song.IsChannelPlaying(2));
    EXPECT_EQ(rig.device->GetFrameCount(static_cast<int>(song.GetVoice(2))), rig.Bar());
    ASSERT_EQ(song.SwitchChannelOn(2), SongResult::Ok);
    rig.Render(2);
    EXPECT_TRUE(song.IsChannelPlaying(2));
}

// A take with level moves, played back and stopped: the live levels and
// the sound go back to the levels at rest, master included, even when the
// playback's last reports arrive after the stop.
TEST(SongStopAtRest, TheChannelsAndTheMasterGoBackToTheirLevelsAtRest) {
    const LiveCase c{22050, 16, 2, 120.0};
    LiveRig played(c);
    LiveRig fresh(c);
    for (LiveRig* r : {&played, &fresh}) {
        r->Load(0, r->Bar(), false, 21);
        r->song->SetInitialVolume(0, -1200);
        r->song->SetChannelVolume(0, -1200);
        r->song->SetInitialPan(0, 3000);
        r->song->SetChannelPan(0, 3000);
        r->song->SetInitialMasterVolume(-700);
        r->song->SetMasterVolume(-700);
    }
    Song& song = *played.song;
    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    played.Render(2);
    song.SetChannelVolume(0, -4000);
    song.SetChannelPan(0, -6000);
    song.SetMasterVolume(-2500);
    played.Render(4);
    song.StopMix();
    played.Render(2);

    ASSERT_EQ(song.StartPlayback(Millis(0)), SongResult::Ok);
    // The moves are applied, their reports still queued when Stop comes.
    played.polling = false;
    played.Render(8);
    ASSERT_EQ(song.StopMixAtRest(), SongResult::Ok);
    played.polling = true;
    played.Render(2);
    EXPECT_FALSE(song.IsPlayingBack());
    EXPECT_EQ(song.GetChannelVolume(0), -1200);
    EXPECT_EQ(song.GetChannelPan(0), 3000);
    EXPECT_EQ(song.GetMasterVolume(), -700);

    // What sounds next is what a song that never moved its levels plays.
    for (LiveRig* r : {&played, &fresh}) {
        ASSERT_EQ(r->song->SwitchChannelOn(0), SongResult::Ok);
        r->capturing = true;
        r->Render(6);
    }
    ASSERT_FALSE(fresh.captured.empty());
    EXPECT_EQ(played.captured, fresh.captured);
}

}  // namespace
}  // namespace tamboro::engine::test
