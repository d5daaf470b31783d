// The command line of every tamboro-cli command: the one option parser's
// forms, its usage errors and every command's --help.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "engine/LoopStretch.h"
#include "platform/StringTable.h"
#include "tests/support/ClickTrack.h"
#include "tests/support/TestSupport.h"

namespace tamboro::cli {
namespace {

class CliOptions : public test::CliFixture {};

struct CommandCase {
    const char* name;
    const char* usageStart;  // how its usage line starts
};

const CommandCase kCommands[] = {
    {"info", "usage: tamboro-cli info FILE"},
    {"convert", "usage: tamboro-cli convert IN OUT"},
    {"devices", "usage: tamboro-cli devices"},
    {"play", "usage: tamboro-cli play FILE"},
    {"prepare", "usage: tamboro-cli prepare IN OUT --tempo BPM"},
    {"render", "usage: tamboro-cli render SONG OUT.wav"},
    {"make-song", "usage: tamboro-cli make-song OUT.tbo --tempo BPM"},
};

class EveryCommand : public CliOptions, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(EveryCommand, AnswersHelpWithItsOwnUsageOnStdout) {
    const CommandCase& c = GetParam();
    for (const char* help : {"--help", "-h"}) {
        ASSERT_EQ(Run(std::string(c.name) + " " + help), 0) << help;
        EXPECT_EQ(Out().rfind(c.usageStart, 0), 0u) << Out();
        EXPECT_EQ(Err(), "");
    }
    // --help wins over anything else on the line.
    ASSERT_EQ(Run(std::string(c.name) + " x y --bogus --help"), 0);
    EXPECT_EQ(Out().rfind(c.usageStart, 0), 0u) << Out();
}

TEST_P(EveryCommand, RefusesAnUnknownOptionWithItsUsage) {
    const CommandCase& c = GetParam();
    for (const char* option : {"--bogus", "--bogus=1", "-x", "---"}) {
        ASSERT_EQ(Run(std::string(c.name) + " a.wav b.wav " + option), 2) << option;
        EXPECT_EQ(Out(), "");
        EXPECT_NE(Err().find("unknown option"), std::string::npos) << Err();
        EXPECT_NE(Err().find(std::string("\n") + c.usageStart), std::string::npos) << Err();
    }
}

TEST_P(EveryCommand, RefusesTooManyArguments) {
    const CommandCase& c = GetParam();
    ASSERT_EQ(Run(std::string(c.name) + " a b c d"), 2);
    EXPECT_NE(Err().find("too many arguments"), std::string::npos) << Err();
    EXPECT_NE(Err().find(c.usageStart), std::string::npos) << Err();
}

INSTANTIATE_TEST_SUITE_P(Commands, EveryCommand, ::testing::ValuesIn(kCommands),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != '\0'; ++p) {
                                 if (*p != '-') name += *p;
                             }
                             return name;
                         });

// Malformed values: each must end as a usage error naming the option.
struct BadValueCase {
    const char* label;
    const char* args;
    const char* option;  // named in the message
};

const BadValueCase kBadValues[] = {
    {"ConvertRateNotANumber", "convert a.wav b.wav --rate fast", "--rate"},
    {"ConvertRateZero", "convert a.wav b.wav --rate=0", "--rate"},
    {"ConvertRateTooHigh", "convert a.wav b.wav --rate 1000001", "--rate"},
    {"ConvertRateWithTrailingText", "convert a.wav b.wav --rate 44100Hz", "--rate"},
    {"ConvertBitsMissing", "convert a.wav b.wav --bits", "--bits"},
    {"ConvertBitsNegative", "convert a.wav b.wav --bits -16", "--bits"},
    {"ConvertChannelsThree", "convert a.wav b.wav --channels=3", "--channels"},
    {"ConvertEncodingUnknown", "convert a.wav b.wav --encoding mp3", "--encoding"},
    {"ConvertEncodingEmpty", "convert a.wav b.wav --encoding=", "--encoding"},
    {"PlayBitsTwelve", "play a.wav --bits 12", "--bits"},
    {"PlayDeviceTooLow", "play a.wav --device=-2", "--device"},
    {"PlayLoopWithValue", "play a.wav --loop=1", "--loop"},
    {"PlaySongFromNegative", "play a.tbo --from -5", "--from"},
    {"PrepareTempoZero", "prepare a.wav b.wav --tempo 0", "--tempo"},
    {"PrepareTempoNotFinite", "prepare a.wav b.wav --tempo=inf", "--tempo"},
    {"PrepareTempoNaN", "prepare a.wav b.wav --tempo nan", "--tempo"},
    {"PrepareTempoTooHigh", "prepare a.wav b.wav --tempo 1000.5", "--tempo"},
    {"PrepareEffectWithValue", "prepare a.wav b.wav --tempo 120 --effect=yes", "--effect"},
    {"PrepareRateTooLow", "prepare a.wav b.wav --tempo 120 --rate 999", "--rate"},
    {"RenderBitsTooHigh", "render a.tbo b.wav --bits 65", "--bits"},
    {"RenderEncodingUnknown", "render a.tbo b.wav --encoding=ogg", "--encoding"},
    {"MakeSongMasterTooLoud", "make-song a.tbo --tempo 120 --master 1", "--master"},
    {"MakeSongMasterTooLow", "make-song a.tbo --tempo 120 --master=-10001", "--master"},
    {"MakeSongLoopChannel20", "make-song a.tbo --tempo 120 --loop 20:x.wav", "--loop"},
    {"MakeSongLoopNoFile", "make-song a.tbo --tempo 120 --loop 3:", "--loop"},
    {"MakeSongLoopBadFlag", "make-song a.tbo --tempo 120 --loop 3:x.wav:fx", "--loop"},
    {"MakeSongLoopEffectStretched", "make-song a.tbo --tempo 120 --loop 3:x.wav:effect:stretch",
     "--loop"},
    {"PrepareStretchWithValue", "prepare a.wav b.wav --tempo 120 --stretch=yes", "--stretch"},
    {"MakeSongVolumeAboveFull", "make-song a.tbo --tempo 120 --volume 3:5", "--volume"},
    {"MakeSongPanTooFarRight", "make-song a.tbo --tempo 120 --pan=3:10001", "--pan"},
    {"MakeSongPanNoChannel", "make-song a.tbo --tempo 120 --pan 500", "--pan"},
    {"MakeSongTitleMissing", "make-song a.tbo --tempo 120 --title", "--title"},
};

class BadValue : public CliOptions, public ::testing::WithParamInterface<BadValueCase> {};

TEST_P(BadValue, IsAUsageErrorNamingTheOption) {
    const BadValueCase& c = GetParam();
    ASSERT_EQ(Run(c.args), 2) << Err();
    EXPECT_EQ(Err().rfind(std::string("tamboro-cli: ") + c.option, 0), 0u) << Err();
    EXPECT_NE(Err().find("\nusage: tamboro-cli "), std::string::npos) << Err();
    // Nothing was written.
    EXPECT_FALSE(test::FileExists(m_dir.File("b.wav")));
    EXPECT_FALSE(test::FileExists(m_dir.File("a.tbo")));
}

INSTANTIATE_TEST_SUITE_P(Options, BadValue, ::testing::ValuesIn(kBadValues),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(CliOptions, RequiredOptionsAndArgumentsAreUsageErrors) {
    EXPECT_EQ(Run("make-song a.tbo"), 2);
    EXPECT_EQ(Err().rfind("tamboro-cli: --tempo is required\n", 0), 0u) << Err();
    EXPECT_EQ(Run("prepare a.wav b.wav"), 2);
    EXPECT_EQ(Err().rfind("tamboro-cli: --tempo is required\n", 0), 0u) << Err();
    EXPECT_EQ(Run("make-song --tempo 120"), 2);
    EXPECT_EQ(Err().rfind("tamboro-cli: missing arguments\n", 0), 0u) << Err();
    EXPECT_EQ(Run("convert a.wav"), 2);
    EXPECT_EQ(Run("info"), 2);
    EXPECT_EQ(Run("devices extra"), 2);
}

TEST_F(CliOptions, BothValueFormsAndNegativeValuesAreTaken) {
    // The same song made with "--name value" and with "--name=value" is the
    // same file, byte for byte; a value may start with '-'.
    ASSERT_EQ(Run("make-song one.tbo --tempo 96.5 --title Prova --master -1200 --pan 3:-2500 "
                  "--volume 3:-700 --notes -dash"),
              0)
        << Err();
    ASSERT_EQ(Run("make-song two.tbo --tempo=96.5 --title=Prova --master=-1200 --pan=3:-2500 "
                  "--volume=3:-700 --notes=-dash"),
              0)
        << Err();
    const auto one = test::ReadAll(m_dir.File("one.tbo"));
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(one, test::ReadAll(m_dir.File("two.tbo")));
    ASSERT_EQ(Run("info one.tbo"), 0) << Err();
    const std::string info = Out();
    EXPECT_NE(info.find("tempo: 96.500\n"), std::string::npos) << info;
    EXPECT_NE(info.find("master-volume: -1200\n"), std::string::npos) << info;
    EXPECT_NE(info.find("notes: -dash\n"), std::string::npos) << info;
    EXPECT_NE(info.find("channel 3: loaded=0 effect=0 name=\"\" volume=-700 pan=-2500"),
              std::string::npos)
        << info;
}

TEST_F(CliOptions, DoubleDashEndsTheOptions) {
    // A file whose name starts with '-' after "--".
    ASSERT_EQ(Run("make-song --tempo 120 -- -song.tbo"), 0) << Err();
    EXPECT_TRUE(test::FileExists(m_dir.File("-song.tbo")));
}

TEST_F(CliOptions, StretchFitsByTheTempoAndSaysHow) {
    // One bar at 100 BPM, stretched into one bar at 120.
    audio::Wave loop;
    ASSERT_TRUE(test::MakeClickTrack(loop, 44100, 100, 2));
    ASSERT_EQ(audio::SaveWave(loop, m_dir.File("a.wav"), audio::kTypeWav), audio::SoundResult::Ok);
    ASSERT_EQ(Run("prepare a.wav b.wav --tempo 120 --stretch"), 0) << Err();
    EXPECT_EQ(Out(), "bars: 1\nratio: 0.833333\n");
    audio::Wave prepared;
    ASSERT_EQ(audio::LoadWave(prepared, m_dir.File("b.wav"), audio::kLoadCopy),
              audio::SoundResult::Ok);
    EXPECT_EQ(prepared.FrameCount(), static_cast<std::int32_t>(test::BarFrames(44100, 120)));

    // The song file holds the stretched loop.
    ASSERT_EQ(Run("make-song s.tbo --tempo 120 --loop 4:a.wav:stretch"), 0) << Err();
    ASSERT_EQ(Run("info s.tbo"), 0) << Err();
    EXPECT_NE(Out().find("channel 4: loaded=1 effect=0 name=\"a\" volume=-500 pan=0 events=0 "
                         "sample-bytes=" +
                         std::to_string(test::BarFrames(44100, 120) * 4) + "\n"),
              std::string::npos)
        << Out();

    // An effect is never stretched; a loop a quarter of the bar long is
    // refused with its message, nothing written.
    EXPECT_EQ(Run("prepare a.wav b2.wav --tempo 120 --stretch --effect"), 2);
    EXPECT_EQ(Err().rfind("tamboro-cli: an effect is never stretched\n", 0), 0u) << Err();
    EXPECT_EQ(Run("prepare a.wav b3.wav --tempo 25 --stretch"), 1);
    EXPECT_NE(Err().find(platform::LoadString(engine::kStretchRefusedText)), std::string::npos)
        << Err();
    EXPECT_FALSE(test::FileExists(m_dir.File("b2.wav")));
    EXPECT_FALSE(test::FileExists(m_dir.File("b3.wav")));
    EXPECT_EQ(Run("make-song t.tbo --tempo 25 --loop 4:a.wav:stretch"), 1);
    EXPECT_FALSE(test::FileExists(m_dir.File("t.tbo")));
}

}  // namespace
}  // namespace tamboro::cli
