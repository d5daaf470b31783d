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

TEST_P(LiveMixTest, WithMonoSourcesATakeRendersAsItWasHeard) {
    // Mono sources: the slots play each loop prepared in one channel and
    // upmix it; the render must play the very same samples.
    LiveRig& r = *rig;
    Song& song = *r.song;
    ASSERT_EQ(song.SetOutputFormat(0, r.format, true, false), SongResult::Ok);
    ASSERT_TRUE(song.MonoSources());
    r.Load(0, r.Bar(), false, 11);
    r.Load(1, 2 * r.Bar(), false, 523);
    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    r.Render(1);
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    r.capturing = true;
    r.Render(6);
    ASSERT_EQ(song.SwitchChannelOn(1), SongResult::Ok);
    r.Render(13);
    ASSERT_EQ(song.SwitchChannelOff(0), SongResult::Ok);
    r.Render(5);
    ASSERT_EQ(song.SwitchChannelOff(1), SongResult::Ok);
    r.Render(2);
    ASSERT_EQ(song.StopMix(), SongResult::Ok);
    r.capturing = false;
    song.PollLive();
    const std::uint64_t length = r.E(song.MixLength().count);
    ASSERT_GT(length, 0u);
    const auto render = r.Mixdown();
    // No level events: every frame of the take compares.
    EXPECT_EQ(r.CompareWithRender(r.captured, 0, render, 0, length), length);
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

struct Collect final : LiveListener {
    void OnLiveNotice(LiveNotice n) override { got.push_back(n); }
    std::vector<LiveNotice> got;
};

// A mix written into the document: three channels, an effect, levels and
// the master, at times that fall between frames at 130 BPM and 22050 Hz.
void WriteMix(Song& song) {
    const auto put = [&](std::uint32_t t, std::uint32_t kind, std::uint32_t ch, int value) {
        const int list = kind == kMasterVolume ? 0 : static_cast<int>(ch);
        InsertEvent(*song.Events(list), {t, kind, ch, static_cast<std::uint32_t>(value), 0});
    };
    put(0, kMasterVolume, 0, -300);
    for (std::uint32_t ch = 0; ch < 3; ++ch) {
        put(0, kVolume, ch, 0);
        put(0, kPan, ch, 0);
    }
    put(0, kChannelOn, 0, 0);
    put(333, kChannelOn, 1, 0);
    put(777, kVolume, 1, -1500);
    put(1010, kChannelOn, 2, 0);
    put(1500, kMasterVolume, 0, -800);
    put(1901, kChannelOff, 0, 0);
    put(2101, kPan, 1, 3000);
    put(2345, kChannelOn, 0, 0);
    put(2999, kVolume, 0, -600);
    put(3003, kChannelOff, 0, 0);
    put(3003, kChannelOff, 1, 0);
    put(3003, kChannelOff, 2, 0);
}

TEST_P(LiveMixTest, PlaybackFromAMomentEqualsTheRenderFromThere) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 11);
    r.Load(1, 2 * r.Bar(), false, 523);
    r.Load(2, r.Bar() * 7 / 10, true, 77);
    WriteMix(song);
    const auto render = r.Mixdown();
    const std::uint64_t length = r.E(song.MixLength().count);
    for (const std::uint32_t from : {0u, 1234u, 2000u, 2346u}) {
        SCOPED_TRACE(from);
        // Something sounds before: a playback from a moment sets every
        // channel as the render has it there. (A playback from the start
        // leaves sounding channels on, so that one starts from silence.)
        if (from > 0) {
            song.SwitchChannelOn(1);
        } else {
            song.SwitchChannelOff(1);
        }
        r.Render(2);
        ASSERT_EQ(song.StartPlayback(Millis(from)), SongResult::Ok);
        ASSERT_TRUE(song.IsPlayingBack());
        r.captured.clear();
        r.capturing = true;
        for (int guard = 0; guard < 10000 && song.IsPlayingBack(); ++guard)
            r.Render(1);
        r.capturing = false;
        EXPECT_FALSE(song.IsPlayingBack());
        EXPECT_EQ(song.PlayingCount(), 0);  // the mix ran out: everything stops
        const std::uint64_t start = r.E(from);
        const std::uint64_t compared =
            r.CompareWithRender(r.captured, start, render, start, length);
        EXPECT_GT(compared, (length - start) * 9 / 10);
    }
    // Playback does not change the mix.
    EXPECT_EQ(song.GetEvents(0)->size(), 9u);
}

TEST_P(LiveMixTest, TheListenerHearsPlaybackInTheDocumentsOrder) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 11);
    r.Load(1, 2 * r.Bar(), false, 523);
    r.Load(2, r.Bar() * 7 / 10, true, 77);
    WriteMix(song);
    Collect listener;
    song.SetLiveListener(&listener);
    ASSERT_EQ(song.StartPlayback(Millis(0)), SongResult::Ok);
    for (int guard = 0; guard < 10000 && song.IsPlayingBack(); ++guard)
        r.Render(1);
    song.SetLiveListener(nullptr);
    std::vector<MixEvent> played;
    std::int64_t lastFrame = -1;
    for (const LiveNotice& n : listener.got) {
        if (n.kind != LiveNotice::kPlayed) continue;
        played.push_back(n.event);
        EXPECT_GE(n.mixFrame, lastFrame);
        EXPECT_EQ(static_cast<std::uint64_t>(n.mixFrame), r.E(n.event.time));
        lastFrame = n.mixFrame;
    }
    EXPECT_EQ(played, song.Document().MergedEvents());
    ASSERT_FALSE(listener.got.empty());
    EXPECT_EQ(listener.got.back().kind, LiveNotice::kPlaybackEnded);
}

TEST_P(LiveMixTest, AHeldKnobTakesOverFromThePlaybackAndIsRecordedWhereItActed) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(1, r.Bar(), false, 523);
    const auto put = [&](std::uint32_t t, std::uint32_t kind, int value) {
        InsertEvent(*song.Events(1), {t, kind, 1, static_cast<std::uint32_t>(value), 0});
    };
    InsertEvent(*song.Events(0), {0, kMasterVolume, 0, 0, 0});
    put(0, kVolume, 0);
    put(0, kChannelOn, 0);
    put(500, kVolume, -1000);
    put(1000, kVolume, -2000);
    put(1500, kVolume, -3000);
    put(2500, kChannelOff, 0);
    Collect listener;
    song.SetLiveListener(&listener);
    ASSERT_EQ(song.StartPlayback(Millis(0)), SongResult::Ok);
    r.capturing = true;
    const std::uint64_t origin = r.Now();
    const auto renderToMs = [&](std::uint32_t ms) { r.RenderTo(origin + r.E(ms) + 1); };
    renderToMs(700);
    song.SetVolumeHeld(1, true);
    const std::uint64_t first = r.Now() - origin;
    song.SetChannelVolume(1, -4000);
    renderToMs(1200);
    const std::uint64_t second = r.Now() - origin;
    song.SetChannelVolume(1, -500);
    renderToMs(1700);
    song.SetVolumeHeld(1, false);
    for (int guard = 0; guard < 10000 && song.IsPlayingBack(); ++guard)
        r.Render(1);
    r.capturing = false;
    song.SetLiveListener(nullptr);

    // The held values replace the recorded ones that came due meanwhile.
    std::vector<std::pair<std::uint32_t, int>> volumes;
    for (const MixEvent& e : Recorded(1, kVolume))
        volumes.emplace_back(e.time, static_cast<int>(e.value));
    const std::vector<std::pair<std::uint32_t, int>> expected = {
        {0, 0},
        {500, -1000},
        {FirstTimeAtOrAfter(first), -4000},
        {FirstTimeAtOrAfter(second), -500}};
    EXPECT_EQ(volumes, expected);
    int dropped = 0;
    for (const LiveNotice& n : listener.got)
        dropped += n.kind == LiveNotice::kDropped ? 1 : 0;
    EXPECT_EQ(dropped, 2);
    // What was heard is what the mix now renders.
    const std::uint64_t length = r.E(song.MixLength().count);
    const auto render = r.Mixdown();
    EXPECT_GT(r.CompareWithRender(r.captured, 0, render, 0, length), length * 9 / 10);
}

TEST_P(LiveMixTest, AnEffectStopsItselfAtItsEndUnlessTheStopIsCancelled) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    const std::uint32_t n = r.Bar() * 7 / 10;
    r.Load(2, n, true, 77);
    Collect listener;
    song.SetLiveListener(&listener);
    ASSERT_EQ(song.SwitchEffectOn(2), SongResult::Ok);
    r.capturing = true;
    r.Render(1);
    const std::uint64_t started = r.captureStart;
    EXPECT_TRUE(song.IsChannelPlaying(2));
    EXPECT_TRUE(song.IsSwitchPending(2));
    r.RenderTo(started + n + 2 * r.block);
    r.capturing = false;
    EXPECT_FALSE(song.IsChannelPlaying(2));
    EXPECT_FALSE(song.IsSwitchPending(2));
    // It sounds its whole length and nothing after.
    const std::uint32_t fb = r.FrameBytes();
    const std::uint8_t silence = r.format.wBitsPerSample == 8 ? 0x80 : 0;
    auto loop = PatternLoop(r.format, n, 77);
    EXPECT_EQ(std::memcmp(r.captured.data(), loop->Data(), std::size_t{n} * fb), 0);
    EXPECT_TRUE(std::all_of(r.captured.begin() + std::size_t{n} * fb, r.captured.end(),
                            [&](std::uint8_t b) { return b == silence; }));
    const auto stop = std::find_if(listener.got.begin(), listener.got.end(), [](const auto& x) {
        return x.kind == LiveNotice::kSwitched && !x.on;
    });
    ASSERT_NE(stop, listener.got.end());
    EXPECT_TRUE(stop->inTime);
    EXPECT_EQ(static_cast<std::uint64_t>(stop->mixFrame), started + n);

    // Cancelled: it plays on.
    listener.got.clear();
    ASSERT_EQ(song.SwitchEffectOn(2), SongResult::Ok);
    r.Render(1);
    ASSERT_EQ(song.CancelChannelInTime(2), SongResult::Ok);
    r.Render(1);
    EXPECT_FALSE(song.IsSwitchPending(2));
    r.RenderTo(r.Now() + 2 * n);
    EXPECT_TRUE(song.IsChannelPlaying(2));
    EXPECT_TRUE(std::any_of(listener.got.begin(), listener.got.end(),
                            [](const auto& x) { return x.kind == LiveNotice::kCancelled; }));
    song.SetLiveListener(nullptr);
}

TEST_P(LiveMixTest, ALoopLoadedDuringARecordingRecordsItsLevelsWhereTheLoadLanded) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 11);
    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    song.SwitchChannelOn(0);
    const std::uint64_t origin = r.Now();
    r.Render(6);
    song.SetChannelVolume(4, -2200);
    song.SetChannelPan(4, 700);
    r.Render(1);
    const std::uint64_t issued = r.Now() - origin;
    auto wave = PatternLoop(r.format, r.Bar(), 5);
    ASSERT_EQ(song.ReplaceChannel(4, wave.get(), false), SongResult::Ok);
    r.Render(3);
    song.StopMix();
    r.Render(2);
    const auto volumes = Recorded(4, kVolume);
    const auto pans = Recorded(4, kPan);
    ASSERT_EQ(volumes.size(), 1u);
    ASSERT_EQ(pans.size(), 1u);
    EXPECT_EQ(volumes[0].time, FirstTimeAtOrAfter(issued));
    EXPECT_EQ(static_cast<int>(volumes[0].value), -2200);
    EXPECT_EQ(pans[0].time, FirstTimeAtOrAfter(issued));
    EXPECT_EQ(static_cast<int>(pans[0].value), 700);
    // Master events stay when channel 0's loop is replaced.
    ASSERT_EQ(song.ReplaceChannel(0, wave.get(), false), SongResult::Ok);
    EXPECT_FALSE(Recorded(0, kMasterVolume).empty());
}

TEST_P(LiveMixTest, ARecordingWithoutASwitchOnRendersNothing) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    r.Load(0, r.Bar(), false, 11);
    ASSERT_EQ(song.StartRecording(), SongResult::Ok);
    r.Render(3);
    song.SetChannelVolume(0, -100);
    r.Render(1);
    ASSERT_EQ(song.StopMix(), SongResult::Ok);
    r.Render(1);
    EXPECT_EQ(song.MixLength().count, 0u);
    EXPECT_EQ(song.SaveSong(r.temp.File("none.wav"), Song::kSaveMixdown, &r.format),
              SongResult::NoMix);
}

// The master meter as the console reads it: the extremes of the output over
// its last 60 ms, whatever the sizes of the render calls, against a scan of
// the captured output.
TEST_P(LiveMixTest, TheMasterMeterCoversTheLastSixtyMillisecondsOfOutput) {
    LiveRig& r = *rig;
    Song& song = *r.song;
    const std::uint32_t fb = r.FrameBytes();
    const bool eightBit = r.format.wBitsPerSample == 8;
    const bool stereo = r.format.nChannels == 2;
    const std::uint32_t window = r.format.nSamplesPerSec * 60 / 1000;
    const auto sample = [&](std::size_t frame, int side) {
        const std::uint8_t* f = r.captured.data() + frame * fb;
        const int c = stereo ? side : 0;
        if (eightBit) return (static_cast<int>(f[c]) - 128) * 256;
        std::int16_t v;
        std::memcpy(&v, f + c * 2, 2);
        return static_cast<int>(v);
    };
    const auto check = [&](const char* when) {
        const std::size_t frames = r.captured.size() / fb;
        ASSERT_GE(frames, window) << when;
        int lo[2] = {32767, 32767};
        int hi[2] = {-32768, -32768};
        for (std::size_t k = frames - window; k < frames; ++k) {
            for (int c = 0; c < 2; ++c) {
                lo[c] = std::min(lo[c], sample(k, c));
                hi[c] = std::max(hi[c], sample(k, c));
            }
        }
        const LevelMeter m = song.Meters().master;
        EXPECT_EQ(m.minLeft, lo[0]) << when << " after " << frames;
        EXPECT_EQ(m.maxLeft, hi[0]) << when << " after " << frames;
        EXPECT_EQ(m.minRight, lo[1]) << when << " after " << frames;
        EXPECT_EQ(m.maxRight, hi[1]) << when << " after " << frames;
    };
    r.Load(0, r.Bar(), false, 11);
    r.Load(1, r.Bar() / 2, true, 523);
    r.capturing = true;
    r.RenderTo(r.Now() + window + 3);
    check("silence");
    EXPECT_EQ(song.Meters().master, LevelMeter{});
    ASSERT_EQ(song.SwitchChannelOn(0), SongResult::Ok);
    ASSERT_EQ(song.SwitchChannelOn(1), SongResult::Ok);
    // Calls far shorter and far longer than the window, and just around it.
    for (const std::uint32_t n :
         {1u, 7u, 64u, window - 1, window, window + 1, 3 * window, 5u, r.block, window / 2, 2u}) {
        r.RenderTo(r.Now() + n);
        check("sounding");
    }
    song.SetChannelVolume(0, -2500);
    r.RenderTo(r.Now() + window / 3);
    check("a quieter channel entering the window");
    r.RenderTo(r.Now() + window);
    check("the louder frames gone");
    ASSERT_EQ(song.SwitchChannelOff(0), SongResult::Ok);
    song.SwitchChannelOff(1);  // the effect may have stopped itself already
    r.RenderTo(r.Now() + window - 1);
    check("the last sounding frame about to leave");
    r.RenderTo(r.Now() + 1);
    check("silence again");
    EXPECT_EQ(song.Meters().master.maxLeft, 0);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Rates, LiveMixTest,
                         ::testing::Values(LiveCase{44100, 16, 2, 120.0},
                                           LiveCase{44100, 16, 2, 130.0},
                                           LiveCase{22050, 16, 2, 130.0},
                                           LiveCase{22050, 8, 1, 120.0}),
                         LiveCaseName);

}  // namespace tamboro::engine::test
