// tamboro-cli perform through SDL's dummy driver (real time, no sound
// card): a recorded performance renders as it was captured, and a
// performance that only plays captures the render of the song.
#include <gtest/gtest.h>

#include "tests/engine/LiveRig.h"
#include "tests/support/TestSupport.h"

namespace tamboro::engine::test {
namespace {

struct PerformCase {
    std::uint32_t rate;
    std::uint16_t bits;
    std::uint16_t channels;
    double tempo;
};

std::string PerformCaseName(const ::testing::TestParamInfo<PerformCase>& info) {
    const PerformCase& c = info.param;
    return std::to_string(c.rate) + "Hz" + std::to_string(c.bits) + "bit" +
           std::to_string(static_cast<int>(c.tempo)) + "Bpm";
}

class Perform : public ::testing::TestWithParam<PerformCase> {
  protected:
    void SetUp() override {
        if (!tamboro::test::FileExists(tamboro::test::CliPath())) {
            GTEST_SKIP() << "tamboro-cli is not built";
        }
        ::setenv("TMPDIR", dir.Path().c_str(), 1);
        const PerformCase& c = GetParam();
        audio::MakePcmFormat(format, c.rate, c.bits, c.channels);
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    std::string FormatOptions() const {
        return " --rate " + std::to_string(format.nSamplesPerSec) + " --bits " +
               std::to_string(format.wBitsPerSample) + " --channels " +
               std::to_string(format.nChannels);
    }
    // A song of four channels (one an effect) at the case's tempo, with
    // `withMix` a mix written into it; saved to `path`.
    void WriteSong(const std::string& path, bool withMix) {
        platform::EventLoop loop;
        Song song(loop);
        song.NewSong(GetParam().tempo);
        const std::uint32_t bar = SamplesPerBar(format.nSamplesPerSec, GetParam().tempo);
        const std::uint32_t frames[] = {bar, 2 * bar, bar, bar * 3 / 5};
        for (int ch = 0; ch < 4; ++ch) {
            auto wave = PatternLoop(format, frames[ch], 97 * ch + 5);
            ASSERT_EQ(song.ReplaceChannel(ch, wave.get(), ch == 3), SongResult::Ok);
            song.SetInitialVolume(ch, 0);
        }
        if (withMix) {
            const auto put = [&](std::uint32_t t, std::uint32_t kind, std::uint32_t ch, int v) {
                InsertEvent(*song.Events(kind == kMasterVolume ? 0 : static_cast<int>(ch)),
                            {t, kind, ch, static_cast<std::uint32_t>(v), 0});
            };
            put(0, kMasterVolume, 0, -200);
            for (std::uint32_t ch = 0; ch < 4; ++ch) {
                put(0, kVolume, ch, 0);
                put(0, kPan, ch, 0);
            }
            put(0, kChannelOn, 0, 0);
            put(461, kChannelOn, 1, 0);
            put(923, kVolume, 0, -1700);
            put(1001, kChannelOn, 3, 0);
            put(1385, kPan, 1, -3500);
            put(1500, kChannelOn, 2, 0);
            put(1847, kMasterVolume, 0, -900);
            put(2200, kChannelOff, 0, 0);
            put(2200, kChannelOff, 1, 0);
            put(2200, kChannelOff, 2, 0);
            put(2200, kChannelOff, 3, 0);
        }
        ASSERT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
    }
    std::vector<std::uint8_t> Samples(const std::string& path) {
        audio::Wave wave;
        if (audio::LoadWave(wave, path, audio::kTypeWav | audio::kLoadCopy) !=
            audio::SoundResult::Ok) {
            ADD_FAILURE() << "cannot read " << path;
            return {};
        }
        EXPECT_EQ(*wave.Format(), format);
        return {wave.Data(), wave.Data() + wave.DataBytes()};
    }
    SongDocument Document(const std::string& path) {
        platform::EventLoop loop;
        Song song(loop);
        EXPECT_EQ(song.LoadSong(path, 0), SongResult::Ok);
        return song.Document();
    }
    int Cli(const std::string& args) {
        return tamboro::test::RunCommand("SDL_AUDIODRIVER=dummy '" + tamboro::test::CliPath() +
                                         "' " + args + " >'" + dir.File("out.txt") + "' 2>&1");
    }

    tamboro::test::TempDir dir;
    audio::WAVEFORMATEX format;
};

TEST_P(Perform, ARecordedPerformanceRendersAsItWasCaptured) {
    WriteSong(dir.File("song.tbo"), false);
    ASSERT_TRUE(tamboro::test::WriteAll(dir.File("script.txt"), [] {
        const std::string s =
            "# a take: switches at once and in time, knobs, the master\n"
            "0 master -300\n"
            "0 record\n"
            "120 on 0\n"
            "380 on-next 1   # waits for two bars\n"
            "600 volume 0 -1500\n"
            "800 on 3        # the effect\n"
            "1000 pan 0 4000\n"
            "1150 on-next 2\n"
            "1300 master -800\n"
            "1500 off-next 0\n"
            "1700 on 2\n"
            "2300 stop\n"
            "2500 end\n";
        return std::vector<std::uint8_t>(s.begin(), s.end());
    }()));
    ASSERT_EQ(
        Cli("perform '" + dir.File("song.tbo") + "' '" + dir.File("script.txt") + "' --record '" +
            dir.File("r.tbo") + "' --capture '" + dir.File("c.wav") + "'" + FormatOptions()),
        0)
        << tamboro::test::ReadText(dir.File("out.txt"));
    ASSERT_EQ(
        Cli("render '" + dir.File("r.tbo") + "' '" + dir.File("x.wav") + "'" + FormatOptions()), 0)
        << tamboro::test::ReadText(dir.File("out.txt"));
    const SongDocument doc = Document(dir.File("r.tbo"));
    const auto captured = Samples(dir.File("c.wav"));
    const auto rendered = Samples(dir.File("x.wav"));
    const std::uint32_t fb = format.nBlockAlign;
    const std::uint64_t length = EventFrame(doc.MixLength().count, format.nSamplesPerSec, fb);
    ASSERT_GT(length, format.nSamplesPerSec);  // more than a second was recorded
    const std::uint64_t compared =
        CompareOutsideRamps(doc, format.nSamplesPerSec, fb, captured, 0, rendered, 0, length);
    EXPECT_GT(compared, length * 9 / 10);
}

TEST_P(Perform, APerformanceThatOnlyPlaysCapturesTheRender) {
    WriteSong(dir.File("song.tbo"), true);
    const std::string script = "0 play\n2600 end\n";
    ASSERT_TRUE(tamboro::test::WriteAll(dir.File("play.txt"),
                                        std::vector<std::uint8_t>(script.begin(), script.end())));
    ASSERT_EQ(Cli("perform '" + dir.File("song.tbo") + "' '" + dir.File("play.txt") +
                  "' --capture '" + dir.File("c.wav") + "'" + FormatOptions()),
              0)
        << tamboro::test::ReadText(dir.File("out.txt"));
    ASSERT_EQ(
        Cli("render '" + dir.File("song.tbo") + "' '" + dir.File("x.wav") + "'" + FormatOptions()),
        0);
    const SongDocument doc = Document(dir.File("song.tbo"));
    const auto captured = Samples(dir.File("c.wav"));
    const auto rendered = Samples(dir.File("x.wav"));
    const std::uint32_t fb = format.nBlockAlign;
    const std::uint64_t length = EventFrame(doc.MixLength().count, format.nSamplesPerSec, fb);
    EXPECT_GT(CompareOutsideRamps(doc, format.nSamplesPerSec, fb, captured, 0, rendered, 0, length),
              length * 9 / 10);
}

TEST(PerformScript, ErrorsNameTheLine) {
    if (!tamboro::test::FileExists(tamboro::test::CliPath())) GTEST_SKIP();
    tamboro::test::TempDir dir;
    const std::string script = "0 record\n# fine so far\n100 on 20\n";
    ASSERT_TRUE(tamboro::test::WriteAll(dir.File("bad.txt"),
                                        std::vector<std::uint8_t>(script.begin(), script.end())));
    EXPECT_EQ(tamboro::test::RunCommand("SDL_AUDIODRIVER=dummy '" + tamboro::test::CliPath() +
                                        "' perform nosong.tbo '" + dir.File("bad.txt") + "' 2>'" +
                                        dir.File("err.txt") + "'"),
              2);
    EXPECT_NE(tamboro::test::ReadText(dir.File("err.txt")).find("line 3: channel must be 0 to 19"),
              std::string::npos);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Formats, Perform,
                         ::testing::Values(PerformCase{44100, 16, 2, 130.0},
                                           PerformCase{22050, 8, 1, 120.0}),
                         PerformCaseName);

}  // namespace tamboro::engine::test
