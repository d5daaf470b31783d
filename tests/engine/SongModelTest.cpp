#include <gtest/gtest.h>

#include <algorithm>

#include "engine/Song.h"
#include "platform/StringTable.h"
#include "tests/engine/FakeDevice.h"

namespace tamboro::engine {
namespace {

using test::FakeDevice;

class SongTest : public ::testing::Test {
  protected:
    platform::EventLoop loop;
    FakeDevice device;  // outlives the song
    Song song{loop};
};

TEST_F(SongTest, FreshSongHasNoSongAndNoTempoUntilNewSong) {
    EXPECT_EQ(song.GetMixMode(), MixMode::NoSong);
    EXPECT_EQ(song.GetTempo(), 0.0);
    for (int ch = 0; ch < kChannelCount; ++ch)
        EXPECT_EQ(song.GetVoice(ch), kNoVoice);
    song.NewSong(120.0);
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    EXPECT_EQ(song.GetTempo(), 120.0);
}

TEST_F(SongTest, ResetGivesTheDocumentedStartingLevels) {
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    song.NewSong(100.0);
    song.SetMasterVolume(-700);
    song.SetInitialMasterVolume(-600);
    song.SetChannelVolume(5, -100);
    song.SetInitialPan(5, 300);
    song.SetTitle("Brano");
    song.SetAuthor("Autore");
    song.SetMixedBy("Mixed by");
    song.SetNotes("Note\nlines");
    song.SetChannelName(3, "drum");
    song.Events(0)->push_back({10, kMasterVolume, 0, static_cast<std::uint32_t>(-200), 0});
    song.Reset();
    EXPECT_EQ(song.GetMixMode(), MixMode::NoSong);
    EXPECT_EQ(song.GetTitle(), "");
    EXPECT_EQ(song.GetAuthor(), "");
    EXPECT_EQ(song.GetMixedBy(), "");
    EXPECT_EQ(song.GetNotes(), "");
    EXPECT_EQ(song.GetInitialMasterVolume(), 0);
    EXPECT_EQ(song.GetMasterVolume(), 0);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        EXPECT_EQ(song.GetInitialVolume(ch), -500) << ch;
        EXPECT_EQ(song.GetChannelVolume(ch), -500) << ch;
        EXPECT_EQ(song.GetInitialPan(ch), 0) << ch;
        EXPECT_EQ(song.GetChannelPan(ch), 0) << ch;
        EXPECT_EQ(song.GetChannelName(ch), "") << ch;
        EXPECT_TRUE(song.GetEvents(ch)->empty()) << ch;
        EXPECT_EQ(song.GetChannelFlags(ch), 0u) << ch;
    }
    song.DetachDevice();
    // Without a device the channel levels read 0.
    EXPECT_EQ(song.GetChannelVolume(0), 0);
    EXPECT_EQ(song.GetInitialVolume(0), 0);
}

TEST_F(SongTest, BadChannelIndexesAreRejectedByEveryOperation) {
    for (int ch : {-1, 20, 1000, -2147483647 - 1}) {
        EXPECT_TRUE(song.IsChannelEmpty(ch)) << ch;
        EXPECT_EQ(song.GetChannelName(ch), "") << ch;
        EXPECT_EQ(song.SetChannelName(ch, "x"), SongResult::BadArgument) << ch;
        EXPECT_FALSE(song.IsEffect(ch)) << ch;
        EXPECT_EQ(song.SetEffect(ch, true), SongResult::BadArgument) << ch;
        EXPECT_EQ(song.GetPreparedLength(ch), 0u) << ch;
        EXPECT_EQ(song.GetSourceLength(ch), 0u) << ch;
        EXPECT_EQ(song.GetVoice(ch), kNoVoice) << ch;
        EXPECT_EQ(song.GetEvents(ch), nullptr) << ch;  // never another channel's list
        EXPECT_EQ(song.Events(ch), nullptr) << ch;
        EXPECT_EQ(song.GetInitialVolume(ch), 0) << ch;
        EXPECT_EQ(song.GetPreparedFile(ch), "") << ch;
    }
}

TEST_F(SongTest, EmptyChannelsCanBeNamedButNotFlaggedAsEffects) {
    EXPECT_TRUE(song.IsChannelEmpty(0));
    EXPECT_EQ(song.SetChannelName(0, "nuovo"), SongResult::Ok);
    EXPECT_EQ(song.GetChannelName(0), "nuovo");
    EXPECT_EQ(song.SetEffect(0, true), SongResult::BadArgument);
    EXPECT_FALSE(song.IsEffect(0));
}

TEST(EventList, InsertionIsSortedAndStableWithinAMillisecond) {
    EventList list;
    // Value numbers the insertion order.
    const std::uint32_t times[] = {50, 10, 50, 0, 10, 50, 70, 0};
    for (std::uint32_t i = 0; i < std::size(times); ++i) {
        InsertEvent(list, {times[i], kVolume, 1, i, 0});
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;
    for (const auto& e : list)
        order.emplace_back(e.time, e.value);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {0, 3}, {0, 7}, {10, 1}, {10, 4}, {50, 0}, {50, 2}, {50, 5}, {70, 6}};
    EXPECT_EQ(order, expected);
}

TEST(SongResults, EveryResultHasItsMessage) {
    EXPECT_EQ(SongResultMessageId(0), 0u);
    EXPECT_TRUE(SongResultMessage(0).empty());
    const unsigned expected[] = {0,    1007, 1008, 1007, 1007, 1005, 1009,
                                 1001, 1003, 1000, 1002, 1006, 1007};
    static_assert(std::size(expected) == static_cast<std::size_t>(SongResult::Count_));
    for (int r = 1; r < ToInt(SongResult::Count_); ++r) {
        EXPECT_EQ(SongResultMessageId(r), expected[r]) << r;
        EXPECT_FALSE(SongResultMessage(r).empty()) << r;
    }
    EXPECT_EQ(SongResultMessageId(99), 1007u);
    EXPECT_EQ(SongResultMessage(6), platform::LoadString(1009));
}

TEST_F(SongTest, AttachTakesASlotPerChannel) {
    EXPECT_EQ(song.AttachDevice(static_cast<audio::OutputDeviceInterface*>(nullptr)),
              SongResult::BadArgument);
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    // The tempo clock counts frames; it needs no slot of its own.
    EXPECT_EQ(device.SlotsInUse(), 20);
    std::vector<std::uint32_t> voices;
    for (int ch = 0; ch < kChannelCount; ++ch)
        voices.push_back(song.GetVoice(ch));
    std::sort(voices.begin(), voices.end());
    EXPECT_EQ(std::unique(voices.begin(), voices.end()), voices.end());
    EXPECT_EQ(std::count(voices.begin(), voices.end(), kNoVoice), 0);
    // Tempo 0 before the first NewSong: no clock period yet.
    EXPECT_EQ(song.ClockPeriod().count, 0u);
    EXPECT_EQ(song.DetachDevice(), &device);
    EXPECT_EQ(device.SlotsInUse(), 0);
}

TEST_F(SongTest, TempoClockRunsEightWholeBarsOfFrames) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t bits, channels;
        bool mono;
        double tempo;
    } cases[] = {
        {44100, 16, 2, false, 120.0},  // 8 x 88200
        {44100, 16, 2, true, 120.0},   // mono sources: the same frames
        {22050, 8, 1, false, 97.3},    // truncation of a fractional bar
        {48000, 8, 2, false, 240.0},
        {44100, 16, 2, false, 130.0},  // a bar is no whole number of ms
    };
    for (const auto& c : cases) {
        FakeDevice fresh;
        Song s(loop);
        ASSERT_EQ(s.AttachDevice(&fresh), SongResult::Ok);
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, c.rate, c.bits, c.channels);
        ASSERT_EQ(s.SetOutputFormat(-1, f, c.mono, false), SongResult::Ok);
        s.NewSong(c.tempo);
        // A bar holds trunc(rate x 240 / tempo) frames, whatever the sample
        // size (a clock sized in bytes would lose up to a frame per bar).
        const auto bar = static_cast<std::uint64_t>(c.rate * 240.0 / c.tempo);
        EXPECT_EQ(s.ClockPeriod().count, 8 * bar) << c.rate << " " << c.tempo;
        s.DetachDevice();
    }
}

TEST_F(SongTest, SetOutputFormatSwitchesWithTheDeviceOffAndRestoresIt) {
    EXPECT_EQ(song.SetOutputFormat(2, device.format, false, false),
              SongResult::Ok);  // no device: nothing
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    device.Activate(1);
    device.log.clear();
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, 22050, 8, 2);
    ASSERT_EQ(song.SetOutputFormat(3, f, true, true), SongResult::Ok);
    EXPECT_EQ(device.log, (std::vector<std::string>{"deactivate", "select", "format", "activate"}));
    EXPECT_EQ(device.selected, 3);
    EXPECT_EQ(device.format, f);
    EXPECT_TRUE(song.MonoSources());
    EXPECT_TRUE(song.SoftwareMixing());
    EXPECT_EQ(song.OutputDeviceIndex(), 3);

    device.Activate(0);
    device.log.clear();
    ASSERT_EQ(song.SetOutputFormat(0, f, false, false), SongResult::Ok);
    EXPECT_EQ(std::count(device.log.begin(), device.log.end(), "activate"), 0);

    audio::WAVEFORMATEX broken = f;
    broken.nBlockAlign = 0;
    EXPECT_EQ(song.SetOutputFormat(0, broken, false, false), SongResult::BadArgument);
    EXPECT_EQ(device.format, f);
}

TEST_F(SongTest, NewSongRebuildsTheClockForTheNewTempo) {
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    song.NewSong(120.0);
    const Frames at120 = song.ClockPeriod();
    ASSERT_GT(at120.count, 0u);
    song.NewSong(60.0);
    EXPECT_EQ(song.ClockPeriod().count, 2 * at120.count);
    song.DetachDevice();
}

TEST(SongDevice, DetachingAnOwnedDeviceDestroysIt) {
    platform::EventLoop loop;
    bool destroyed = false;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(std::make_unique<FakeDevice>(&destroyed)), SongResult::Ok);
        EXPECT_EQ(song.DetachDevice(), nullptr);
        EXPECT_TRUE(destroyed);
        EXPECT_EQ(song.Device(), nullptr);
    }
    destroyed = false;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(std::make_unique<FakeDevice>(&destroyed)), SongResult::Ok);
        song.NewSong(120.0);
    }
    EXPECT_TRUE(destroyed);  // the song let it go with itself
}

TEST(SongDevice, BorrowedDeviceOutlivesTheSongWithEverySlotFreed) {
    platform::EventLoop loop;
    FakeDevice device;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
        song.NewSong(120.0);
    }
    EXPECT_EQ(device.SlotsInUse(), 0);
}

}  // namespace
}  // namespace tamboro::engine

namespace tamboro::engine {
namespace {

TEST(SongDocument, LatestEventTimeCountsEveryKindWhileTheMixLengthCountsSwitches) {
    SongDocument doc;
    EXPECT_FALSE(doc.LatestEventTime().has_value());
    EXPECT_EQ(doc.MixLength().count, 0u);
    doc.Events(3)->push_back({100, kChannelOn, 3, 0, 0});
    doc.Events(3)->push_back({500, kChannelOff, 3, 0, 0});
    doc.Events(0)->push_back({900, kMasterVolume, 0, 0, 0});
    doc.Events(7)->push_back({700, kPan, 7, 5, 0});
    EXPECT_EQ(doc.MixLength().count, 500u);
    ASSERT_TRUE(doc.LatestEventTime().has_value());
    EXPECT_EQ(doc.LatestEventTime()->count, 900u);
}

TEST(SongDocument, ACopyIsASnapshotTheOriginalNoLongerChanges) {
    SongDocument doc;
    doc.title = "Brano";
    doc.Events(2)->push_back({10, kVolume, 2, 0, 0});
    const SongDocument snapshot = doc;
    doc.Events(2)->push_back({20, kVolume, 2, 1, 0});
    doc.title = "Altro";
    EXPECT_NE(snapshot, doc);
    EXPECT_EQ(snapshot.Events(2)->size(), 1u);
    EXPECT_EQ(snapshot.title, "Brano");
}

TEST(SongDocument, MergedEventsRunByTimeThenChannelWithTheMasterFirst) {
    SongDocument doc;
    doc.Events(4)->push_back({0, kVolume, 4, 1, 0});
    doc.Events(0)->push_back({0, kMasterVolume, 0, 2, 0});
    doc.Events(1)->push_back({5, kChannelOn, 1, 0, 0});
    doc.Events(0)->push_back({5, kChannelOn, 0, 0, 0});
    const auto merged = doc.MergedEvents();
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged[0].kind, kMasterVolume);
    EXPECT_EQ(merged[1].channel, 4u);
    EXPECT_EQ(merged[2].channel, 0u);
    EXPECT_EQ(merged[3].channel, 1u);
}

}  // namespace
}  // namespace tamboro::engine
