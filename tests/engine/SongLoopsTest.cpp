#include <gtest/gtest.h>

#include <algorithm>

#include "audio/files/SoundFile.h"
#include "platform/TempFiles.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class SongLoops : public SongFixture {
  protected:
    // Frames the device holds for a channel.
    std::uint32_t DeviceFrames(int ch) {
        return device.GetDataBytes(Slot(ch)) / device.GetBytesPerFrame(Slot(ch));
    }
    std::int16_t DeviceLeft(int ch, std::uint32_t frame) {
        const auto& bytes = device.loaded[Slot(ch)].bytes;
        return static_cast<std::int16_t>(bytes[4 * frame] | bytes[4 * frame + 1] << 8);
    }
};

TEST_F(SongLoops, LoopsAreFittedToTheNearestWholeBars) {
    const std::uint32_t b = Bar();
    ASSERT_EQ(b, 16000u);  // 8000 Hz at 120
    struct Case {
        std::uint32_t frames, expected;
        bool effect;
        const char* what;
    } cases[] = {
        {2 * b, 2 * b, false, "exactly two bars"},
        {2 * b + 1, 2 * b, false, "one frame longer: cut"},
        {3 * b + b / 2, 4 * b, false, "three and a half bars: padded"},
        {3 * b, 2 * b, false, "three bars: the tie keeps two"},
        {12 * b, 8 * b, false, "twelve bars: eight"},
        {3 * b + 7, 3 * b + 7, true, "an effect keeps its length"},
    };
    int ch = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(Load(ch, c.frames, c.effect), SongResult::Ok) << c.what;
        EXPECT_EQ(DeviceFrames(ch), c.expected) << c.what;
        EXPECT_EQ(song.GetPreparedLength(ch), c.expected * 1000ull / 8000) << c.what;
        EXPECT_EQ(song.GetSourceLength(ch), c.frames * 1000ull / 8000) << c.what;
        EXPECT_EQ(song.IsEffect(ch), c.effect ? 1 : 0);
        ++ch;
    }
    // The padded loop holds the loop, then silence.
    const std::uint32_t loopEnd = 3 * b + b / 2;
    EXPECT_EQ(DeviceLeft(2, 0), 1);
    EXPECT_EQ(DeviceLeft(2, loopEnd - 1), static_cast<std::int16_t>(loopEnd % 30000));
    EXPECT_EQ(DeviceLeft(2, loopEnd), 0);
    EXPECT_EQ(DeviceLeft(2, 4 * b - 1), 0);
    // The cut loop keeps its start.
    EXPECT_EQ(DeviceLeft(1, 2 * b - 1), static_cast<std::int16_t>((2 * b) % 30000));
}

TEST_F(SongLoops, ChannelKeepsNameFilesAndFlags) {
    ASSERT_EQ(Load(3, Bar()), SongResult::Ok);
    EXPECT_FALSE(song.IsChannelEmpty(3));
    EXPECT_EQ(song.GetChannelName(3), "loop3");
    EXPECT_EQ(song.GetChannelFlags(3), kLoaded);
    // The source and the prepared loop are unnamed temporary files held
    // open by the program: nothing shows in the temporary folder.
    const std::string source = song.GetSourceFile(3);
    const std::string prepared = song.GetPreparedFile(3);
    EXPECT_TRUE(platform::IsTemporaryPath(source)) << source;
    EXPECT_TRUE(platform::IsTemporaryPath(prepared)) << prepared;
    EXPECT_NE(source, prepared);
    EXPECT_TRUE(temp.List().empty());
    EXPECT_EQ(device.loaded[Slot(3)].path, prepared);
    EXPECT_EQ(device.loaded[Slot(3)].flags, 4u);
    const int held = platform::OpenTemporaryCount();

    // Replacing lets the old files go and drops the channel's events.
    song.Events(3)->push_back({5, kVolume, 3, 0, 0});
    ASSERT_EQ(Load(3, 2 * Bar()), SongResult::Ok);
    EXPECT_EQ(platform::OpenTemporaryCount(), held);
    EXPECT_TRUE(song.GetEvents(3)->empty());

    // Emptying lets go of everything the channel had.
    ASSERT_EQ(song.ReplaceChannel(3, nullptr, false), SongResult::Ok);
    EXPECT_TRUE(song.IsChannelEmpty(3));
    EXPECT_EQ(song.GetChannelName(3), "");
    EXPECT_EQ(platform::OpenTemporaryCount(), held - 2);
    EXPECT_EQ(device.IsLoaded(Slot(3)), 0);
    EXPECT_EQ(song.ReplaceChannel(20, nullptr, false), SongResult::BadArgument);
    EXPECT_EQ(song.PrepareChannel(-1, nullptr), SongResult::BadArgument);
}

TEST_F(SongLoops, ResetDeletesEveryTemporaryFile) {
    const int before = platform::OpenTemporaryCount();
    ASSERT_EQ(Load(0, Bar()), SongResult::Ok);
    ASSERT_EQ(Load(19, Bar(), true), SongResult::Ok);
    EXPECT_EQ(platform::OpenTemporaryCount(), before + 4);
    EXPECT_TRUE(temp.List().empty());  // unnamed files
    song.Reset();
    EXPECT_EQ(platform::OpenTemporaryCount(), before);
}

TEST_F(SongLoops, ForeignFormatsAreConvertedAndMonoSourcesHonoured) {
    auto wave = RampLoop(4000, Pcm(4000, 8, 1), 0, "low");  // one bar at 4000 Hz
    ASSERT_EQ(song.ReplaceChannel(0, wave.get(), false), SongResult::Ok);
    EXPECT_EQ(device.loaded[Slot(0)].format, Pcm(8000, 16, 2));
    EXPECT_EQ(DeviceFrames(0), Bar());
    // The caller's wave is untouched.
    EXPECT_EQ(wave->Format()->nSamplesPerSec, 4000u);
    EXPECT_EQ(wave->FrameCount(), 4000);

    ASSERT_EQ(song.SetOutputFormat(0, Pcm(8000, 16, 2), true, true), SongResult::Ok);
    EXPECT_EQ(device.loaded[Slot(0)].format.nChannels, 1);
    EXPECT_EQ(device.loaded[Slot(0)].flags, 5u);  // software mixing
}

TEST_F(SongLoops, OutputFormatChangePreparesEveryLoadedChannelWithProgress) {
    ASSERT_EQ(Load(2, Bar()), SongResult::Ok);
    ASSERT_EQ(Load(7, 2 * Bar()), SongResult::Ok);
    std::vector<std::tuple<int, int, int>> calls;
    ASSERT_EQ(song.SetOutputFormat(
                  1, Pcm(22050, 8, 2), false, false,
                  [&](int phase, int ch, int percent) { calls.emplace_back(phase, ch, percent); }),
              SongResult::Ok);
    EXPECT_EQ(calls, (std::vector<std::tuple<int, int, int>>{{2, 2, 10}, {2, 7, 35}}));
    EXPECT_EQ(device.loaded[Slot(7)].format, Pcm(22050, 8, 2));
    EXPECT_EQ(device.GetDataBytes(Slot(7)), 2 * 44100u * 2);  // two bars, 2 bytes a frame
}

TEST_F(SongLoops, EffectSwitchPreparesTheLoopAgain) {
    ASSERT_EQ(Load(4, Bar() + Bar() / 4), SongResult::Ok);
    EXPECT_EQ(DeviceFrames(4), Bar());
    ASSERT_EQ(song.SetEffect(4, true), SongResult::Ok);
    EXPECT_EQ(DeviceFrames(4), Bar() + Bar() / 4);
    ASSERT_EQ(song.SetEffect(4, false), SongResult::Ok);
    EXPECT_EQ(DeviceFrames(4), Bar());
}

TEST_F(SongLoops, OpenedLoopsCarryTheChannelName) {
    ASSERT_EQ(Load(5, Bar() / 2), SongResult::Ok);
    song.SetChannelName(5, "rinominato");
    auto prepared = song.OpenChannelPrepared(5);
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->FrameCount(), static_cast<std::int32_t>(Bar()));
    ASSERT_NE(prepared->GetInfo("INAM"), nullptr);
    EXPECT_EQ(*prepared->GetInfo("INAM"), "rinominato");
    auto source = song.OpenChannelSource(5);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->FrameCount(), static_cast<std::int32_t>(Bar() / 2));
    EXPECT_EQ(*source->GetInfo("INAM"), "rinominato");
    EXPECT_FALSE(song.OpenChannelSource(6));
}

TEST_F(SongLoops, WithoutADeviceALoopIsKeptButNotPrepared) {
    song.DetachDevice();
    ASSERT_EQ(Load(0, Bar()), SongResult::Ok);
    EXPECT_FALSE(song.IsChannelEmpty(0));
    EXPECT_TRUE(song.GetPreparedFile(0).empty());
    ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
    EXPECT_EQ(device.IsLoaded(Slot(0)), 1);  // attaching prepares it
}

}  // namespace
}  // namespace tamboro::engine::test
