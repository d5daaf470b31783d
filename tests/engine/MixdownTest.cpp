#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "audio/files/SoundFile.h"
#include "audio/mixer/MixKernels.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class Mixdown : public SongFixture {
  protected:
    std::unique_ptr<audio::Wave> Render(const audio::WAVEFORMATEX* format, SongResult* result) {
        const std::string path = out.File("mix.wav");
        *result = song.SaveSong(path, Song::kSaveMixdown, format);
        if (*result != SongResult::Ok) return nullptr;
        auto wave = std::make_unique<audio::Wave>();
        if (audio::LoadWave(*wave, path, audio::kLoadCopy) != audio::SoundResult::Ok) {
            return nullptr;
        }
        return wave;
    }
    tamboro::test::TempDir out;
};

// The mix computed the plain way: for every frame, every sounding channel's
// loop sample at that frame, scaled by its gains, summed with saturation.
// The mixer works in blocks of 8 bytes (two 16-bit stereo frames): an event
// takes effect at the last block boundary before its frame, counted from
// where the previous events took effect.
std::vector<std::int16_t> Expected(const std::array<std::unique_ptr<audio::Wave>, 3>& loops,
                                   const std::vector<MixEvent>& events, std::uint32_t frames,
                                   std::uint32_t rate, const std::array<bool, 3>& effect) {
    std::vector<std::int16_t> out(2 * frames);
    std::map<std::uint32_t, std::uint32_t> effectiveFrame;  // event time -> frame
    std::uint32_t mixed = 0;
    for (const MixEvent& e : events) {
        if (effectiveFrame.count(e.time) != 0) continue;
        const auto due = static_cast<std::uint32_t>(std::uint64_t{e.time} * rate / 1000);
        mixed += (due - mixed) / 2 * 2;
        effectiveFrame[e.time] = mixed;
    }
    struct State {
        bool on = false;
        std::uint32_t start = 0;  // frame the channel was switched on
        int volume = 0;
        int pan = 0;
    };
    std::array<State, 3> state;
    int master = 0;
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (const MixEvent& e : events) {
            if (effectiveFrame[e.time] != f) continue;
            State& s = state[e.channel];
            if (e.kind == kChannelOn) s = {true, f, s.volume, s.pan};
            if (e.kind == kChannelOff) s.on = false;
            if (e.kind == kVolume) s.volume = static_cast<int>(e.value);
            if (e.kind == kPan) s.pan = static_cast<int>(e.value);
            if (e.kind == kMasterVolume) master = static_cast<int>(e.value);
        }
        int left = 0, right = 0;
        for (int ch = 0; ch < 3; ++ch) {
            if (!state[ch].on) continue;
            const auto length = static_cast<std::uint32_t>(loops[ch]->FrameCount());
            const std::uint32_t k = effect[ch] ? (f - state[ch].start) % length : f % length;
            const std::uint32_t frame = loops[ch]->GetFrame(static_cast<std::int32_t>(k));
            int l = static_cast<std::int16_t>(frame & 0xFFFF);
            int r = static_cast<std::int16_t>(frame >> 16);
            const audio::StereoGains g = audio::GainsOf(state[ch].volume + master, state[ch].pan);
            if (g.left != 32767 || g.right != 32767) {
                l = (l * g.left) >> 15;
                r = (r * g.right) >> 15;
            }
            left = std::clamp(left + l, -32768, 32767);
            right = std::clamp(right + r, -32768, 32767);
        }
        out[2 * f] = static_cast<std::int16_t>(left);
        out[2 * f + 1] = static_cast<std::int16_t>(right);
    }
    return out;
}

class MixdownScenario : public Mixdown, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(MixdownScenario, RenderMatchesThePlainComputationOfTheMix) {
    // At 8000 Hz every event falls on a block boundary; at 11025 Hz most of
    // them fall between the two frames of a block.
    const std::uint32_t rate = GetParam();
    const bool aligned = rate == 8000;
    const std::array<std::uint32_t, 8> t =
        aligned ? std::array<std::uint32_t, 8>{0, 250, 500, 600, 900, 1000, 1200, 1500}
                : std::array<std::uint32_t, 8>{0, 255, 505, 611, 903, 1001, 1207, 1503};
    const audio::WAVEFORMATEX format = Pcm(rate, 16, 2);
    ASSERT_EQ(Load(0, Bar(), false, 0), SongResult::Ok);
    ASSERT_EQ(Load(1, 2 * Bar() - 5, false, 100), SongResult::Ok);  // fitted to two bars
    ASSERT_EQ(Load(2, 3000, true, 5000), SongResult::Ok);           // an effect
    const std::vector<MixEvent> events = {
        {t[0], kMasterVolume, 0, static_cast<std::uint32_t>(-500), 0},
        {t[0], kVolume, 0, static_cast<std::uint32_t>(-1000), 0},
        {t[0], kPan, 0, 2000, 0},
        {t[0], kChannelOn, 0, 0, 0},
        {t[0], kPan, 1, static_cast<std::uint32_t>(-1500), 0},
        {t[1], kChannelOn, 1, 0, 0},
        {t[2], kVolume, 0, static_cast<std::uint32_t>(-300), 0},
        {t[3], kChannelOn, 2, 0, 0},
        {t[4], kChannelOn, 2, 0, 0},  // an effect starts again from its start
        {t[5], kMasterVolume, 0, static_cast<std::uint32_t>(-100), 0},
        {t[6], kChannelOff, 1, 0, 0},
        {t[7], kChannelOff, 0, 0, 0},
        {t[7], kChannelOff, 2, 0, 0},
    };
    for (const MixEvent& e : events)
        InsertEvent((*song.Events(e.kind == kMasterVolume ? 0 : static_cast<int>(e.channel))), e);
    EXPECT_EQ(song.MixLength().count, t[7]);
    const auto frames = static_cast<std::uint32_t>(std::uint64_t{t[7]} * rate / 1000);

    SongResult result = SongResult::Count_;
    auto rendered = Render(&format, &result);
    ASSERT_EQ(result, SongResult::Ok);
    ASSERT_TRUE(rendered);
    ASSERT_EQ(*rendered->Format(), format);
    ASSERT_EQ(rendered->FrameCount(), static_cast<std::int32_t>(frames));

    std::array<std::unique_ptr<audio::Wave>, 3> loops;
    for (int ch = 0; ch < 3; ++ch) {
        loops[ch] = song.RenderChannelLoop(ch, format);
        ASSERT_TRUE(loops[ch]);
    }
    if (aligned) {
        EXPECT_EQ(loops[1]->FrameCount(), static_cast<std::int32_t>(2 * Bar()));
        EXPECT_EQ(loops[2]->FrameCount(), 3000);
    }
    const auto expected = Expected(loops, events, frames, rate, {false, false, true});
    const auto* got = reinterpret_cast<const std::int16_t*>(rendered->Data());
    std::size_t mismatches = 0, first = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (got[i] != expected[i] && mismatches++ == 0) first = i;
    }
    EXPECT_EQ(mismatches, 0u) << "first at sample " << first << ": " << got[first] << " vs "
                              << expected[first];

    // The same song renders to the same bytes.
    const auto firstBytes = tamboro::test::ReadAll(out.File("mix.wav"));
    tamboro::test::TempDir other;  // same file name: the writer names the mix after it
    ASSERT_EQ(song.SaveSong(other.File("mix.wav"), Song::kSaveMixdown, &format), SongResult::Ok);
    EXPECT_EQ(tamboro::test::ReadAll(other.File("mix.wav")), firstBytes);

    // In 24 bits the mix is made in 16 and widened by the writer, which
    // reads the render in pieces of its own sizes: the same samples.
    const audio::WAVEFORMATEX wide = Pcm(rate, 24, 2);
    ASSERT_EQ(song.SaveSong(other.File("wide.wav"), Song::kSaveMixdown, &wide), SongResult::Ok);
    audio::Wave widened;
    ASSERT_EQ(audio::LoadWave(widened, other.File("wide.wav"), audio::kLoadCopy),
              audio::SoundResult::Ok);
    ASSERT_EQ(widened.DataBytes(), frames * 6);
    const auto* w = widened.Data();
    mismatches = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const int v = static_cast<std::int32_t>(static_cast<std::uint32_t>(w[3 * i]) << 8 |
                                                static_cast<std::uint32_t>(w[3 * i + 1]) << 16 |
                                                static_cast<std::uint32_t>(w[3 * i + 2]) << 24) >>
                      16;
        if (v != expected[i]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, MixdownScenario, ::testing::Values(8000u, 11025u));

// A render in the device's format reads the loops the device plays; they
// must be exactly what converting and fitting the sources gives, for loops
// in the device's format, fitted ones, effects and foreign rates. With mono
// sources the device plays each loop from one channel, upmixed: converting
// a source for a render in any format does the same.
TEST_F(Mixdown, PreparedLoopsAreTheLoopsConvertedFromTheirSources) {
    ASSERT_EQ(Load(0, Bar(), false, 0), SongResult::Ok);
    ASSERT_EQ(Load(1, 2 * Bar() - 5, false, 100), SongResult::Ok);
    ASSERT_EQ(Load(2, 3000, true, 5000), SongResult::Ok);
    auto foreign = RampLoop(11025, Pcm(11025, 16, 2), 7, "foreign");
    ASSERT_EQ(song.ReplaceChannel(3, foreign.get(), false), SongResult::Ok);
    auto mono8 = RampLoop(4000, Pcm(22050, 8, 1), 9, "mono8");
    ASSERT_EQ(song.ReplaceChannel(4, mono8.get(), true), SongResult::Ok);
    const audio::WAVEFORMATEX device = Pcm(8000, 16, 2);  // the fixture device's format
    for (const bool monoSources : {false, true}) {
        SCOPED_TRACE(monoSources ? "mono sources" : "as they are");
        ASSERT_EQ(song.SetOutputFormat(0, device, monoSources, false), SongResult::Ok);
        for (int ch = 0; ch < 5; ++ch) {
            SCOPED_TRACE(ch);
            ASSERT_FALSE(song.GetPreparedFile(ch).empty());
            const auto prepared = song.RenderChannelLoop(ch, device);
            const auto converted = song.ConvertChannelLoop(ch, device);
            ASSERT_TRUE(prepared);
            ASSERT_TRUE(converted);
            EXPECT_EQ(*prepared->Format(), *converted->Format());
            ASSERT_EQ(prepared->DataBytes(), converted->DataBytes());
            EXPECT_EQ(std::memcmp(prepared->Data(), converted->Data(), prepared->DataBytes()), 0);
            // In another format too, each frame's two channels are one.
            const auto other = song.ConvertChannelLoop(ch, Pcm(22050, 16, 2));
            ASSERT_TRUE(other);
            bool sidesEqual = true;
            for (std::int32_t i = 0; i < other->FrameCount(); ++i) {
                const std::uint32_t frame = other->GetFrame(i);
                sidesEqual = sidesEqual && (frame & 0xFFFF) == frame >> 16;
            }
            // Channel 4 is a mono source: upmixed either way.
            EXPECT_EQ(sidesEqual, monoSources || ch == 4);
        }
    }
}

TEST_F(Mixdown, NoMixNoRender) {
    SongResult result = SongResult::Count_;
    EXPECT_FALSE(Render(nullptr, &result));
    EXPECT_EQ(result, SongResult::NoMix);
}

TEST_F(Mixdown, AMixStartingLaterIsSilentUntilItsFirstEventAndLoudAfter) {
    ASSERT_EQ(Load(0, Bar()), SongResult::Ok);
    (*song.Events(0)) = {{500, kChannelOn, 0, 0, 0}, {1000, kChannelOff, 0, 0, 0}};
    SongResult result = SongResult::Count_;
    const audio::WAVEFORMATEX format = Pcm(8000, 16, 2);
    auto rendered = Render(&format, &result);
    ASSERT_TRUE(rendered);
    const auto* s = reinterpret_cast<const std::int16_t*>(rendered->Data());
    EXPECT_TRUE(std::all_of(s, s + 2 * 4000, [](std::int16_t v) { return v == 0; }));
    // Full level: the loop's own samples, in phase with the song.
    EXPECT_EQ(s[2 * 4000], static_cast<std::int16_t>(4000 % Bar() + 1));
    EXPECT_EQ(s[2 * 7999], static_cast<std::int16_t>(7999 % Bar() + 1));
}

TEST_F(Mixdown, DefaultFormatIsCdQualityAndCompressedFormatsAreWritten) {
    ASSERT_EQ(Load(0, Bar()), SongResult::Ok);
    (*song.Events(0)) = {{0, kChannelOn, 0, 0, 0}, {250, kChannelOff, 0, 0, 0}};
    SongResult result = SongResult::Count_;
    auto cd = Render(nullptr, &result);
    ASSERT_TRUE(cd);
    EXPECT_EQ(*cd->Format(), Pcm(44100, 16, 2));
    EXPECT_EQ(cd->FrameCount(), 44100 / 4);

    audio::WAVEFORMATEX ima;
    ima.wFormatTag = 0x11;
    ima.nChannels = 2;
    ima.nSamplesPerSec = 22050;
    ima.nBlockAlign = 1024;
    ima.wBitsPerSample = 4;
    ima.nAvgBytesPerSec = 22201;
    ima.cbSize = 2;
    ima.extra = {0xF9, 0x03};  // 1017 frames a block
    const std::string path = out.File("ima.wav");
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixdown, &ima), SongResult::Ok);
    audio::Wave back;
    ASSERT_EQ(audio::LoadWave(back, path, audio::kLoadCopy), audio::SoundResult::Ok);
    EXPECT_EQ(back.Format()->wFormatTag, 0x11);
    EXPECT_EQ(back.Format()->nSamplesPerSec, 22050u);
}

}  // namespace
}  // namespace tamboro::engine::test
