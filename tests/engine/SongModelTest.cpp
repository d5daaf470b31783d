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
    ASSERT_EQ(song.AttachDevice(&device), 0);
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
    song.Events(0).push_back({10, kMasterVolume, 0, static_cast<std::uint32_t>(-200), 0});
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
        EXPECT_TRUE(song.GetEvents(ch).empty()) << ch;
        EXPECT_EQ(song.GetChannelFlags(ch), 0u) << ch;
    }
    song.DetachDevice();
    // Without a device the channel levels read 0.
    EXPECT_EQ(song.GetChannelVolume(0), 0);
    EXPECT_EQ(song.GetInitialVolume(0), 0);
}

TEST_F(SongTest, BadChannelIndexesAreRejectedByEveryOperation) {
    for (int ch : {-1, 20, 1000, -2147483647 - 1}) {
        EXPECT_EQ(song.IsChannelEmpty(ch), 1) << ch;
        EXPECT_EQ(song.GetChannelName(ch), "") << ch;
        EXPECT_EQ(song.SetChannelName(ch, "x"), 1) << ch;
        EXPECT_EQ(song.IsEffect(ch), 0) << ch;
        EXPECT_EQ(song.SetEffect(ch, true), 1) << ch;
        EXPECT_EQ(song.GetPreparedLength(ch), 0u) << ch;
        EXPECT_EQ(song.GetSourceLength(ch), 0u) << ch;
        EXPECT_EQ(song.GetVoice(ch), kNoVoice) << ch;
        EXPECT_TRUE(song.GetEvents(ch).empty()) << ch;
        EXPECT_EQ(song.GetInitialVolume(ch), 0) << ch;
        EXPECT_EQ(song.GetPreparedFile(ch), "") << ch;
    }
}

TEST_F(SongTest, EmptyChannelsCanBeNamedButNotFlaggedAsEffects) {
    EXPECT_EQ(song.IsChannelEmpty(0), 1);
    EXPECT_EQ(song.SetChannelName(0, "nuovo"), 0);
    EXPECT_EQ(song.GetChannelName(0), "nuovo");
    EXPECT_EQ(song.SetEffect(0, true), 1);
    EXPECT_EQ(song.IsEffect(0), 0);
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
    const unsigned expected[] = {0,    1007, 1008, 1007, 1007, 1005,
                                 1009, 1001, 1003, 1000, 1002, 1006};
    for (int r = 1; r < ToInt(SongResult::Count_); ++r) {
        EXPECT_EQ(SongResultMessageId(r), expected[r]) << r;
        EXPECT_FALSE(SongResultMessage(r).empty()) << r;
    }
    EXPECT_EQ(SongResultMessageId(99), 1007u);
    EXPECT_EQ(SongResultMessage(6), platform::LoadString(1009));
}

TEST_F(SongTest, AttachTakesASlotPerChannelAndOneForTheClock) {
    EXPECT_EQ(song.AttachDevice(static_cast<audio::OutputDeviceInterface*>(nullptr)), 1);
    ASSERT_EQ(song.AttachDevice(&device), 0);
    EXPECT_EQ(device.SlotsInUse(), 21);
    std::vector<std::uint32_t> voices;
    for (int ch = 0; ch < kChannelCount; ++ch)
        voices.push_back(song.GetVoice(ch));
    voices.push_back(song.GetClockVoice());
    std::sort(voices.begin(), voices.end());
    EXPECT_EQ(std::unique(voices.begin(), voices.end()), voices.end());
    EXPECT_NE(song.GetClockVoice(), kNoVoice);
    // Tempo 0 before the first NewSong: no clock buffer yet.
    EXPECT_EQ(device.IsLoaded(static_cast<int>(song.GetClockVoice())), 0);
    EXPECT_EQ(song.DetachDevice(), &device);
    EXPECT_EQ(device.SlotsInUse(), 0);
}

TEST_F(SongTest, TempoClockHoldsEightBarsOfSilenceInTheClockFormat) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t bits, channels;
        bool mono;
        double tempo;
    } cases[] = {
        {44100, 16, 2, false, 120.0},  // 8 x 352800
        {44100, 16, 2, true, 120.0},   // mono clock: half
        {22050, 8, 1, false, 97.3},    // truncation of a fractional bar
        {48000, 8, 2, false, 240.0},
    };
    for (const auto& c : cases) {
        FakeDevice fresh;
        Song s(loop);
        ASSERT_EQ(s.AttachDevice(&fresh), 0);
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, c.rate, c.bits, c.channels);
        ASSERT_EQ(s.SetOutputFormat(-1, f, c.mono, false), 0);
        s.NewSong(c.tempo);
        const auto& clock = fresh.loaded[s.GetClockVoice()];
        ASSERT_TRUE(clock.fromMemory);
        const std::uint16_t channels = c.mono ? 1 : c.channels;
        const std::uint32_t bytesPerSecond = c.rate * c.bits / 8 * channels;
        const auto bar = static_cast<std::uint64_t>(bytesPerSecond * 240.0 / c.tempo);
        EXPECT_EQ(clock.bytes.size(), 8 * bar) << c.rate << " " << c.tempo;
        EXPECT_EQ(clock.format.nChannels, channels);
        EXPECT_EQ(clock.format.wBitsPerSample, c.bits);
        const std::uint8_t silence = c.bits == 8 ? 0x80 : 0;
        EXPECT_TRUE(std::all_of(clock.bytes.begin(), clock.bytes.end(),
                                [&](std::uint8_t b) { return b == silence; }));
        s.DetachDevice();
    }
}

TEST_F(SongTest, SetOutputFormatSwitchesWithTheDeviceOffAndRestoresIt) {
    EXPECT_EQ(song.SetOutputFormat(2, device.format, false, false), 0);  // no device: nothing
    ASSERT_EQ(song.AttachDevice(&device), 0);
    device.Activate(1);
    device.log.clear();
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, 22050, 8, 2);
    ASSERT_EQ(song.SetOutputFormat(3, f, true, true), 0);
    EXPECT_EQ(device.log, (std::vector<std::string>{"deactivate", "select", "format", "activate"}));
    EXPECT_EQ(device.selected, 3);
    EXPECT_EQ(device.format, f);
    EXPECT_TRUE(song.MonoSources());
    EXPECT_TRUE(song.SoftwareMixing());
    EXPECT_EQ(song.OutputDeviceIndex(), 3);

    device.Activate(0);
    device.log.clear();
    ASSERT_EQ(song.SetOutputFormat(0, f, false, false), 0);
    EXPECT_EQ(std::count(device.log.begin(), device.log.end(), "activate"), 0);

    audio::WAVEFORMATEX broken = f;
    broken.nBlockAlign = 0;
    EXPECT_EQ(song.SetOutputFormat(0, broken, false, false), 1);
    EXPECT_EQ(device.format, f);
}

TEST_F(SongTest, NewSongRebuildsTheClockForTheNewTempo) {
    ASSERT_EQ(song.AttachDevice(&device), 0);
    song.NewSong(120.0);
    const int clock = static_cast<int>(song.GetClockVoice());
    ASSERT_EQ(device.IsLoaded(clock), 1);
    const std::size_t bytes120 = device.loaded[clock].bytes.size();
    song.NewSong(60.0);
    EXPECT_EQ(device.loaded[clock].bytes.size(), 2 * bytes120);
    song.DetachDevice();
}

TEST(SongDevice, DetachingAnOwnedDeviceDestroysIt) {
    platform::EventLoop loop;
    bool destroyed = false;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(std::make_unique<FakeDevice>(&destroyed)), 0);
        EXPECT_EQ(song.DetachDevice(), nullptr);
        EXPECT_TRUE(destroyed);
        EXPECT_EQ(song.Device(), nullptr);
    }
    destroyed = false;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(std::make_unique<FakeDevice>(&destroyed)), 0);
        song.NewSong(120.0);
    }
    EXPECT_TRUE(destroyed);  // the song let it go with itself
}

TEST(SongDevice, BorrowedDeviceOutlivesTheSongWithEverySlotFreed) {
    platform::EventLoop loop;
    FakeDevice device;
    {
        Song song(loop);
        ASSERT_EQ(song.AttachDevice(&device), 0);
        song.NewSong(120.0);
    }
    EXPECT_EQ(device.SlotsInUse(), 0);
}

}  // namespace
}  // namespace tamboro::engine
