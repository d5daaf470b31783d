#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "audio/files/SoundFile.h"
#include "audio/output/OutputDevice.h"
#include "engine/LoopFitting.h"
#include "engine/Song.h"
#include "platform/Messages.h"
#include "tests/support/TestSupport.h"

namespace tamboro::engine {
namespace {

class DemoSong : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TMPDIR", temp.Path().c_str(), 1);
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, 44100, 16, 2);
        device.SetWindowAndFormat(f, 0);
        ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
        ASSERT_EQ(song.LoadSong(std::string(TAMBORO_BINARY_DIR) + "/demo/demo.tbo", 0),
                  SongResult::Ok);
    }
    void TearDown() override {
        song.DetachDevice();
        ::unsetenv("TMPDIR");
    }
    tamboro::test::TempDir temp;
    platform::EventLoop loop;
    audio::OutputDevice device{nullptr};
    Song song{loop};
};

TEST_F(DemoSong, EveryChannelHoldsANamedLoopOfWholeBars) {
    EXPECT_EQ(song.GetTempo(), 120.0);
    EXPECT_FALSE(song.GetTitle().empty());
    int effects = 0;
    const std::uint32_t bar = SamplesPerBar(44100, 120.0);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ASSERT_FALSE(song.IsChannelEmpty(ch)) << ch;
        EXPECT_FALSE(song.GetChannelName(ch).empty()) << ch;
        EXPECT_FALSE(song.GetEvents(ch)->empty()) << ch;
        const std::uint32_t frames = device.GetFrameCount(static_cast<int>(song.GetVoice(ch)));
        if (song.IsEffect(ch)) {
            ++effects;
            continue;
        }
        const std::uint32_t bars = frames / bar;
        EXPECT_EQ(frames % bar, 0u) << ch;
        EXPECT_TRUE(bars == 1 || bars == 2 || bars == 4 || bars == 8) << ch << ": " << bars;
    }
    EXPECT_GE(effects, 2);
    // About 64 bars of mix.
    EXPECT_EQ(song.MixLength().count, 64u * 2000);
}

TEST_F(DemoSong, MixdownNeverClipsAndIsNotQuiet) {
    const std::string path = temp.File("demo.wav");
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixdown, nullptr), SongResult::Ok);
    audio::Wave wave;
    ASSERT_EQ(audio::LoadWave(wave, path, audio::kLoadCopy), audio::SoundResult::Ok);
    ASSERT_EQ(wave.FrameCount(), 128 * 44100);
    const auto* s = reinterpret_cast<const std::int16_t*>(wave.Data());
    const std::size_t samples = wave.DataBytes() / 2;
    int peak = 0;
    std::size_t longestRun = 0, run = 0;
    double energy = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        const int v = s[i];
        peak = std::max(peak, std::abs(v));
        // A run of full-scale samples on one side is a clipped wave top.
        const bool full = v >= 32767 || v <= -32767;
        run = full && i >= 2 && (s[i - 2] >= 32767 || s[i - 2] <= -32767) ? run + 1 : 0;
        longestRun = std::max(longestRun, run);
        energy += static_cast<double>(v) * v;
    }
    EXPECT_EQ(longestRun, 0u);
    EXPECT_LT(peak, 32767);
    const double rmsDb = 10 * std::log10(energy / samples) - 20 * std::log10(32768.0);
    EXPECT_GT(rmsDb, -24.0);
    EXPECT_LT(rmsDb, -9.0);
}

}  // namespace
}  // namespace tamboro::engine
