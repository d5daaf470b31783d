// The mixdown on a worker thread: progress on the caller's thread, the same
// file as a direct render, and a cancel that leaves the old file and no
// partial output.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <thread>

#include "engine/SongStorage.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class SongStorageTest : public SongFixture {
  protected:
    // A mix of two channels lasting `ms`.
    void WriteMix(std::uint32_t ms) {
        ASSERT_EQ(Load(0, Bar(), false, 3), SongResult::Ok);
        ASSERT_EQ(Load(1, 2 * Bar(), false, 900), SongResult::Ok);
        *song.Events(0) = {{0, kMasterVolume, 0, static_cast<std::uint32_t>(-300), 0},
                           {0, kChannelOn, 0, 0, 0},
                           {ms, kChannelOff, 0, 0, 0}};
        *song.Events(1) = {{ms / 3, kChannelOn, 1, 0, 0},
                           {ms / 2, kVolume, 1, static_cast<std::uint32_t>(-1000), 0},
                           {ms, kChannelOff, 1, 0, 0}};
    }
    bool RunUntilDone(const bool& done) {
        return loop.RunUntil([&] { return done; }, std::chrono::seconds(60));
    }
    tamboro::test::TempDir out;
};

TEST_F(SongStorageTest, AMixdownOnTheWorkerReportsOnTheCallersThreadAndWritesTheRender) {
    WriteMix(20000);
    const audio::WAVEFORMATEX format = Pcm(8000, 16, 2);
    ASSERT_EQ(song.SaveSong(out.File("direct.wav"), Song::kSaveMixdown, &format), SongResult::Ok);

    SongStorage storage(loop);
    std::vector<int> percents;
    bool progressElsewhere = false;
    bool done = false;
    SongResult result = SongResult::Count_;
    const auto caller = std::this_thread::get_id();
    ASSERT_EQ(storage.StartMixdown(
                  song, out.File("worker.wav"), &format,
                  [&](int, int, int percent) {
                      progressElsewhere |= std::this_thread::get_id() != caller;
                      percents.push_back(percent);
                  },
                  [&](SongResult r) {
                      progressElsewhere |= std::this_thread::get_id() != caller;
                      result = r;
                      done = true;
                  }),
              SongResult::Ok);
    EXPECT_TRUE(storage.Busy());
    EXPECT_EQ(storage.StartMixdown(song, out.File("again.wav"), &format, {}, {}),
              SongResult::WrongMode);
    // The song may change meanwhile: the worker renders what it took.
    song.Events(1)->clear();
    ASSERT_TRUE(RunUntilDone(done));
    EXPECT_EQ(result, SongResult::Ok);
    EXPECT_FALSE(progressElsewhere);
    EXPECT_FALSE(storage.Busy());
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    audio::Wave a, b;
    ASSERT_EQ(audio::LoadWave(a, out.File("direct.wav"), audio::kTypeWav | audio::kLoadCopy),
              audio::SoundResult::Ok);
    ASSERT_EQ(audio::LoadWave(b, out.File("worker.wav"), audio::kTypeWav | audio::kLoadCopy),
              audio::SoundResult::Ok);
    ASSERT_EQ(a.DataBytes(), b.DataBytes());
    EXPECT_EQ(std::memcmp(a.Data(), b.Data(), a.DataBytes()), 0);
}

TEST_F(SongStorageTest, ACancelledMixdownLeavesTheOldFileAndNothingElse) {
    WriteMix(30 * 60 * 1000);  // half an hour: long enough to be cancelled midway
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    ASSERT_TRUE(tamboro::test::WriteAll(out.File("mix.wav"), old));
    SongStorage storage(loop);
    bool done = false;
    SongResult result = SongResult::Count_;
    const audio::WAVEFORMATEX format = Pcm(8000, 16, 2);
    ASSERT_EQ(storage.StartMixdown(song, out.File("mix.wav"), &format, {},
                                   [&](SongResult r) {
                                       result = r;
                                       done = true;
                                   }),
              SongResult::Ok);
    // Cancelled while the worker runs: whether it has opened the output yet
    // or not, the end must say Cancelled and leave the old file alone. (A
    // pause before cancelling made this depend on how busy the machine was.)
    storage.Cancel();
    ASSERT_TRUE(RunUntilDone(done));
    EXPECT_EQ(result, SongResult::Cancelled);
    EXPECT_EQ(tamboro::test::ReadAll(out.File("mix.wav")), old);
    EXPECT_EQ(out.List(), std::vector<std::string>{"mix.wav"});
}

TEST_F(SongStorageTest, NothingToRenderIsRefusedAtOnce) {
    SongStorage storage(loop);
    bool called = false;
    EXPECT_EQ(storage.StartMixdown(song, out.File("none.wav"), nullptr, {},
                                   [&](SongResult) { called = true; }),
              SongResult::NoMix);
    EXPECT_FALSE(storage.Busy());
    loop.ProcessPending();
    EXPECT_FALSE(called);
}

// --- Song files on the worker ------------------------------------------------

class SongFileStorageTest : public SongStorageTest {
  protected:
    static constexpr std::array<int, 4> kLoops = {0, 3, 7, 12};
    // Four loops, a mix and texts.
    void Compose(int seed = 0) {
        for (const int ch : kLoops)
            ASSERT_EQ(Load(ch, Bar() + 50 * static_cast<std::uint32_t>(ch), ch == 12, seed + ch),
                      SongResult::Ok);
        song.SetTitle("Brano " + std::to_string(seed));
        song.SetNotes("note");
        song.SetInitialVolume(3, -700);
        *song.Events(3) = {{0, kChannelOn, 3, 0, 0}, {1500, kChannelOff, 3, 0, 0}};
    }
    // Runs a job started by `start` to its end; the progress seen goes to
    // `seen`, and `onProgress` may cancel.
    SongResult Run(SongStorage& storage,
                   const std::function<SongResult(ProgressFn, SongStorage::DoneFn)>& start,
                   std::vector<std::array<int, 3>>* seen = nullptr,
                   const std::function<void(int, int, int)>& onProgress = {}) {
        bool done = false;
        SongResult result = SongResult::Count_;
        const auto caller = std::this_thread::get_id();
        const SongResult started = start(
            [&](int phase, int ch, int percent) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                if (seen != nullptr) seen->push_back({phase, ch, percent});
                if (onProgress) onProgress(phase, ch, percent);
            },
            [&](SongResult r) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                result = r;
                done = true;
            });
        if (started != SongResult::Ok) return started;
        EXPECT_TRUE(RunUntilDone(done));
        EXPECT_FALSE(storage.Busy());
        return result;
    }
    // The device's view of the song: what each channel's slot holds.
    std::vector<std::vector<std::uint8_t>> SlotBytes() const {
        std::vector<std::vector<std::uint8_t>> bytes;
        for (int ch = 0; ch < kChannelCount; ++ch)
            bytes.push_back(device.loaded[static_cast<std::size_t>(Slot(ch))].bytes);
        return bytes;
    }
};

TEST_F(SongFileStorageTest, ASaveOnTheWorkerWritesWhatADirectSaveWrites) {
    Compose();
    ASSERT_EQ(song.SaveSong(out.File("direct.tbo"), 0, nullptr), SongResult::Ok);
    ASSERT_EQ(song.SaveSong(out.File("direct-mix.tbo"), Song::kSaveMixOnly, nullptr),
              SongResult::Ok);
    const audio::WAVEFORMATEX format = Pcm(11025, 8, 1);
    ASSERT_EQ(song.SaveSong(out.File("direct-8.tbo"), 0, &format), SongResult::Ok);

    SongStorage storage(loop);
    std::vector<std::array<int, 3>> seen;
    ASSERT_EQ(Run(
                  storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      const SongResult r = storage.StartSave(song, out.File("worker.tbo"), 0,
                                                             nullptr, std::move(p), std::move(d));
                      // The song may change meanwhile: the worker writes what it took.
                      song.SetTitle("changed");
                      Load(3, Bar(), false, 77);
                      return r;
                  },
                  &seen),
              SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(out.File("worker.tbo")),
              tamboro::test::ReadAll(out.File("direct.tbo")));
    ASSERT_EQ(seen.size(), 20u);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        EXPECT_EQ(seen[static_cast<std::size_t>(ch)], (std::array<int, 3>{3, ch, ch * 5}));
    }
    song.SetTitle("Brano 0");
    Load(3, Bar() + 150, false, 3);
    *song.Events(3) = {{0, kChannelOn, 3, 0, 0}, {1500, kChannelOff, 3, 0, 0}};
    song.SetInitialVolume(3, -700);
    ASSERT_EQ(Run(storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartSave(song, out.File("worker-mix.tbo"), Song::kSaveMixOnly,
                                               nullptr, std::move(p), std::move(d));
                  }),
              SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(out.File("worker-mix.tbo")),
              tamboro::test::ReadAll(out.File("direct-mix.tbo")));
    ASSERT_EQ(Run(storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartSave(song, out.File("worker-8.tbo"), 0, &format,
                                               std::move(p), std::move(d));
                  }),
              SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(out.File("worker-8.tbo")),
              tamboro::test::ReadAll(out.File("direct-8.tbo")));
}

TEST_F(SongFileStorageTest, ASaveCancelledHalfWayLeavesTheOldFileAndNoTemporaryFile) {
    Compose(1);
    ASSERT_EQ(song.SaveSong(out.File("song.tbo"), 0, nullptr), SongResult::Ok);
    const auto old = tamboro::test::ReadAll(out.File("song.tbo"));
    ASSERT_FALSE(old.empty());
    song.SetTitle("a new title");
    Load(5, 2 * Bar(), false, 9);
    for (const bool withFormat : {false, true}) {
        SCOPED_TRACE(withFormat ? "converted" : "as loaded");
        const audio::WAVEFORMATEX format = Pcm(11025, 16, 1);
        SongStorage storage(loop);
        std::vector<std::array<int, 3>> seen;
        // Cancelled from the progress dialog as channel 7's loop is reached:
        // the loops of channels 0, 3 and 5 are already in the new file.
        EXPECT_EQ(Run(
                      storage,
                      [&](ProgressFn p, SongStorage::DoneFn d) {
                          return storage.StartSave(song, out.File("song.tbo"), 0,
                                                   withFormat ? &format : nullptr, std::move(p),
                                                   std::move(d));
                      },
                      &seen,
                      [&](int, int ch, int) {
                          if (ch == 7) storage.Cancel();
                      }),
                  SongResult::Cancelled);
        // The worker stopped before its next step.
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back()[1], 7);
        EXPECT_EQ(tamboro::test::ReadAll(out.File("song.tbo")), old);
        EXPECT_EQ(out.List(), std::vector<std::string>{"song.tbo"});
    }
    // The song file loads as the song it was.
    ASSERT_EQ(song.LoadSong(out.File("song.tbo"), 0), SongResult::Ok);
    EXPECT_EQ(song.GetTitle(), "Brano 1");
    EXPECT_TRUE(song.IsChannelEmpty(5));
}

TEST_F(SongFileStorageTest, ALoadOnTheWorkerGivesTheSongADirectLoadGives) {
    Compose(2);
    ASSERT_EQ(song.SaveSong(out.File("song.tbo"), 0, nullptr), SongResult::Ok);
    ASSERT_EQ(song.LoadSong(out.File("song.tbo"), 0), SongResult::Ok);
    const SongDocument direct = song.Document();
    const auto directSlots = SlotBytes();

    song.NewSong(130.0);
    Load(1, Bar(), false, 5);
    const SongDocument before = song.Document();
    SongStorage storage(loop);
    std::vector<std::array<int, 3>> seen;
    bool untouchedMeanwhile = true;
    ASSERT_EQ(Run(
                  storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartLoad(song, out.File("song.tbo"), 0, std::move(p),
                                               std::move(d));
                  },
                  &seen, [&](int, int, int) { untouchedMeanwhile &= song.Document() == before; }),
              SongResult::Ok);
    // Until its end the worker leaves the song alone.
    EXPECT_TRUE(untouchedMeanwhile);
    ASSERT_EQ(seen.size(), 20u);
    EXPECT_EQ(seen.back(), (std::array<int, 3>{1, 19, 95}));
    EXPECT_EQ(song.Document(), direct);
    EXPECT_EQ(SlotBytes(), directSlots);
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    for (const int ch : kLoops) {
        EXPECT_EQ(song.GetChannelFlags(ch) & (kLoaded | kInArchive), kLoaded | kInArchive);
        EXPECT_FALSE(song.GetPreparedFile(ch).empty());
        EXPECT_EQ(device.loaded[static_cast<std::size_t>(Slot(ch))].path, song.GetPreparedFile(ch));
    }
    // A mix-only load onto it as well.
    ASSERT_EQ(song.SaveSong(out.File("mix.tbo"), Song::kSaveMixOnly, nullptr), SongResult::Ok);
    song.Events(3)->clear();
    ASSERT_EQ(Run(storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartLoad(song, out.File("mix.tbo"), Song::kLoadMixOnly,
                                               std::move(p), std::move(d));
                  }),
              SongResult::Ok);
    EXPECT_EQ(song.Document(), direct);
}

TEST_F(SongFileStorageTest, ACancelledLoadLeavesTheSongUntouchedAndNoPreparedFiles) {
    Compose(3);
    ASSERT_EQ(song.SaveSong(out.File("song.tbo"), 0, nullptr), SongResult::Ok);
    song.NewSong(130.0);
    Load(1, Bar(), false, 5);
    Load(3, 2 * Bar(), true, 6);
    *song.Events(1) = {{0, kChannelOn, 1, 0, 0}, {900, kChannelOff, 1, 0, 0}};
    const SongDocument before = song.Document();
    const auto slots = SlotBytes();
    const std::string prepared1 = song.GetPreparedFile(1);
    const auto tempFiles = temp.List();
    SongStorage storage(loop);
    std::vector<std::array<int, 3>> seen;
    // Cancelled when channel 7 is reached: channels 0 and 3 are prepared.
    EXPECT_EQ(Run(
                  storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartLoad(song, out.File("song.tbo"), 0, std::move(p),
                                               std::move(d));
                  },
                  &seen,
                  [&](int, int ch, int) {
                      if (ch == 7) storage.Cancel();
                  }),
              SongResult::Cancelled);
    EXPECT_EQ(seen.back()[1], 7);
    EXPECT_EQ(song.Document(), before);
    EXPECT_EQ(SlotBytes(), slots);
    EXPECT_EQ(song.GetPreparedFile(1), prepared1);
    EXPECT_EQ(song.GetTempo(), 130.0);
    // What the worker prepared is gone again.
    EXPECT_EQ(temp.List(), tempFiles);
}

TEST_F(SongFileStorageTest, FilesThatCannotBeLoadedAnswerAsADirectLoadDoes) {
    Compose(4);
    const SongDocument before = song.Document();
    SongStorage storage(loop);
    const auto load = [&](const std::string& path) {
        return Run(storage, [&](ProgressFn p, SongStorage::DoneFn d) {
            return storage.StartLoad(song, path, 0, std::move(p), std::move(d));
        });
    };
    // No file: the song stays.
    EXPECT_EQ(load(out.File("none.tbo")), SongResult::OpenFailed);
    EXPECT_EQ(song.Document(), before);
    // Not a song file: refused before anything is touched.
    ASSERT_TRUE(tamboro::test::WriteAll(out.File("junk.tbo"), {'j', 'u', 'n', 'k'}));
    EXPECT_EQ(load(out.File("junk.tbo")), SongResult::BadSongFile);
    EXPECT_EQ(song.Document(), before);
    EXPECT_FALSE(storage.Busy());
}

TEST_F(SongFileStorageTest, SavingTheSongFileOnTheWorkerReplacesItAndReloadsTheSong) {
    Compose(5);
    ASSERT_EQ(song.SaveSong(out.File("song.tbo"), 0, nullptr), SongResult::Ok);
    ASSERT_EQ(song.LoadSong(out.File("song.tbo"), 0), SongResult::Ok);
    song.SetTitle("saved again");
    Load(5, Bar(), false, 8);  // a loop of its own source file
    ASSERT_FALSE(song.GetSourceFile(5).empty());
    SongStorage storage(loop);
    ASSERT_EQ(Run(storage,
                  [&](ProgressFn p, SongStorage::DoneFn d) {
                      return storage.StartSaveFile(song, out.File("song.tbo"), nullptr,
                                                   std::move(p), std::move(d));
                  }),
              SongResult::Ok);
    EXPECT_EQ(out.List(), std::vector<std::string>{"song.tbo"});
    // Reloaded: every loop now lies in the new file.
    EXPECT_EQ(song.GetTitle(), "saved again");
    EXPECT_TRUE(song.GetSourceFile(5).empty());
    EXPECT_EQ(song.GetChannelFlags(5), kLoaded | kInArchive);
    const SongDocument reloaded = song.Document();
    ASSERT_EQ(song.LoadSong(out.File("song.tbo"), 0), SongResult::Ok);
    EXPECT_EQ(song.Document(), reloaded);
}

TEST_F(SongFileStorageTest, OneJobAtATime) {
    Compose(6);
    SongStorage storage(loop);
    bool done = false;
    ASSERT_EQ(storage.StartSave(song, out.File("a.tbo"), 0, nullptr, {},
                                [&](SongResult) { done = true; }),
              SongResult::Ok);
    EXPECT_EQ(storage.StartLoad(song, out.File("a.tbo"), 0, {}, {}), SongResult::WrongMode);
    EXPECT_EQ(storage.StartSave(song, out.File("b.tbo"), 0, nullptr, {}, {}),
              SongResult::WrongMode);
    EXPECT_EQ(storage.StartSaveFile(song, out.File("b.tbo"), nullptr, {}, {}),
              SongResult::WrongMode);
    ASSERT_TRUE(RunUntilDone(done));
    EXPECT_EQ(out.List(), std::vector<std::string>{"a.tbo"});
}

TEST_F(SongFileStorageTest, AStorageDestroyedWhileItLoadsLeavesTheSongAndNoFiles) {
    Compose(7);
    ASSERT_EQ(song.SaveSong(out.File("song.tbo"), 0, nullptr), SongResult::Ok);
    const SongDocument before = song.Document();
    const auto tempFiles = temp.List();
    {
        SongStorage storage(loop);
        ASSERT_EQ(storage.StartLoad(song, out.File("song.tbo"), 0, {}, {}), SongResult::Ok);
    }
    loop.ProcessPending();
    EXPECT_EQ(song.Document(), before);
    EXPECT_EQ(temp.List(), tempFiles);
}

}  // namespace
}  // namespace tamboro::engine::test
