// Where the automatic snapshot lives, the interval from the environment and
// the info file that keeps the song's original path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "app/core/AutosaveFiles.h"
#include "tests/support/TestSupport.h"

namespace tamboro::app {
namespace {

struct IntervalCase {
    const char* name;
    const char* value;  // null: unset
    int seconds;
};

class AutosaveIntervalTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(AutosaveIntervalTest, ReadsTheEnvironmentValue) {
    EXPECT_EQ(AutosaveInterval(GetParam().value), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AutosaveIntervalTest,
    ::testing::Values(IntervalCase{"Unset", nullptr, kAutosaveSeconds}, IntervalCase{"One", "1", 1},
                      IntervalCase{"FiveMinutes", "300", 300}, IntervalCase{"ADay", "86400", 86400},
                      IntervalCase{"MoreThanADay", "86401", kAutosaveSeconds},
                      IntervalCase{"Zero", "0", kAutosaveSeconds},
                      IntervalCase{"Negative", "-5", kAutosaveSeconds},
                      IntervalCase{"Empty", "", kAutosaveSeconds},
                      IntervalCase{"TrailingText", "10s", kAutosaveSeconds},
                      IntervalCase{"Fraction", "1.5", kAutosaveSeconds},
                      IntervalCase{"Overflow", "99999999999999999999", kAutosaveSeconds}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AutosaveInfo, EveryPathSurvivesTheRoundTrip) {
    for (const std::string& path :
         {std::string(), std::string("/home/u/Brani/canzone.tbo"),
          std::string("/tmp/with\\backslash\\n/not a newline.tbo"),
          std::string("/tmp/real\nnewline\r\nand cr.tbo"), std::string("/tmp/città è.tbo"),
          std::string("/tmp/[AUTOSAVE]\nPATH=/elsewhere.tbo"), std::string("/tmp/ends\\")}) {
        const std::string text = FormatAutosaveInfo(path);
        // One line of section, one of key: the path cannot break the lines.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << path;
        const auto back = ParseAutosaveInfo(text);
        ASSERT_TRUE(back.has_value()) << path;
        EXPECT_EQ(*back, path);
    }
}

TEST(AutosaveInfo, ParsingTakesOnlyThePathKeyOfItsSection) {
    EXPECT_EQ(ParseAutosaveInfo("[AUTOSAVE]\r\nPATH=/a.tbo\r\n"), "/a.tbo");
    EXPECT_EQ(ParseAutosaveInfo("[OTHER]\nPATH=/no.tbo\n[AUTOSAVE]\nX=1\nPATH=/yes.tbo"),
              "/yes.tbo");
    EXPECT_EQ(ParseAutosaveInfo("PATH=/outside.tbo\n"), std::nullopt);
    EXPECT_EQ(ParseAutosaveInfo("[AUTOSAVE]\nPATHS=/x\n"), std::nullopt);
    EXPECT_EQ(ParseAutosaveInfo(""), std::nullopt);
    EXPECT_EQ(ParseAutosaveInfo("[AUTOSAVE]\nPATH=/bad\\q\n"), std::nullopt);
    EXPECT_EQ(ParseAutosaveInfo("[AUTOSAVE]\nPATH=/cut\\"), std::nullopt);
    // No file name holds a NUL: such a path would name another file.
    EXPECT_EQ(ParseAutosaveInfo(std::string("[AUTOSAVE]\nPATH=/a\0b", 20)), std::nullopt);
}

class AutosaveFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Keep("XDG_STATE_HOME", m_state);
        Keep("HOME", m_home);
    }
    void TearDown() override {
        Restore("XDG_STATE_HOME", m_state);
        Restore("HOME", m_home);
    }
    static void Keep(const char* name, std::optional<std::string>& into) {
        if (const char* v = std::getenv(name)) into = v;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::optional<std::string> m_state, m_home;
    test::TempDir m_dir;
};

TEST_F(AutosaveFolderTest, StateHomeFirstThenHomeLocalState) {
    ::setenv("XDG_STATE_HOME", "/s", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(DefaultAutosaveFiles().song, "/s/tamboro/autosave.tbo");
    EXPECT_EQ(DefaultAutosaveFiles().info, "/s/tamboro/autosave.ini");
    // A relative or empty state folder is ignored, as the XDG rules say.
    ::setenv("XDG_STATE_HOME", "relative", 1);
    EXPECT_EQ(DefaultAutosaveFiles().folder, "/h/.local/state/tamboro");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultAutosaveFiles().song, "/h/.local/state/tamboro/autosave.tbo");
    ::unsetenv("HOME");
    EXPECT_TRUE(DefaultAutosaveFiles().folder.empty());
    EXPECT_FALSE(AutosaveExists(DefaultAutosaveFiles()));
    EXPECT_NE(WriteAutosaveInfo(DefaultAutosaveFiles(), "/x.tbo"), 0);
}

TEST_F(AutosaveFolderTest, InfoIsWrittenIntoNewFoldersAndRemovedWithTheSnapshotOnly) {
    const AutosaveFiles files = AutosaveFilesIn(m_dir.File("state/deep/tamboro"));
    EXPECT_EQ(ReadAutosaveOriginal(files), "");
    ASSERT_EQ(WriteAutosaveInfo(files, "/home/u/a b.tbo"), 0);
    struct stat st {};
    ASSERT_EQ(::stat(files.folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadAutosaveOriginal(files), "/home/u/a b.tbo");
    EXPECT_FALSE(AutosaveExists(files));
    std::ofstream(files.song) << "song";
    std::ofstream(files.folder + "/other.txt") << "keep";
    EXPECT_TRUE(AutosaveExists(files));
    // Written again: replaced whole.
    ASSERT_EQ(WriteAutosaveInfo(files, "/b.tbo"), 0);
    EXPECT_EQ(ReadAutosaveOriginal(files), "/b.tbo");
    RemoveAutosave(files);
    EXPECT_FALSE(AutosaveExists(files));
    EXPECT_EQ(ReadAutosaveOriginal(files), "");
    EXPECT_EQ(test::ReadAll(files.folder + "/other.txt").size(), 4u);
    // A folder named like the snapshot is no snapshot.
    ::mkdir(files.song.c_str(), 0700);
    EXPECT_FALSE(AutosaveExists(files));
}

}  // namespace
}  // namespace tamboro::app
