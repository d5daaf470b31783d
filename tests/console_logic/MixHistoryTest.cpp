#include <gtest/gtest.h>

#include <random>

#include "console/logic/LaneDrag.h"
#include "console/logic/MixHistory.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::console {
namespace {

using engine::SongDocument;

SongDocument Titled(const char* title) {
    SongDocument doc;
    doc.tempo = 120.0;
    doc.title = title;
    return doc;
}

TEST(MixHistory, UndoAndRedoWalkTheStatesInOrder) {
    MixHistory history;
    SongDocument doc = Titled("a");
    SongDocument out = Titled("untouched");
    EXPECT_EQ(history.Undo(doc, false, out), HistoryResult::Nothing);
    EXPECT_EQ(history.Redo(doc, false, out), HistoryResult::Nothing);
    EXPECT_EQ(out.title, "untouched");

    for (const char* next : {"b", "c"}) {
        history.Record(doc);
        doc.title = next;
    }
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(out.title, "b");
    doc = out;
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(out.title, "a");
    doc = out;
    EXPECT_EQ(history.Undo(doc, false, out), HistoryResult::Nothing);
    ASSERT_EQ(history.Redo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(out.title, "b");
    doc = out;
    // A new change drops what could be redone.
    history.Record(doc);
    doc.title = "d";
    EXPECT_FALSE(history.CanRedo());
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(out.title, "b");
}

TEST(MixHistory, RefusedWhileRecordingOrPlayingBack) {
    MixHistory history;
    SongDocument doc = Titled("a");
    history.Record(doc);
    doc.title = "b";
    SongDocument out = Titled("untouched");
    EXPECT_EQ(history.Undo(doc, true, out), HistoryResult::Busy);
    EXPECT_EQ(out.title, "untouched");
    EXPECT_EQ(history.UndoSteps(), 1u);
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(history.Redo(out, true, doc), HistoryResult::Busy);
    EXPECT_EQ(history.RedoSteps(), 1u);
}

TEST(MixHistory, KeepsAtLeastAHundredStepsAndDropsTheOldest) {
    MixHistory history;
    SongDocument doc = Titled("0");
    for (int i = 1; i <= 100; ++i) {
        history.Record(doc);
        doc.title = std::to_string(i);
    }
    SongDocument out;
    for (int i = 99; i >= 0; --i) {
        ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok) << i;
        EXPECT_EQ(out.title, std::to_string(i));
        doc = out;
    }

    MixHistory small(3);
    for (int i = 1; i <= 5; ++i) {
        small.Record(doc);
        doc.title = std::to_string(100 + i);
    }
    EXPECT_EQ(small.UndoSteps(), 3u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(small.Undo(doc, false, out), HistoryResult::Ok);
        doc = out;
    }
    EXPECT_EQ(doc.title, "102");
    EXPECT_EQ(small.Undo(doc, false, out), HistoryResult::Nothing);
}

TEST(MixHistory, TheModifiedMarkFollowsTheSavedState) {
    MixHistory history;
    SongDocument doc = Titled("a");
    SongDocument out;
    EXPECT_FALSE(history.IsModified());
    history.Record(doc);
    doc.title = "b";
    EXPECT_TRUE(history.IsModified());
    history.MarkSaved();  // saved at "b"
    EXPECT_FALSE(history.IsModified());
    history.Record(doc);
    doc.title = "c";
    EXPECT_TRUE(history.IsModified());
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);  // back at "b"
    doc = out;
    EXPECT_FALSE(history.IsModified());
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);  // "a": older than the save
    doc = out;
    EXPECT_TRUE(history.IsModified());
    ASSERT_EQ(history.Redo(doc, false, out), HistoryResult::Ok);
    doc = out;
    EXPECT_FALSE(history.IsModified());
    // Undo past the save and change something else: a new state, modified
    // even when the saved one is redone no more.
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    doc = out;
    history.Record(doc);
    doc.title = "e";
    EXPECT_TRUE(history.IsModified());
}

TEST(MixHistory, OpeningAnotherSongClearsEverything) {
    MixHistory history;
    SongDocument doc = Titled("a");
    history.Record(doc);
    history.Record(doc);
    SongDocument out;
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    history.Clear();
    EXPECT_FALSE(history.CanUndo());
    EXPECT_FALSE(history.CanRedo());
    EXPECT_FALSE(history.IsModified());
    EXPECT_EQ(history.Undo(doc, false, out), HistoryResult::Nothing);
}

TEST(MixHistory, AChangeTheStepsCannotTakeBackKeepsTheSongModified) {
    MixHistory history;
    SongDocument doc = Titled("a");
    SongDocument out;
    history.Record(doc);  // a lane edit after the save
    doc.title = "b";
    history.Forget();  // then, say, a loop loaded
    EXPECT_FALSE(history.CanUndo());
    EXPECT_TRUE(history.IsModified());
    // An edit and its undo come back to the state after the loop, which was
    // never saved.
    history.Record(doc);
    doc.title = "c";
    ASSERT_EQ(history.Undo(doc, false, out), HistoryResult::Ok);
    EXPECT_EQ(out.title, "b");
    EXPECT_TRUE(history.IsModified());
    history.MarkSaved();
    EXPECT_FALSE(history.IsModified());
}

// Lane edits, level events, titles and levels at rest on a real song;
// undone to the start the saved file is the original byte for byte, redone
// it is the edited one.
class HistoryRoundTrip : public engine::test::SongFixture {
  protected:
    std::vector<std::uint8_t> Saved(const char* name) {
        const std::string path = files.File(name);
        EXPECT_EQ(song.SaveSong(path, engine::Song::kSaveMixOnly, nullptr), engine::SongResult::Ok);
        return tamboro::test::ReadAll(path);
    }
    void RandomEdit(std::mt19937& rng) {
        const int ch = static_cast<int>(rng() % engine::kChannelCount);
        switch (rng() % 5) {
            case 0:
            case 1:
            case 2: {
                ProTimeline axis(song.GetTempo(), rng() % 6);
                LaneDrag drag;
                const int from = static_cast<int>(rng() % 480);
                const int to = static_cast<int>(rng() % 700) - 100;
                ASSERT_TRUE(drag.Press(*song.Events(ch), ch, axis, from, 0));
                if (drag.Move(axis, to, 1000) == AutoScroll::Right) axis.ScrollRight1();
                drag.Move(axis, to, 1000);
                drag.Release();
                break;
            }
            case 3: {
                const engine::MixEvent volume{
                    static_cast<std::uint32_t>(rng() % 30000), engine::kVolume,
                    static_cast<std::uint32_t>(ch),
                    static_cast<std::uint32_t>(-static_cast<int>(rng() % 3000)), 0};
                engine::InsertEvent(*song.Events(ch), volume);
                break;
            }
            default:
                song.SetTitle("brano " + std::to_string(rng() % 1000));
                song.SetInitialVolume(ch, -static_cast<int>(rng() % 5000));
                break;
        }
    }
    tamboro::test::TempDir files;
};

TEST_F(HistoryRoundTrip, EditsUndoneToTheStartGiveTheOriginalFile) {
    ASSERT_EQ(Load(2, Bar()), engine::SongResult::Ok);
    ASSERT_EQ(Load(9, Bar() / 2, true), engine::SongResult::Ok);
    (*song.Events(2)) = {{0, engine::kChannelOn, 2, 0, 0}, {4000, engine::kChannelOff, 2, 0, 0}};
    const auto original = Saved("original.tbo");
    const SongDocument originalDoc = song.Document();

    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        MixHistory history;
        const int edits = 120;
        for (int i = 0; i < edits; ++i) {
            history.Record(song.Document());
            RandomEdit(rng);
        }
        const auto edited = Saved("edited.tbo");
        ASSERT_NE(edited, original);
        const SongDocument editedDoc = song.Document();

        SongDocument back;
        int undone = 0;
        while (history.Undo(song.Document(), song.IsRecording() || song.IsPlayingBack(), back) ==
               HistoryResult::Ok) {
            ASSERT_EQ(song.RestoreDocument(back), engine::SongResult::Ok);
            ++undone;
        }
        EXPECT_EQ(undone, edits);
        EXPECT_EQ(song.Document(), originalDoc);
        EXPECT_EQ(Saved("undone.tbo"), original) << seed;

        while (history.Redo(song.Document(), false, back) == HistoryResult::Ok)
            ASSERT_EQ(song.RestoreDocument(back), engine::SongResult::Ok);
        EXPECT_EQ(song.Document(), editedDoc);
        EXPECT_EQ(Saved("redone.tbo"), edited) << seed;

        // Back to the start for the next sequence.
        while (history.Undo(song.Document(), false, back) == HistoryResult::Ok)
            ASSERT_EQ(song.RestoreDocument(back), engine::SongResult::Ok);
    }
}

}  // namespace
}  // namespace tamboro::console
