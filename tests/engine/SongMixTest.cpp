#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

using namespace std::chrono_literals;

class SongMix : public SongFixture {
  protected:
    void SetUp() override {
        SongFixture::SetUp();
        ASSERT_EQ(Load(0, 2 * Bar()), 0);
        ASSERT_EQ(Load(1, Bar()), 0);
        ASSERT_EQ(Load(2, Bar() / 3, true), 0);  // an effect
        ASSERT_EQ(Load(3, 4 * Bar()), 0);
    }

    // Collects what playback reports.
    struct Notes {
        std::vector<std::pair<int, std::uint32_t>> applied;  // channel, kind
        bool ended = false;
    };
    std::unique_ptr<platform::MessageTarget> Notifier(Notes& notes) {
        return loop.CreateTarget([&notes](std::uint32_t, platform::WParam w, platform::LParam l) {
            if (l == 0) {
                notes.ended = true;
            } else {
                notes.applied.emplace_back(static_cast<int>(w),
                                           reinterpret_cast<const MixEvent*>(l)->kind);
            }
            return platform::LParam{0};
        });
    }
    std::uint32_t Bytes(int ch) { return device.GetDataBytes(Slot(ch)); }
};

TEST_F(SongMix, FirstChannelStartsTheClockAndTheLastStopsIt) {
    EXPECT_EQ(song.SwitchChannelOn(0), 0);
    ASSERT_EQ(device.plays.size(), 2u);
    EXPECT_EQ(device.plays[0].slot, Clock());
    EXPECT_EQ(device.plays[0].position, 0);
    EXPECT_EQ(device.plays[0].loop, 1);
    EXPECT_EQ(device.plays[0].volume, audio::OutputDeviceInterface::kUnchanged);
    EXPECT_EQ(device.plays[1].slot, Slot(0));
    EXPECT_TRUE(device.playing[Clock()]);

    EXPECT_EQ(song.SwitchChannelOn(1), 0);
    EXPECT_EQ(device.plays.size(), 3u);  // the clock runs already
    EXPECT_EQ(song.PlayingCount(), 2);
    EXPECT_EQ(song.SwitchChannelOff(0), 0);
    EXPECT_TRUE(device.playing[Clock()]);
    EXPECT_EQ(song.SwitchChannelOff(1), 0);
    EXPECT_FALSE(device.playing[Clock()]);
    EXPECT_EQ(song.SwitchChannelOff(1), 0);  // not playing: nothing
}

TEST_F(SongMix, ChannelsStartInPhaseWithTheClockAndEffectsAtTheirStart) {
    song.SwitchChannelOn(3);
    // The clock has run on to somewhere in its third bar.
    const std::uint32_t clock = 2 * Bytes(1) + 12345 * 4;
    device.position[Clock()] = clock;
    song.SwitchChannelOn(1);
    EXPECT_EQ(device.plays.back().position, static_cast<std::int32_t>(clock % Bytes(1)));
    song.SwitchChannelOn(0);
    EXPECT_EQ(device.plays.back().position, static_cast<std::int32_t>(clock % Bytes(0)));
    song.SwitchChannelOn(2);
    EXPECT_EQ(device.plays.back().position, 0);

    // Time to the next loop start, in milliseconds of the channel's format.
    const std::uint32_t rest = Bytes(1) - clock % Bytes(1);
    EXPECT_EQ(song.TimeToLoopStart(1), rest * 1000ull / 8000 / 4);
    device.position[Clock()] = 2 * Bytes(1);
    EXPECT_EQ(song.TimeToLoopStart(1), 0u);
    EXPECT_EQ(song.TimeToLoopStart(5), 0u);  // no sample
    EXPECT_EQ(song.ChannelPosition(1), static_cast<std::uint32_t>(clock % Bytes(1)) / 4);
}

TEST_F(SongMix, SwitchingNeedsADeviceAndASample) {
    EXPECT_EQ(song.SwitchChannelOn(20), 1);
    EXPECT_EQ(song.SwitchChannelOn(9), 2);  // empty channel
    song.DetachDevice();
    EXPECT_EQ(song.SwitchChannelOn(0), 2);
    EXPECT_EQ(song.SwitchChannelOff(0), 2);
    EXPECT_EQ(song.IsChannelPlaying(0), 0);
    song.SetChannelVolume(0, -3000);  // no device: nothing stored
    ASSERT_EQ(song.AttachDevice(&device), 0);
    EXPECT_EQ(song.GetChannelVolume(0), -500);
}

TEST_F(SongMix, LevelsReachTheDeviceAsVolumePlusMaster) {
    song.SwitchChannelOn(1);
    EXPECT_EQ(device.plays.back().volume, -500);
    EXPECT_EQ(device.plays.back().pan, 0);
    song.SetChannelVolume(1, -2000);
    EXPECT_EQ(device.volume[Slot(1)], -2000);
    song.SetMasterVolume(-3000);
    EXPECT_EQ(device.volume[Slot(1)], -5000);
    EXPECT_EQ(device.volume[Slot(0)], -3500);  // every channel follows the master
    song.SetChannelVolume(1, -9000);
    EXPECT_EQ(device.volume[Slot(1)], -10000);  // below -9999: the floor
    song.SetChannelVolume(1, 500);
    EXPECT_EQ(song.GetChannelVolume(1), 0);  // clamped
    song.SetChannelPan(1, 20000);
    EXPECT_EQ(device.pan[Slot(1)], 10000);
    song.SetMasterVolume(-20000);
    EXPECT_EQ(song.GetMasterVolume(), -10000);
}

TEST_F(SongMix, ARecordingStartsFromTheInitialLevelsAndRecordsEverySwitch) {
    song.SetInitialVolume(0, -1000);
    song.SetInitialPan(0, 2000);
    song.SetInitialMasterVolume(-100);
    song.SetChannelVolume(0, -4000);  // the live value is not what a recording starts from
    EXPECT_EQ(song.StartRecording(), 0);
    EXPECT_EQ(song.StartRecording(), 3);
    EXPECT_TRUE(song.IsRecording());
    ASSERT_EQ(song.GetEvents(0).size(), 3u);
    EXPECT_EQ(song.GetEvents(0).front(),
              (MixEvent{0, kMasterVolume, 0, static_cast<std::uint32_t>(-100), 0}));
    EXPECT_EQ(*std::next(song.GetEvents(0).begin()),
              (MixEvent{0, kVolume, 0, static_cast<std::uint32_t>(-1000), 0}));
    EXPECT_EQ(song.GetEvents(0).back(), (MixEvent{0, kPan, 0, 2000, 0}));
    EXPECT_EQ(song.GetEvents(3).size(), 2u);
    EXPECT_TRUE(song.GetEvents(9).empty());  // empty channel
    EXPECT_EQ(song.RecordingTime(), 0u);

    song.SetChannelVolume(1, -700);  // before the first start: time 0
    EXPECT_EQ(song.GetEvents(1).back(),
              (MixEvent{0, kVolume, 1, static_cast<std::uint32_t>(-700), 0}));
    song.SwitchChannelOn(0);
    EXPECT_EQ(device.plays.front().slot, Clock());
    song.SwitchChannelOn(1);
    song.SwitchChannelOn(3);
    std::this_thread::sleep_for(30ms);
    const std::uint32_t before = song.RecordingTime();
    EXPECT_GE(before, 30u);
    song.StopMix();
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    for (int ch : {0, 1, 3}) {
        const MixEvent& last = song.GetEvents(ch).back();
        EXPECT_EQ(last.kind, kChannelOff) << ch;
        EXPECT_GE(last.time, before) << ch;
    }
    EXPECT_EQ(song.GetEvents(0).back().time, song.GetEvents(3).back().time);
    EXPECT_EQ(song.PlayingCount(), 0);
    EXPECT_FALSE(device.playing[Clock()]);
}

TEST_F(SongMix, PlaybackAppliesTheEventsInTimeAndEnds) {
    song.Events(0) = {{0, kMasterVolume, 0, static_cast<std::uint32_t>(-200), 0},
                      {0, kChannelOn, 0, 0, 0},
                      {40, kVolume, 0, static_cast<std::uint32_t>(-1500), 0},
                      {60, kChannelOff, 0, 0, 0}};
    song.Events(1) = {{20, kChannelOn, 1, 0, 0}, {50, kChannelOff, 1, 0, 0}};
    Notes notes;
    auto notify = Notifier(notes);
    ASSERT_EQ(song.StartPlayback(notify.get(), 1126, 0), 0);
    EXPECT_TRUE(song.IsPlayingBack());
    ASSERT_TRUE(loop.RunUntil([&] { return notes.ended; }, 5s));
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    const std::vector<std::pair<int, std::uint32_t>> expected = {
        {0, kMasterVolume}, {0, kChannelOn},  {1, kChannelOn},
        {0, kVolume},       {1, kChannelOff}, {0, kChannelOff}};
    EXPECT_EQ(notes.applied, expected);
    EXPECT_EQ(song.GetMasterVolume(), -200);
    EXPECT_EQ(song.GetChannelVolume(0), -1500);
    EXPECT_EQ(song.PlayingCount(), 0);
    EXPECT_EQ(song.GetEvents(0).size(), 4u);  // playback does not change the mix
}

TEST_F(SongMix, PlaybackFromAMomentRestoresLevelsAndChannelsOnThen) {
    song.Events(0) = {{0, kMasterVolume, 0, static_cast<std::uint32_t>(-300), 0},
                      {0, kChannelOn, 0, 0, 0},
                      {100, kVolume, 0, static_cast<std::uint32_t>(-900), 0},
                      {100000, kChannelOff, 0, 0, 0}};
    song.Events(3) = {{0, kPan, 3, 1234, 0}, {100000, kVolume, 3, 0, 0}};
    Notes notes;
    auto notify = Notifier(notes);
    ASSERT_EQ(song.StartPlayback(notify.get(), 1126, 50000), 0);
    // Channel 0 was on at 50 s: it sounds at once, at the clock's phase.
    EXPECT_TRUE(device.playing[Slot(0)]);
    EXPECT_EQ(song.GetMasterVolume(), -300);
    EXPECT_EQ(song.GetChannelVolume(0), -900);
    EXPECT_EQ(song.GetChannelPan(3), 1234);
    EXPECT_FALSE(device.playing[Slot(3)]);
    EXPECT_GE(song.PlaybackTime(), 50000u);
    // The clock starts where 50 s of it would be.
    const std::uint64_t clockBytes = device.GetDataBytes(Clock());
    EXPECT_EQ(static_cast<std::uint64_t>(device.plays.front().position),
              50ull * 8000 * 4 % clockBytes);
    song.StopMix();
    EXPECT_FALSE(notes.ended);
    loop.ProcessPending();
    EXPECT_TRUE(notes.applied.empty());  // nothing queued survives a stop

    // Nothing at or after the start: nothing happens.
    EXPECT_EQ(song.StartPlayback(notify.get(), 1126, 200000), 0);
    EXPECT_FALSE(song.IsPlayingBack());
}

TEST_F(SongMix, AHeldKnobReplacesTheRecordedValuesDuringPlayback) {
    song.Events(1) = {{0, kChannelOn, 1, 0, 0},
                      {0, kVolume, 1, static_cast<std::uint32_t>(-100), 0},
                      {30, kVolume, 1, static_cast<std::uint32_t>(-200), 0},
                      {60, kVolume, 1, static_cast<std::uint32_t>(-300), 0},
                      {90, kChannelOff, 1, 0, 0}};
    Notes notes;
    auto notify = Notifier(notes);
    ASSERT_EQ(song.StartPlayback(notify.get(), 1126, 0), 0);
    song.SetVolumeHeld(1, true);
    song.SetChannelVolume(1, -4444);  // the user's hand, recorded at its time
    ASSERT_TRUE(loop.RunUntil([&] { return notes.ended; }, 5s));
    std::vector<std::int32_t> volumes;
    for (const auto& e : song.GetEvents(1)) {
        if (e.kind == kVolume) volumes.push_back(static_cast<std::int32_t>(e.value));
    }
    // The recorded values gave way while the knob was held; the user's value
    // stays in their place.
    EXPECT_EQ(volumes, (std::vector<std::int32_t>{-4444}));
    EXPECT_EQ(song.GetChannelVolume(1), -4444);
}

TEST_F(SongMix, ModesAndBadIndexes) {
    EXPECT_EQ(song.StartPlayback(nullptr, 0, 0), 0);  // no events: stays Ready
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    song.Reset();
    EXPECT_EQ(song.StartRecording(), 3);
    EXPECT_EQ(song.StartPlayback(nullptr, 0, 0), 3);
    EXPECT_EQ(song.StopMix(), 0);
    EXPECT_EQ(song.ClearEvents(20, kAllKinds), 1);
    song.Events(4) = {{0, kChannelOn, 4, 0, 0}, {5, kVolume, 4, 0, 0}, {9, kChannelOff, 4, 0, 0}};
    EXPECT_EQ(song.ClearEvents(4, kOnOffKinds), 0);
    ASSERT_EQ(song.GetEvents(4).size(), 1u);
    EXPECT_EQ(song.GetEvents(4).front().kind, kVolume);
}

}  // namespace
}  // namespace tamboro::engine::test
