// Undo and redo of the channel commands, lane edits and whole recordings on
// a real song: the saved song file and the device's slots come back byte
// for byte.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "console/logic/LaneDrag.h"
#include "console/logic/ProTimeline.h"
#include "console/logic/SongUndo.h"
#include "tests/engine/LiveRig.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::console {
namespace {

using engine::SongDocument;
using engine::SongResult;
using Bytes = std::vector<std::uint8_t>;

class SongUndoTest : public engine::test::SongFixture {
  protected:
    void SetUp() override {
        SongFixture::SetUp();
        // Three loop files: a bar, a bar and a half (fitted to one or two
        // bars) and a short one.
        const std::uint32_t frames[] = {Bar(), Bar() * 3 / 2 + 17, Bar() / 3};
        for (int i = 0; i < 3; ++i) {
            auto wave = engine::test::RampLoop(frames[i], device.format, 100 * i);
            const std::string path = files.File("loop" + std::to_string(i) + ".wav");
            ASSERT_EQ(audio::SaveWave(*wave, path, audio::kTypeWav), audio::SoundResult::Ok);
            loopFiles.push_back(path);
        }
    }

    Bytes SavedSong(const std::string& name) {
        const std::string path = files.File(name);
        EXPECT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
        return tamboro::test::ReadAll(path);
    }
    std::array<Bytes, engine::kChannelCount> Slots() const {
        std::array<Bytes, engine::kChannelCount> slots;
        for (int ch = 0; ch < engine::kChannelCount; ++ch)
            slots[ch] = device.loaded[Slot(ch)].bytes;
        return slots;
    }
    engine::Song::LoadChoice Choice(bool effect) {
        engine::Song::LoadChoice choice;
        choice.effect = effect;
        return choice;
    }

    // One command as the consoles and the frame issue it.
    void RandomCommand(std::mt19937& rng) {
        const int ch = static_cast<int>(rng() % 6);
        switch (rng() % 8) {
            case 0:
            case 1:
                undo.LoadLoop(ch, loopFiles[rng() % 3], Choice(rng() % 4 == 0));
                break;
            case 2:
                undo.RemoveLoop(ch);
                break;
            case 3:
                undo.RenameChannel(ch, "traccia " + std::to_string(rng() % 100));
                break;
            case 4:
                undo.SwitchEffect(ch);
                break;
            case 5: {
                undo.Record();
                ProTimeline axis(song.GetTempo(), 0);
                LaneDrag drag;
                ASSERT_TRUE(
                    drag.Press(*song.Events(ch), ch, axis, static_cast<int>(rng() % 480), 0));
                drag.Move(axis, static_cast<int>(rng() % 480), 1000);
                drag.Release();
                break;
            }
            case 6: {
                undo.Record();
                const int v = -static_cast<int>(rng() % 6000);
                song.SetInitialVolume(ch, v);
                song.SetChannelVolume(ch, v);
                song.SetInitialMasterVolume(-static_cast<int>(rng() % 3000));
                break;
            }
            default:
                // A save: the song is loaded again from the file; the steps
                // stay.
                ASSERT_EQ(song.SaveSongFile(files.File("brano.tbo"), nullptr), SongResult::Ok);
                undo.History().MarkSaved();
                savedSince = true;
                break;
        }
    }

    tamboro::test::TempDir files;
    std::vector<std::string> loopFiles;
    bool savedSince = false;  // the file was saved since the start state
    SongUndo undo{song};
};

TEST_F(SongUndoTest, CommandsUndoneToTheStartGiveTheOriginalSongFileAndSlots) {
    ASSERT_EQ(Load(0, Bar(), false, 1), SongResult::Ok);
    ASSERT_EQ(Load(4, Bar() * 2, true, 2), SongResult::Ok);
    *song.Events(0) = {{0, engine::kChannelOn, 0, 0, 0}, {6000, engine::kChannelOff, 0, 0, 0}};
    // The song as opened from a file: its loops lie in the file.
    ASSERT_EQ(song.SaveSongFile(files.File("brano.tbo"), nullptr), SongResult::Ok);
    undo.History().Clear();
    const Bytes original = SavedSong("original.tbo");
    const auto originalSlots = Slots();

    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 60; ++i)
            RandomCommand(rng);
        const Bytes edited = SavedSong("edited.tbo");
        const auto editedSlots = Slots();
        ASSERT_NE(edited, original) << seed;
        ASSERT_TRUE(undo.CanUndo());

        int steps = 0;
        for (UndoOutcome o = undo.Undo(); o.history == HistoryResult::Ok; o = undo.Undo()) {
            ASSERT_EQ(o.song, SongResult::Ok);
            ++steps;
        }
        EXPECT_EQ(SavedSong("undone.tbo"), original) << seed;
        EXPECT_EQ(Slots(), originalSlots) << seed;
        // Modified against the file on disk when it was saved on the way.
        EXPECT_EQ(undo.History().IsModified(), savedSince);

        int redone = 0;
        for (UndoOutcome o = undo.Redo(); o.history == HistoryResult::Ok; o = undo.Redo()) {
            ASSERT_EQ(o.song, SongResult::Ok);
            ++redone;
        }
        EXPECT_EQ(redone, steps);
        EXPECT_EQ(SavedSong("redone.tbo"), edited) << seed;
        EXPECT_EQ(Slots(), editedSlots) << seed;

        // Back to the start for the next sequence.
        while (undo.Undo().history == HistoryResult::Ok) {
        }
    }
}

TEST_F(SongUndoTest, EachCommandIsOneStepAndAFailedOneIsNone) {
    ASSERT_EQ(undo.LoadLoop(2, loopFiles[0], Choice(false)).Ok(), true);
    EXPECT_EQ(undo.History().UndoSteps(), 1u);
    EXPECT_EQ(undo.RenameChannel(2, "Rullante"), SongResult::Ok);
    EXPECT_EQ(undo.SwitchEffect(2), SongResult::Ok);
    EXPECT_EQ(undo.History().UndoSteps(), 3u);
    // Nothing changes: no step.
    EXPECT_NE(undo.SwitchEffect(7), SongResult::Ok);  // an empty channel
    EXPECT_FALSE(undo.LoadLoop(3, files.File("missing.wav"), Choice(false)).Ok());
    EXPECT_EQ(undo.RenameChannel(2, "Rullante"), SongResult::Ok);
    EXPECT_EQ(undo.History().UndoSteps(), 3u);

    UndoOutcome o = undo.Undo();  // the effect switch
    ASSERT_EQ(o.history, HistoryResult::Ok);
    EXPECT_EQ(o.reloaded, 1u << 2);
    EXPECT_EQ(song.IsEffect(2), 0);
    o = undo.Undo();  // the name
    EXPECT_EQ(o.reloaded, 0u);
    EXPECT_EQ(song.GetChannelName(2), "loop0");
    o = undo.Undo();  // the load
    EXPECT_EQ(o.reloaded, 1u << 2);
    EXPECT_EQ(song.IsChannelEmpty(2), 1);
    EXPECT_EQ(undo.Undo().history, HistoryResult::Nothing);
}

TEST_F(SongUndoTest, TheTempoAFirstLoopSetIsUndoneWithIt) {
    const auto yes = [](unsigned id) { return id == 164; };
    // Six seconds: tempo 160, four bars.
    auto wave = engine::test::RampLoop(8000 * 6, device.format, 0);
    const std::string path = files.File("sei.wav");
    ASSERT_EQ(audio::SaveWave(*wave, path, audio::kTypeWav), audio::SoundResult::Ok);
    ASSERT_TRUE(undo.LoadLoop(0, path, Choice(false), yes).tempoSet);
    ASSERT_EQ(song.GetTempo(), 160.0);

    UndoOutcome o = undo.Undo();
    ASSERT_EQ(o.history, HistoryResult::Ok);
    EXPECT_TRUE(o.tempoChanged);
    EXPECT_EQ(song.GetTempo(), 120.0);
    EXPECT_EQ(song.ClockPeriod().count, 8u * engine::SamplesPerBar(8000, 120.0));
    o = undo.Redo();
    EXPECT_TRUE(o.tempoChanged);
    EXPECT_EQ(song.GetTempo(), 160.0);
    EXPECT_EQ(song.GetPreparedLength(0), 6000u);
}

TEST_F(SongUndoTest, StepsShareTheLoopsOfTheSong) {
    ASSERT_TRUE(undo.LoadLoop(1, loopFiles[1], Choice(false)).Ok());
    const auto& loop = song.Document().channels[1].loop;
    ASSERT_TRUE(loop);
    const long owners = loop.use_count();  // the song and the load's step
    for (int i = 0; i < 100; ++i) {
        undo.Record();
        song.SetTitle("brano " + std::to_string(i));
    }
    EXPECT_EQ(loop.use_count(), owners + 100);
    // Undone, the steps give the song the very same loop back.
    const engine::ChannelLoop* same = loop.get();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(undo.Undo().history, HistoryResult::Ok);
    EXPECT_EQ(song.Document().channels[1].loop.get(), same);
    EXPECT_EQ(song.GetTitle(), "");
}

// A whole recording is one step, refused until the take has fully ended.
TEST(SongUndoRecording, ATakeIsUndoneWholeAndRedone) {
    engine::test::LiveRig rig(engine::test::LiveCase{22050, 16, 2, 120.0});
    engine::Song& song = *rig.song;
    SongUndo undo(song);
    rig.Load(0, rig.Bar(), false, 1);
    rig.Load(3, rig.Bar() * 2, false, 2);
    *song.Events(3) = {{0, engine::kChannelOn, 3, 0, 0}, {1500, engine::kChannelOff, 3, 0, 0}};
    const auto mixFile = [&](const char* name) {
        const std::string path = rig.temp.File(name);
        EXPECT_EQ(song.SaveSong(path, engine::Song::kSaveMixOnly, nullptr), SongResult::Ok);
        return tamboro::test::ReadAll(path);
    };
    const Bytes before = mixFile("before.tbo");

    ASSERT_EQ(undo.StartRecording(), SongResult::Ok);
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    rig.Render(3);
    song.SetChannelVolume(0, -2000);
    ASSERT_EQ(song.SwitchChannelOn(3), SongResult::Ok);
    rig.Render(3);
    EXPECT_EQ(undo.Undo().history, HistoryResult::Busy);
    song.StopMix();
    // The stop is not carried out yet: the take's last switch-offs are
    // still to come.
    EXPECT_EQ(undo.Undo().history, HistoryResult::Busy);
    rig.Render(2);
    const Bytes take = mixFile("take.tbo");
    ASSERT_NE(take, before);
    EXPECT_EQ(undo.History().UndoSteps(), 1u);

    ASSERT_EQ(undo.Undo().history, HistoryResult::Ok);
    EXPECT_EQ(mixFile("undone.tbo"), before);
    ASSERT_EQ(undo.Redo().history, HistoryResult::Ok);
    EXPECT_EQ(mixFile("redone.tbo"), take);

    ASSERT_EQ(song.StartPlayback(engine::Millis(0)), SongResult::Ok);
    rig.Render(1);
    EXPECT_EQ(undo.Undo().history, HistoryResult::Busy);
    EXPECT_EQ(mixFile("playing.tbo"), take);
    song.StopMix();
    rig.Render(2);
    EXPECT_EQ(undo.Undo().history, HistoryResult::Ok);
}

}  // namespace
}  // namespace tamboro::console
