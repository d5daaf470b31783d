// tamboro-cli info and convert, run as the program users run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "platform/StringTable.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

using test::ReadText;

// Runs the program in its own language (whatever the user's locale);
// stdout and stderr go to files in `dir`.
int RunCli(const test::TempDir& dir, const std::string& args) {
    return test::RunCommand("LANGUAGE= LC_ALL= LC_MESSAGES= LANG=C '" + test::CliPath() + "' " +
                            args + " >'" + dir.File("out.txt") + "' 2>'" + dir.File("err.txt") +
                            "'");
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "tamboro-cli not built";
    }
};

TEST_F(Cli, InfoPrintsTheFormatAndTexts) {
    test::TempDir dir;
    std::vector<std::uint8_t> samples(44100 * 4 * 2, 0);
    Wave wave;
    WAVEFORMATEX f;
    MakePcmFormat(f, 44100, 16, 2);
    wave.AttachBorrowed(f, samples.data(), static_cast<std::uint32_t>(samples.size()));
    wave.SetInfo("IART", "Caf\xC3\xA9");
    ASSERT_EQ(SaveWave(wave, dir.File("drum.wav"), 0), SoundResult::Ok);
    ASSERT_EQ(RunCli(dir, "info '" + dir.File("drum.wav") + "'"), 0);
    EXPECT_EQ(ReadText(dir.File("out.txt")),
              "type: wav\n"
              "format-tag: 1\n"
              "format: PCM\n"
              "channels: 2\n"
              "rate: 44100\n"
              "bits: 16\n"
              "block-align: 4\n"
              "bytes-per-second: 176400\n"
              "data-bytes: 352800\n"
              "frames: 88200\n"
              "length-ms: 2000\n"
              "IART: Caf\xC3\xA9\n"
              "INAM: drum\n");
}

TEST_F(Cli, ConvertWritesTheAskedFormatAndKeepsTheRest) {
    test::TempDir dir;
    std::vector<std::uint8_t> samples(22050, 0x80);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(128 + 100 * ((i / 50) % 2 ? 1 : -1));
    Wave wave;
    WAVEFORMATEX f;
    MakePcmFormat(f, 22050, 8, 1);
    wave.AttachBorrowed(f, samples.data(), static_cast<std::uint32_t>(samples.size()));
    ASSERT_EQ(SaveWave(wave, dir.File("in.wav"), 0), SoundResult::Ok);

    ASSERT_EQ(RunCli(dir, "convert '" + dir.File("in.wav") + "' '" + dir.File("out.wav") +
                              "' --rate 44100 --bits 16 --channels 2"),
              0)
        << ReadText(dir.File("err.txt"));
    Wave out;
    ASSERT_EQ(LoadWave(out, dir.File("out.wav"), 0), SoundResult::Ok);
    EXPECT_EQ(out.Format()->nSamplesPerSec, 44100u);
    EXPECT_EQ(out.Format()->wBitsPerSample, 16);
    EXPECT_EQ(out.Format()->nChannels, 2);
    EXPECT_EQ(out.FrameCount(), 44100);

    ASSERT_EQ(RunCli(dir, "convert '" + dir.File("in.wav") + "' '" + dir.File("ima.wav") +
                              "' --encoding ima-adpcm"),
              0);
    ASSERT_EQ(LoadWave(out, dir.File("ima.wav"), 0), SoundResult::Ok);
    EXPECT_EQ(out.Format()->wFormatTag, kFormatImaAdpcm);
    EXPECT_EQ(out.Format()->nSamplesPerSec, 22050u);  // not asked: kept
    EXPECT_EQ(out.Format()->nChannels, 1);

    ASSERT_EQ(RunCli(dir, "convert '" + dir.File("in.wav") + "' '" + dir.File("out.au") +
                              "' --encoding mulaw"),
              0);
    const auto au = test::ReadAll(dir.File("out.au"));
    ASSERT_GE(au.size(), 28u);
    EXPECT_EQ(au[15], 1);  // encoding 1: u-law
    ASSERT_EQ(RunCli(dir, "convert '" + dir.File("in.wav") + "' '" + dir.File("out.aiff") + "'"),
              0);
    ASSERT_EQ(LoadWave(out, dir.File("out.aiff"), 0), SoundResult::Ok);
    EXPECT_EQ(out.Format()->wBitsPerSample, 8);
    EXPECT_EQ(out.DataBytes(), samples.size());
}

TEST_F(Cli, EnglishWhenTheLocaleOrTheOptionAsks) {
    test::TempDir dir;
    const std::string english =
        "tamboro-cli: " + platform::LoadString(1012, platform::Language::English) + " (code 4)";
    EXPECT_EQ(RunCli(dir, "--lang en info '" + dir.File("none.wav") + "'"), 1);
    EXPECT_TRUE(ReadText(dir.File("err.txt")).starts_with(english))
        << ReadText(dir.File("err.txt"));
    EXPECT_EQ(test::RunCommand("LANGUAGE= LC_ALL=en_GB.UTF-8 '" + test::CliPath() + "' info '" +
                               dir.File("none.wav") + "' 2>'" + dir.File("err.txt") + "'"),
              1);
    EXPECT_TRUE(ReadText(dir.File("err.txt")).starts_with(english))
        << ReadText(dir.File("err.txt"));
    EXPECT_EQ(RunCli(dir, "--lang xx info a.wav"), 2);
}

TEST_F(Cli, FailuresSayWhatWentWrongWithTheirCode) {
    test::TempDir dir;
    EXPECT_EQ(RunCli(dir, "info '" + dir.File("none.wav") + "'"), 1);
    EXPECT_EQ(ReadText(dir.File("err.txt")), "tamboro-cli: " + platform::LoadString(1012) +
                                                 " (code 4): " + dir.File("none.wav") +
                                                 ": No such file or directory\n");
    ASSERT_TRUE(test::WriteAll(dir.File("bad.wav"), {'R', 'I', 'F', 'F', 9, 0, 0, 0, 'W', 'A'}));
    EXPECT_EQ(RunCli(dir, "info '" + dir.File("bad.wav") + "'"), 1);
    EXPECT_NE(ReadText(dir.File("err.txt"))
                  .find("(code 5): " + dir.File("bad.wav") + ": not a RIFF WAVE file\n"),
              std::string::npos)
        << ReadText(dir.File("err.txt"));
    EXPECT_EQ(RunCli(dir, "info"), 2);
    EXPECT_EQ(RunCli(dir, "convert a.wav"), 2);
    EXPECT_EQ(RunCli(dir, "convert a.wav b.wav --encoding mp3"), 2);
    EXPECT_EQ(RunCli(dir, "convert a.wav b.wav --rate"), 2);
    EXPECT_EQ(RunCli(dir, "convert a.wav b.mp3"), 1);
    EXPECT_NE(ReadText(dir.File("err.txt")).find("(code 2)"), std::string::npos);
}

}  // namespace
}  // namespace tamboro::audio
