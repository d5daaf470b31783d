// Loading loops stretched to the song's tempo: the stretched loop is the
// channel's source, a loop at the tempo comes back as it was, refusals and
// cancels leave the song as it was, effects are never stretched, and a
// saved song holds the stretched loop as a plain WAV sample record.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "audio/convert/FormatTags.h"
#include "audio/files/ConvertWave.h"
#include "audio/files/SoundFile.h"
#include "base/UnfmArchive.h"
#include "engine/LoopFitting.h"
#include "engine/LoopStretch.h"
#include "engine/SongHeader.h"
#include "engine/SongStorage.h"
#include "platform/StringTable.h"
#include "tests/engine/SongFixture.h"
#include "tests/support/ClickTrack.h"

namespace tamboro::engine::test {
namespace {

using tamboro::test::BeatOffsets;
using tamboro::test::DominantFrequency;
using tamboro::test::kClickTone;
using tamboro::test::LeftChannel;
using tamboro::test::MakeClickTrack;

constexpr std::uint32_t kLoopRate = 44100;

class LoopStretch : public SongFixture {
  protected:
    // A click track written to a WAV file; its path.
    std::string ClickFile(const std::string& name, double tempo, double bars = 1,
                          std::uint16_t channels = 2) {
        audio::Wave wave;
        EXPECT_TRUE(MakeClickTrack(wave, kLoopRate, tempo, channels, 16, bars));
        const std::string path = files.File(name + ".wav");
        EXPECT_EQ(audio::SaveWave(wave, path, audio::kTypeWav), audio::SoundResult::Ok);
        return path;
    }
    Song::LoadLoopReport LoadStretched(int ch, const std::string& path,
                                       std::function<bool(int)> progress = {}) {
        return song.LoadLoop(ch, path, Song::LoadChoice{false, true, std::move(progress)});
    }
    std::uint32_t DeviceFrames(int ch) {
        return device.GetDataBytes(Slot(ch)) / device.GetBytesPerFrame(Slot(ch));
    }
    std::vector<std::uint8_t> SourceSamples(int ch) {
        auto wave = song.OpenChannelSource(ch);
        if (!wave) return {};
        return {wave->Data(), wave->Data() + wave->DataBytes()};
    }

    tamboro::test::TempDir files;
};

TEST_F(LoopStretch, ABarAt100BpmBecomesABarAt120WithItsBeatsOnTheGrid) {
    ASSERT_EQ(song.GetTempo(), 120.0);
    const Song::LoadLoopReport report = LoadStretched(4, ClickFile("clicks100", 100));
    ASSERT_TRUE(report.Ok());
    EXPECT_EQ(report.stretchBars, 1u);
    EXPECT_DOUBLE_EQ(report.stretchRatio, static_cast<double>(SamplesPerBar(kLoopRate, 120)) /
                                              SamplesPerBar(kLoopRate, 100));

    auto source = song.OpenChannelSource(4);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(source->Format(), nullptr);
    EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 120)));
    EXPECT_EQ(source->Format()->wFormatTag, audio::kFormatPcm);
    EXPECT_EQ(source->Format()->wBitsPerSample, 16);
    EXPECT_EQ(source->Format()->nSamplesPerSec, kLoopRate);
    EXPECT_EQ(source->Format()->nChannels, 2);
    EXPECT_EQ(song.GetChannelName(4), "clicks100");
    EXPECT_EQ(song.GetSourceLength(4), 2000u);

    const std::vector<double> left = LeftChannel(*source);
    const long allowed = kLoopRate * 2 / 1000;
    const std::vector<long> offsets = BeatOffsets(left, kLoopRate, 120);
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        EXPECT_LE(std::abs(offsets[k]), allowed) << "beat " << k << " off by " << offsets[k];
    }
    EXPECT_NEAR(DominantFrequency(left, SamplesPerBar(kLoopRate, 120) / 32, kLoopRate), kClickTone,
                kClickTone * 0.01);
    // And the device plays exactly one bar at its own rate.
    EXPECT_EQ(DeviceFrames(4), Bar());
}

TEST_F(LoopStretch, ALoopAtTheTempoComesBackAsItWas) {
    const std::string path = ClickFile("clicks120", 120, 2);
    audio::Wave original;
    ASSERT_EQ(audio::LoadWave(original, path, audio::kLoadCopy), audio::SoundResult::Ok);
    const Song::LoadLoopReport report = LoadStretched(0, path);
    ASSERT_TRUE(report.Ok());
    EXPECT_DOUBLE_EQ(report.stretchRatio, 1.0);
    EXPECT_EQ(report.stretchBars, 2u);
    const std::vector<std::uint8_t> samples = SourceSamples(0);
    ASSERT_EQ(samples.size(), original.DataBytes());
    EXPECT_EQ(std::memcmp(samples.data(), original.Data(), samples.size()), 0);
    EXPECT_EQ(DeviceFrames(0), 2 * Bar());
}

TEST_F(LoopStretch, ALoopWithinTheToleranceIsLeftToTheFitting) {
    // A bar and 0.1 %: closer than 0.2 %, so the fitting cuts the frames.
    const double bars = 1.001;
    const std::string path = ClickFile("nearly", 120, bars);
    audio::Wave original;
    ASSERT_EQ(audio::LoadWave(original, path, audio::kLoadCopy), audio::SoundResult::Ok);
    const Song::LoadLoopReport report = LoadStretched(1, path);
    ASSERT_TRUE(report.Ok());
    EXPECT_NEAR(report.stretchRatio, 1 / bars, 1e-5);
    EXPECT_FALSE(audio::StretchWorthwhile(report.stretchRatio));
    EXPECT_EQ(SourceSamples(1).size(), original.DataBytes());
    EXPECT_EQ(DeviceFrames(1), Bar());
}

TEST_F(LoopStretch, RatiosOutsideTheRangeAreRefusedAndChangeNothing) {
    song.NewSong(200.0);  // a bar of 1.2 s: 8 bars are 9.6 s
    ASSERT_EQ(Load(2, Bar()), SongResult::Ok);
    song.Events(2)->push_back({5, kVolume, 2, 0, 0});
    const std::string name = song.GetChannelName(2);
    const std::string sourceFile = song.GetSourceFile(2);
    const std::string preparedFile = song.GetPreparedFile(2);
    const std::vector<std::uint8_t> samples = SourceSamples(2);
    const auto deviceBytes = device.loaded[Slot(2)].bytes;

    struct Case {
        const char* what;
        double tempoOfLoop;
        double bars;
        double ratio;  // what the plan must report
    } cases[] = {
        // A fifth of a bar at 200 BPM: one bar is five times as long.
        {"too short", 200, 0.2, 5.0},
        // 20.5 s (20 whole seconds, so not too long to load): 8 bars at
        // 200 BPM are only 9.6 s.
        {"too long", 200, 20.5 / 1.2, 9.6 / 20.5},
    };
    for (const Case& c : cases) {
        const Song::LoadLoopReport report =
            LoadStretched(2, ClickFile(c.what, c.tempoOfLoop, c.bars));
        EXPECT_TRUE(report.stretchRefused) << c.what;
        EXPECT_FALSE(report.Ok()) << c.what;
        EXPECT_NEAR(report.stretchRatio, c.ratio, 1e-3) << c.what;
        EXPECT_EQ(song.GetTempo(), 200.0);
        EXPECT_EQ(song.GetChannelName(2), name);
        EXPECT_EQ(song.GetSourceFile(2), sourceFile);
        EXPECT_EQ(song.GetPreparedFile(2), preparedFile);
        EXPECT_TRUE(tamboro::test::FileExists(sourceFile));
        EXPECT_EQ(song.GetEvents(2)->size(), 1u);
        EXPECT_EQ(SourceSamples(2), samples);
        EXPECT_EQ(device.loaded[Slot(2)].bytes, deviceBytes);
    }
    EXPECT_FALSE(platform::LoadString(kStretchRefusedText).empty());
}

TEST_F(LoopStretch, ACancelledStretchLeavesTheChannelAsItWas) {
    int calls = 0;
    const Song::LoadLoopReport report =
        LoadStretched(6, ClickFile("clicks100", 100), [&](int) { return ++calls < 2; });
    EXPECT_TRUE(report.stretchCancelled);
    EXPECT_FALSE(report.Ok());
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(song.IsChannelEmpty(6));
}

TEST_F(LoopStretch, AFirstLoopThatSetsTheTempoIsNotStretched) {
    // Four bars at 100 BPM, the song's first loop: answering yes to the
    // tempo question makes the song 100 BPM, and the loop then fits as it is.
    const std::string path = ClickFile("first", 100, 4);
    audio::Wave original;
    ASSERT_EQ(audio::LoadWave(original, path, audio::kLoadCopy), audio::SoundResult::Ok);
    std::vector<unsigned> asked;
    const Song::LoadLoopReport report =
        song.LoadLoop(0, path, Song::LoadChoice{false, true, {}}, [&](unsigned id) {
            asked.push_back(id);
            return true;
        });
    ASSERT_TRUE(report.Ok());
    EXPECT_EQ(asked, std::vector<unsigned>{164});
    EXPECT_TRUE(report.tempoSet);
    EXPECT_NEAR(song.GetTempo(), 100.0, 1e-9);
    EXPECT_FALSE(audio::StretchWorthwhile(report.stretchRatio));
    EXPECT_EQ(report.stretchBars, 4u);
    EXPECT_EQ(SourceSamples(0).size(), original.DataBytes());
}

// The slow step on a thread of its own, as the storage worker runs it: the
// owner thread reads the loop, watches the percentages and may cancel, and
// puts the loop into the channel when the worker is done.
TEST_F(LoopStretch, AWorkerStretchesWhileTheOwnerWatchesAndCancels) {
    const std::string path = ClickFile("clicks100", 100);
    for (const bool cancel : {true, false}) {
        std::atomic<int> percent{-1};
        std::atomic<bool> stop{false};
        std::atomic<std::thread::id> reporter;
        Song::LoopLoad load;
        ASSERT_TRUE(song.ReadLoop(8, path,
                                  Song::LoadChoice{false, true,
                                                   [&](int p) {
                                                       reporter = std::this_thread::get_id();
                                                       percent = p;
                                                       return !stop.load();
                                                   }},
                                  load));
        bool finished = false;
        std::thread worker([&] { finished = Song::StretchLoop(load); });
        const std::thread::id workerId = worker.get_id();
        // The owner sees the stretch move on, and cancels it part way.
        while (percent.load() < 0)
            std::this_thread::yield();
        if (cancel) stop = true;
        worker.join();
        EXPECT_EQ(reporter.load(), workerId);
        if (cancel) {
            EXPECT_FALSE(finished);
            EXPECT_TRUE(load.report.stretchCancelled);
            EXPECT_LT(percent.load(), 100);
            EXPECT_TRUE(song.IsChannelEmpty(8));
            continue;
        }
        ASSERT_TRUE(finished);
        EXPECT_EQ(percent.load(), 100);
        EXPECT_TRUE(song.IsChannelEmpty(8));  // nothing changes before PutLoop
        ASSERT_TRUE(song.PutLoop(load).Ok());
        auto source = song.OpenChannelSource(8);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 120)));
    }
}

// The load-loop command as the desktop program runs it: the stretch as a
// job of the storage worker, its percentages delivered on the owner's
// thread, Cancel at any time, the loop put into the channel on the owner's
// thread just before the job's end is told.
TEST_F(LoopStretch, TheStorageWorkerStretchesAndTheOwnerPutsTheLoopIn) {
    const std::string path = ClickFile("clicks100", 100);
    SongStorage storage(loop);
    const std::thread::id owner = std::this_thread::get_id();
    std::vector<int> percents;
    std::optional<Song::LoadLoopReport> report;
    bool emptyWhileRunning = true;
    ASSERT_EQ(storage.StartLoadLoop(
                  song, 9, path, Song::LoadChoice{false, true, {}}, {}, {},
                  [&](int phase, int channel, int percent) {
                      EXPECT_EQ(std::this_thread::get_id(), owner);
                      EXPECT_EQ(phase, kStretchPhase);
                      EXPECT_EQ(channel, 9);
                      percents.push_back(percent);
                      emptyWhileRunning = emptyWhileRunning && song.IsChannelEmpty(9);
                  },
                  [&](const Song::LoadLoopReport& r) {
                      EXPECT_FALSE(song.IsChannelEmpty(9));  // put in before the end is told
                      report = r;
                  }),
              SongResult::Ok);
    EXPECT_TRUE(storage.Busy());
    EXPECT_EQ(storage.StartLoadLoop(song, 10, path, Song::LoadChoice{}, {}, {}, {}, {}),
              SongResult::WrongMode);
    ASSERT_TRUE(loop.RunUntil([&] { return report.has_value(); }, std::chrono::seconds(120)));
    EXPECT_FALSE(storage.Busy());
    ASSERT_TRUE(report->Ok());
    EXPECT_NEAR(report->stretchRatio, 100.0 / 120.0, 1e-3);
    EXPECT_TRUE(emptyWhileRunning);
    ASSERT_GE(percents.size(), 2u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    auto source = song.OpenChannelSource(9);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 120)));
    EXPECT_TRUE(song.IsChannelEmpty(10));  // the refused second start did nothing
}

TEST_F(LoopStretch, AWorkerLoadCancelledOrAbandonedLeavesTheChannelAsItWas) {
    ASSERT_EQ(Load(10, Bar()), SongResult::Ok);
    const std::vector<std::uint8_t> before = SourceSamples(10);
    const std::string name = song.GetChannelName(10);
    const std::string path = ClickFile("clicks100", 100);
    {
        // Cancel from the progress callback, part way.
        SongStorage storage(loop);
        int last = -1;
        std::optional<Song::LoadLoopReport> report;
        ASSERT_EQ(storage.StartLoadLoop(
                      song, 10, path, Song::LoadChoice{false, true, {}}, {}, {},
                      [&](int, int, int percent) {
                          last = percent;
                          if (percent >= 10) storage.Cancel();
                      },
                      [&](const Song::LoadLoopReport& r) { report = r; }),
                  SongResult::Ok);
        ASSERT_TRUE(loop.RunUntil([&] { return report.has_value(); }, std::chrono::seconds(120)));
        EXPECT_TRUE(report->stretchCancelled);
        EXPECT_FALSE(report->Ok());
        EXPECT_GE(last, 10);
        EXPECT_LT(last, 100);
    }
    EXPECT_EQ(SourceSamples(10), before);
    EXPECT_EQ(song.GetChannelName(10), name);
    {
        // The storage destroyed while the worker stretches: it is stopped
        // and joined, and the end is not told.
        SongStorage storage(loop);
        bool told = false;
        int reports = 0;
        ASSERT_EQ(storage.StartLoadLoop(
                      song, 10, path, Song::LoadChoice{false, true, {}}, {}, {},
                      [&](int, int, int) { ++reports; },
                      [&](const Song::LoadLoopReport&) { told = true; }),
                  SongResult::Ok);
        ASSERT_TRUE(loop.RunUntil([&] { return reports > 0; }, std::chrono::seconds(120)));
        EXPECT_FALSE(told);
    }
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(SourceSamples(10), before);
}

TEST_F(LoopStretch, AWorkerLoadWithoutAStretchOrThatFailsToReadEndsWithoutProgress) {
    const std::string path = ClickFile("clicks100", 100);
    SongStorage storage(loop);
    for (const std::string& file : {path, files.File("missing.wav")}) {
        int reports = 0;
        std::optional<Song::LoadLoopReport> report;
        ASSERT_EQ(storage.StartLoadLoop(
                      song, 11, file, Song::LoadChoice{}, {}, {}, [&](int, int, int) { ++reports; },
                      [&](const Song::LoadLoopReport& r) { report = r; }),
                  SongResult::Ok);
        ASSERT_TRUE(loop.RunUntil([&] { return report.has_value(); }, std::chrono::seconds(10)));
        EXPECT_EQ(reports, 0);
        if (file == path) {
            ASSERT_TRUE(report->Ok());
            // Fitting alone: the loop's own frames, four bytes each.
            EXPECT_EQ(SourceSamples(11).size(), SamplesPerBar(kLoopRate, 100) * 4u);
        } else {
            EXPECT_NE(report->fileResult, audio::SoundResult::Ok);
        }
    }
    EXPECT_EQ(SourceSamples(11).size(), SamplesPerBar(kLoopRate, 100) * 4u);
}

TEST_F(LoopStretch, EffectsAreNeverStretched) {
    const std::string path = ClickFile("hit", 100);
    const Song::LoadLoopReport report = song.LoadLoop(7, path, Song::LoadChoice{true, true, {}});
    ASSERT_TRUE(report.Ok());
    EXPECT_EQ(report.stretchRatio, 0.0);
    EXPECT_TRUE(song.IsEffect(7));
    auto source = song.OpenChannelSource(7);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 100)));
}

TEST_F(LoopStretch, ACompressedLoopIsStretchedFrom16BitPcm) {
    audio::Wave wave;
    ASSERT_TRUE(MakeClickTrack(wave, kLoopRate, 100, 1));
    wave.SetInfo("ICMT", "ima");
    audio::WAVEFORMATEX ima;
    ASSERT_TRUE(audio::MakeFormat(ima, audio::kFormatImaAdpcm, kLoopRate, 4, 1));
    ASSERT_EQ(audio::ConvertWave(wave, ima), audio::SoundResult::Ok);
    const std::string path = files.File("ima.wav");
    ASSERT_EQ(audio::SaveWave(wave, path, audio::kTypeWav), audio::SoundResult::Ok);

    ASSERT_TRUE(LoadStretched(3, path).Ok());
    auto source = song.OpenChannelSource(3);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->Format()->wFormatTag, audio::kFormatPcm);
    EXPECT_EQ(source->Format()->wBitsPerSample, 16);
    EXPECT_EQ(source->Format()->nChannels, 1);
    EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 120)));
    ASSERT_NE(source->GetInfo("ICMT"), nullptr);
    EXPECT_EQ(*source->GetInfo("ICMT"), "ima");
}

TEST_F(LoopStretch, ASavedSongHoldsTheStretchedLoopAsAPlainWavAndRendersTheSame) {
    ASSERT_TRUE(LoadStretched(5, ClickFile("clicks100", 100)).Ok());
    const std::vector<std::uint8_t> stretched = SourceSamples(5);
    ASSERT_FALSE(stretched.empty());
    song.Events(5)->push_back({0, kChannelOn, 5, 0, 0});
    song.Events(5)->push_back({3000, kChannelOff, 5, 0, 0});
    // The rendered samples (the file's INAM text is its own name).
    const auto samples = [&](const std::string& path) {
        audio::Wave wave;
        EXPECT_EQ(audio::LoadWave(wave, path, audio::kLoadCopy), audio::SoundResult::Ok);
        return std::vector<std::uint8_t>(wave.Data(), wave.Data() + wave.DataBytes());
    };
    const auto render = [&](const std::string& name) {
        const std::string path = files.File(name);
        EXPECT_EQ(song.SaveSong(path, Song::kSaveMixdown, nullptr), SongResult::Ok);
        return samples(path);
    };
    const std::vector<std::uint8_t> before = render("before.wav");
    ASSERT_EQ(before.size(), 3 * 44100 * 4u);  // 3 s of 16-bit stereo
    ASSERT_TRUE(std::any_of(before.begin(), before.end(), [](std::uint8_t b) { return b != 0; }));

    const std::string songPath = files.File("stretched.tbo");
    ASSERT_EQ(song.SaveSongFile(songPath, nullptr), SongResult::Ok);  // saved, then loaded again

    // The sample record is a complete WAV file of the stretched loop.
    base::UnfmArchive archive;
    ASSERT_EQ(archive.Open(songPath), 0);
    std::vector<std::uint8_t> record;
    ASSERT_EQ(archive.ReadRecord(0, record), 0);
    const auto header = ParseSongHeader(record, archive.Count());
    ASSERT_TRUE(header.has_value());
    ASSERT_GE(header->sampleRecord[5], 0);
    ASSERT_EQ(archive.ReadRecord(header->sampleRecord[5], record), 0);
    audio::Wave stored;
    ASSERT_TRUE(audio::ParseRiffWave(stored, record.data(), record.size()));
    ASSERT_NE(stored.Format(), nullptr);
    EXPECT_EQ(stored.Format()->wFormatTag, audio::kFormatPcm);
    EXPECT_EQ(stored.Format()->wBitsPerSample, 16);
    EXPECT_EQ(stored.Format()->nSamplesPerSec, kLoopRate);
    EXPECT_EQ(stored.FrameCount(), static_cast<std::int32_t>(SamplesPerBar(kLoopRate, 120)));
    ASSERT_EQ(stored.DataBytes(), stretched.size());
    EXPECT_EQ(std::memcmp(stored.Data(), stretched.data(), stretched.size()), 0);

    // The reloaded song renders the same, and so does another song that
    // opens the file.
    EXPECT_EQ(render("after.wav"), before);
    FakeDevice otherDevice;
    otherDevice.format = device.format;
    Song other(loop);
    ASSERT_EQ(other.AttachDevice(&otherDevice), SongResult::Ok);
    ASSERT_EQ(other.LoadSong(songPath, 0), SongResult::Ok);
    const std::string otherPath = files.File("other.wav");
    ASSERT_EQ(other.SaveSong(otherPath, Song::kSaveMixdown, nullptr), SongResult::Ok);
    EXPECT_EQ(samples(otherPath), before);
    other.DetachDevice();
}

TEST(StretchPlan, NearestWholeBarsAtTheLoopsOwnRate) {
    const std::uint32_t bar = SamplesPerBar(44100, 120);
    struct Case {
        const char* what;
        std::uint32_t frames;
        std::uint32_t target;
        std::uint32_t bars;
    } cases[] = {
        {"a bar at 100 BPM", SamplesPerBar(44100, 100), bar, 1},
        {"two and a half bars", bar * 5 / 2, 2 * bar, 2},
        {"three and a half bars", bar * 7 / 2, 4 * bar, 4},
        {"exactly four bars", 4 * bar, 4 * bar, 4},
        {"ten bars", 10 * bar, 8 * bar, 8},
    };
    for (const Case& c : cases) {
        const StretchPlan plan = PlanStretch(c.frames, 44100, 120);
        EXPECT_EQ(plan.sourceFrames, c.frames) << c.what;
        EXPECT_EQ(plan.targetFrames, c.target) << c.what;
        EXPECT_EQ(plan.bars, c.bars) << c.what;
        EXPECT_DOUBLE_EQ(plan.ratio, static_cast<double>(c.target) / c.frames) << c.what;
        EXPECT_TRUE(plan.Allowed()) << c.what;
    }
    EXPECT_FALSE(PlanStretch(4 * bar, 44100, 120).Worthwhile());
    EXPECT_FALSE(PlanStretch(bar / 3, 44100, 120).Allowed());   // 3 times as long
    EXPECT_FALSE(PlanStretch(17 * bar, 44100, 120).Allowed());  // 8 of 17 bars
    const StretchPlan none = PlanStretch(0, 44100, 120);
    EXPECT_EQ(none.ratio, 0.0);
    EXPECT_FALSE(none.Allowed());
}

}  // namespace
}  // namespace tamboro::engine::test
