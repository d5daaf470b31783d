// The mixdown on a worker thread: progress on the caller's thread, the same
// file as a direct render, and a cancel that leaves the old file and no
// partial output.
#include <gtest/gtest.h>

#include <thread>

#include "engine/SongStorage.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class SongStorageTest : public SongFixture {
  protected:
    // A mix of two channels lasting `ms`.
    void WriteMix(std::uint32_t ms) {
        ASSERT_EQ(Load(0, Bar(), false, 3), 0);
        ASSERT_EQ(Load(1, 2 * Bar(), false, 900), 0);
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
    ASSERT_EQ(song.SaveSong(out.File("direct.wav"), Song::kSaveMixdown, &format), 0);

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

}  // namespace
}  // namespace tamboro::engine::test
