#include <gtest/gtest.h>

#include <algorithm>

#include "audio/MixKernels.h"
#include "audio/SoundFile.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class Mixdown : public SongFixture {
  protected:
    std::unique_ptr<audio::Wave> Render(const audio::WAVEFORMATEX* format, int* result) {
        const std::string path = out.File("mix.wav");
        *result = song.SaveSong(path, Song::kSaveMixdown, format);
        if (*result != 0) return nullptr;
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
std::vector<std::int16_t> Expected(const std::array<std::unique_ptr<audio::Wave>, 3>& loops,
                                   const std::vector<MixEvent>& events, std::uint32_t frames,
                                   std::uint32_t rate, const std::array<bool, 3>& effect) {
    std::vector<std::int16_t> out(2 * frames);
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
            if (std::uint64_t{e.time} * rate / 1000 != f) continue;
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

TEST_F(Mixdown, RenderMatchesThePlainComputationOfTheMix) {
    const audio::WAVEFORMATEX format = Pcm(8000, 16, 2);
    ASSERT_EQ(Load(0, Bar(), false, 0), 0);
    ASSERT_EQ(Load(1, 2 * Bar() - 5, false, 100), 0);  // fitted to two bars
    ASSERT_EQ(Load(2, 3000, true, 5000), 0);           // an effect
    const std::vector<MixEvent> events = {
        {0, kMasterVolume, 0, static_cast<std::uint32_t>(-500), 0},
        {0, kVolume, 0, static_cast<std::uint32_t>(-1000), 0},
        {0, kPan, 0, 2000, 0},
        {0, kChannelOn, 0, 0, 0},
        {0, kPan, 1, static_cast<std::uint32_t>(-1500), 0},
        {250, kChannelOn, 1, 0, 0},
        {500, kVolume, 0, static_cast<std::uint32_t>(-300), 0},
        {600, kChannelOn, 2, 0, 0},
        {900, kChannelOn, 2, 0, 0},  // an effect starts again from its start
        {1000, kMasterVolume, 0, static_cast<std::uint32_t>(-100), 0},
        {1200, kChannelOff, 1, 0, 0},
        {1500, kChannelOff, 0, 0, 0},
        {1500, kChannelOff, 2, 0, 0},
    };
    for (const MixEvent& e : events)
        InsertEvent(song.Events(e.kind == kMasterVolume ? 0 : static_cast<int>(e.channel)), e);
    EXPECT_EQ(song.MixLength(), 1500u);

    int result = -1;
    auto rendered = Render(&format, &result);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(rendered);
    ASSERT_EQ(*rendered->Format(), format);
    ASSERT_EQ(rendered->FrameCount(), 12000);

    std::array<std::unique_ptr<audio::Wave>, 3> loops;
    for (int ch = 0; ch < 3; ++ch) {
        loops[ch] = song.RenderChannelLoop(ch, format);
        ASSERT_TRUE(loops[ch]);
    }
    EXPECT_EQ(loops[1]->FrameCount(), static_cast<std::int32_t>(2 * Bar()));
    EXPECT_EQ(loops[2]->FrameCount(), 3000);
    const auto expected = Expected(loops, events, 12000, 8000, {false, false, true});
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
    ASSERT_EQ(song.SaveSong(other.File("mix.wav"), Song::kSaveMixdown, &format), 0);
    EXPECT_EQ(tamboro::test::ReadAll(other.File("mix.wav")), firstBytes);
}

TEST_F(Mixdown, NoMixNoRender) {
    int result = -1;
    EXPECT_FALSE(Render(nullptr, &result));
    EXPECT_EQ(result, 6);
    // A recording stopped before any channel started has nothing either.
    ASSERT_EQ(Load(0, Bar()), 0);
    ASSERT_EQ(song.StartRecording(), 0);
    song.StopMix();
    EXPECT_FALSE(Render(nullptr, &result));
    EXPECT_EQ(result, 6);
}

TEST_F(Mixdown, AMixStartingLaterIsSilentUntilItsFirstEventAndLoudAfter) {
    ASSERT_EQ(Load(0, Bar()), 0);
    song.Events(0) = {{500, kChannelOn, 0, 0, 0}, {1000, kChannelOff, 0, 0, 0}};
    int result = -1;
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
    ASSERT_EQ(Load(0, Bar()), 0);
    song.Events(0) = {{0, kChannelOn, 0, 0, 0}, {250, kChannelOff, 0, 0, 0}};
    int result = -1;
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
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixdown, &ima), 0);
    audio::Wave back;
    ASSERT_EQ(audio::LoadWave(back, path, audio::kLoadCopy), audio::SoundResult::Ok);
    EXPECT_EQ(back.Format()->wFormatTag, 0x11);
    EXPECT_EQ(back.Format()->nSamplesPerSec, 22050u);
}

}  // namespace
}  // namespace tamboro::engine::test
