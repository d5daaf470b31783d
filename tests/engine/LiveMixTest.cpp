// The live mix on the manual backend: commands at chosen frames, takes that
// render as they were heard, in-time switches, playback from a moment, hand
// takeover, effects' self-stops and the order of the notices.
#include <gtest/gtest.h>

#include "tests/engine/LiveRig.h"

namespace tamboro::engine::test {
namespace {

class LiveMixTest : public ::testing::TestWithParam<LiveCase> {
  protected:
    void SetUp() override {
        rig = std::make_unique<LiveRig>(GetParam());
        if (::testing::Test::HasFatalFailure()) return;
    }
    void TearDown() override { rig.reset(); }

    // The smallest t with E(t) at or after mix frame m.
    std::uint32_t FirstTimeAtOrAfter(std::uint64_t m) const {
        std::uint32_t t = 0;
        while (rig->E(t) < m)
            ++t;
        return t;
    }
    std::uint32_t LastTimeAtOrBefore(std::uint64_t m) const {
        std::uint32_t t = 0;
        while (rig->E(t + 1) <= m)
            ++t;
        return t;
    }
    // The events of one kind recorded for a channel, in list order.
    std::vector<MixEvent> Recorded(int ch, std::uint32_t kind) const {
        std::vector<MixEvent> out;
        for (const MixEvent& e : *rig->song->GetEvents(ch)) {
            if (e.kind == kind) out.push_back(e);
        }
        return out;
    }

    std::unique_ptr<LiveRig> rig;
};

TEST_P(LiveMixTest, ARecordedTakeRendersAsItWasHeard) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 11);
    r.Load(1, 2 * r.Bar(), false, 523);
    r.Load(2, r.Bar() * 7 / 10, true, 77);  // an effect: not fitted, started at its first frame
    song.SetInitialPan(1, -2500);
    // Something sounds before the take: a recording starts from silence
    // with the levels at rest, not the live ones.
    ASSERT_EQ(song.SwitchChannelOn(1), SongResult::Ok);
    song.SetChannelVolume(0, -3000);
    r.Render(3);
    ASSERT_TRUE(song.IsChannelPlaying(1));

    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    r.Render(2);
    EXPECT_EQ(song.PlayingCount(), 0);
    // Levels set before the first switch-on are stamped 0.
    song.SetChannelPan(0, 1500);
    r.Render(1);
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    r.capturing = true;
    const std::uint64_t origin = r.Now();
    r.Render(5);
    // Commands land between blocks at chosen frames: each takes effect at
    // E(t) for the smallest t with E(t) at or after the block's first frame.
    std::vector<std::uint64_t> issued;
    const auto at = [&](auto command) {
        issued.push_back(r.Now() - origin);
        command();
        r.Render(1);
    };
    at([&] { song.SetChannelVolume(1, -1200); });
    at([&] { song.SwitchChannelOn(1); });
    r.Render(7);
    at([&] { song.SetMasterVolume(-700); });
    at([&] { song.SwitchChannelOn(2); });
    r.RenderTo(r.Now() + r.block / 3);  // an odd block size
    at([&] { song.SetChannelPan(1, 4000); });
    r.Render(9);
    at([&] { song.SwitchChannelOff(0); });
    r.Render(4);
    at([&] { song.SwitchChannelOn(0); });
    at([&] { song.SetChannelVolume(0, -400); });
    r.Render(11);
    ASSERT_EQ(song.StopMix(), SongResult::Ok);
    r.Render(2);
    r.capturing = false;
    song.PollLive();
    EXPECT_EQ(song.PlayingCount(), 0);

    // What was recorded, where.
    EXPECT_EQ(Recorded(0, kPan).front().time, 0u);
    EXPECT_EQ(static_cast<int>(Recorded(0, kPan).back().value), 1500);
    EXPECT_EQ(static_cast<int>(Recorded(1, kPan).front().value), -2500);  // at rest
    const auto volumes1 = Recorded(1, kVolume);
    ASSERT_EQ(volumes1.size(), 2u);
    EXPECT_EQ(volumes1[1].time, FirstTimeAtOrAfter(issued[0]));
    EXPECT_EQ(Recorded(1, kChannelOn)[0].time, FirstTimeAtOrAfter(issued[1]));
    EXPECT_EQ(Recorded(0, kMasterVolume).back().time, FirstTimeAtOrAfter(issued[2]));
    EXPECT_EQ(Recorded(2, kChannelOn)[0].time, FirstTimeAtOrAfter(issued[3]));
    EXPECT_EQ(Recorded(0, kChannelOff)[0].time, FirstTimeAtOrAfter(issued[5]));
    EXPECT_EQ(Recorded(0, kChannelOn)[0].time, 0u);

    const std::uint64_t length = r.E(song.MixLength().count);
    ASSERT_GT(length, 0u);
    const auto render = r.Mixdown();
    ASSERT_EQ(r.captureStart, origin);
    const std::uint64_t compared = r.CompareWithRender(r.captured, 0, render, 0, length);

    EXPECT_GT(compared, length * 9 / 10);
}

TEST_P(LiveMixTest, InTimeStartsSoundTheirFirstFrameAtTheBoundary) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 5);
    r.Load(1, 2 * r.Bar(), false, 900);
    for (const bool recording : {false, true}) {
        SCOPED_TRACE(recording ? "in a recording" : "at rest");
        if (recording) {
            ASSERT_EQ(song.StartRecording(), SongResult::Ok);
            r.Render(1);
        }
        ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
        const std::uint64_t clockStart = r.Now();  // the clock starts with the first channel
        r.Render(3);
        r.RenderTo(r.Now() + r.block / 2 + 1);
        // Channel 1's loop is two bars: its boundary is the next multiple of
        // two bars on the clock.
        const std::uint64_t asked = r.Now();
        ASSERT_EQ(song.SwitchChannelInTime(1, true), SongResult::Ok);
        r.Render(1);
        EXPECT_TRUE(song.IsSwitchPending(1));
        EXPECT_FALSE(song.IsChannelPlaying(1));
        const std::uint64_t n = 2 * r.Bar();
        const std::uint64_t boundary = clockStart + ((asked - clockStart) / n + 1) * n;
        // The switch takes effect at E(t) <= B (in a take) and the loop is
        // placed so that its frame 0 sounds at B.
        r.capturing = true;
        r.captured.clear();
        r.RenderTo(boundary + 4 * r.K());
        r.capturing = false;
        EXPECT_TRUE(song.IsChannelPlaying(1));
        EXPECT_FALSE(song.IsSwitchPending(1));
        // Channel 1 alone is the output minus channel 0's known loop; at B it
        // is its loop's frame 0 at full level, and silence before its start.
        auto loop0 = PatternLoop(r.format, r.Bar(), 5);
        auto loop1 = PatternLoop(r.format, 2 * r.Bar(), 900);
        const std::uint64_t starts =
            recording ? clockStart + r.E(LastTimeAtOrBefore(boundary - clockStart)) : boundary;
        const std::uint32_t fb = r.FrameBytes();
        // Both channels play at full level: their samples add unscaled.
        ASSERT_TRUE(audio::IsFullGain(audio::GainsOf(0, 0).left, audio::GainsOf(0, 0).right));
        const bool eightBit = r.format.wBitsPerSample == 8;
        const auto sample = [&](const std::uint8_t* frame, int c) {
            if (eightBit) return static_cast<int>(frame[c]) - 128;
            std::int16_t s;
            std::memcpy(&s, frame + 2 * c, 2);
            return static_cast<int>(s);
        };
        for (std::uint64_t f = r.captureStart; f < boundary + 4 * r.K(); ++f) {
            const std::uint8_t* out = r.captured.data() + (f - r.captureStart) * fb;
            const std::uint8_t* a = loop0->Data() + ((f - clockStart) % r.Bar()) * fb;
            const std::uint64_t pos1 = (f - clockStart) % n;
            const std::uint8_t* b = loop1->Data() + pos1 * fb;
            for (int c = 0; c < r.format.nChannels; ++c) {
                int expect = sample(a, c);
                if (f >= starts) expect += sample(b, c);
                expect =
                    eightBit ? std::clamp(expect, -128, 127) : std::clamp(expect, -32768, 32767);
                ASSERT_EQ(sample(out, c), expect) << "frame " << f << " boundary " << boundary;
            }
            if (f == boundary) {
                EXPECT_EQ(pos1, 0u);
            }
        }
        if (recording) {
            const auto on1 = Recorded(1, kChannelOn);
            ASSERT_EQ(on1.size(), 1u);
            EXPECT_EQ(on1[0].time, LastTimeAtOrBefore(boundary - clockStart));
        }
        song.StopMix();
        r.Render(2);
        song.SwitchChannelOff(0);
        song.SwitchChannelOff(1);
        r.Render(2);
    }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Rates, LiveMixTest,
                         ::testing::Values(LiveCase{44100, 16, 2, 120.0},
                                           LiveCase{44100, 16, 2, 130.0},
                                           LiveCase{22050, 16, 2, 130.0},
                                           LiveCase{22050, 8, 1, 120.0}),
                         LiveCaseName);

}  // namespace tamboro::engine::test
