// Kills tamboro-cli with SIGKILL at many moments while make-song, render and
// convert write over an existing file: the file is always byte for byte the
// old one or the new one, and nothing is left in the destination folder or
// in the temporary folder. The child stops itself (SIGSTOP) after N output
// bytes through the writer's test hook, so "just after the first write" and
// every step of the commit are reachable, then the test kills it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/TestSupport.h"

namespace tamboro::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct CommandCase {
    const char* label;
    const char* outName;
    // Arguments with IN/ and OUT/ standing for the folders.
    std::vector<std::string> args;
};

class CrashSafety : public ::testing::TestWithParam<CommandCase> {
  protected:
    void SetUp() override {
        if (!tamboro::test::FileExists(test::CliPath())) GTEST_SKIP() << "tamboro-cli not built";
        ASSERT_EQ(::mkdir(In().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Out().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Tmp().c_str(), 0755), 0);
        ASSERT_TRUE(test::WriteLoop(In() + "/loop.wav", 2.0, 220.0));
        ASSERT_TRUE(test::WriteLoop(In() + "/loop2.wav", 2.0, 330.0));
        ASSERT_TRUE(tamboro::test::WriteAll(
            In() + "/mix.txt", ToBytes("0 on 0 0\n0 on 5 0\n2000 volume 0 -800\n6000 off 0 0\n"
                                       "7000 off 5 0\n")));
        ASSERT_EQ(RunQuietly({"make-song", In() + "/song.tbo", "--tempo", "120", "--loop",
                              "0:" + In() + "/loop.wav", "--loop", "5:" + In() + "/loop2.wav",
                              "--mix", In() + "/mix.txt"}),
                  0);
    }
    static Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
    std::string In() const { return m_root.Path() + "/in"; }
    std::string Out() const { return m_root.Path() + "/out"; }
    std::string Tmp() const { return m_root.Path() + "/tmp"; }
    std::vector<std::string> Args(const CommandCase& c) const {
        std::vector<std::string> args;
        for (std::string a : c.args) {
            for (const auto& [key, value] :
                 {std::pair<std::string, std::string>{"IN/", In() + "/"}, {"OUT/", Out() + "/"}}) {
                const std::size_t at = a.find(key);
                if (at != std::string::npos) a.replace(at, key.size(), value);
            }
            args.push_back(a);
        }
        return args;
    }
    int RunQuietly(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        test::ChildOptions options;
        options.args = args;
        env.push_back("TMPDIR=" + Tmp());
        options.env = env;
        options.errFile = m_root.File("err.txt");
        return test::Run(options);
    }
    std::vector<std::string> ListOut() const { return test::ListFolder(Out()); }
    tamboro::test::TempDir m_root;
};

TEST_P(CrashSafety, AKillLeavesTheOldFileOrTheNewOneAndNothingElse) {
    const CommandCase& c = GetParam();
    const std::string out = Out() + "/" + c.outName;
    const std::vector<std::string> args = Args(c);
    // The old file: the other loop's bytes, with a mode of its own.
    const Bytes old = tamboro::test::ReadAll(In() + "/loop2.wav");
    ASSERT_TRUE(tamboro::test::WriteAll(out, old));
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    // The new file, as a run that is not killed writes it.
    ASSERT_EQ(RunQuietly(args), 0);
    const Bytes fresh = tamboro::test::ReadAll(out);
    ASSERT_GT(fresh.size(), 200000u);
    ASSERT_NE(fresh, old);
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the new file keeps the old one's mode";

    std::vector<std::string> moments = {"1",     "16",     "4096",   "65536",
                                        "65537", "commit", "linked", "renamed"};
    for (int k = 1; k < 8; ++k)
        moments.push_back(std::to_string(fresh.size() * k / 8));
    moments.push_back(std::to_string(fresh.size() - 1));
    int keptOld = 0, tookNew = 0;
    for (const std::string& moment : moments) {
        SCOPED_TRACE("stopped at " + moment);
        ASSERT_TRUE(tamboro::test::WriteAll(out, old));
        test::ChildOptions options;
        options.args = args;
        options.env = {"TMPDIR=" + Tmp(), "TAMBORO_TEST_STOP=" + moment};
        options.errFile = m_root.File("err.txt");
        const pid_t pid = test::Start(options);
        ASSERT_GT(pid, 0);
        const test::ChildEnd end = test::Wait(pid);
        ASSERT_TRUE(end.stopped) << "exited " << end.exited << " status " << end.status;
        test::Kill(pid);

        const Bytes now = tamboro::test::ReadAll(out);
        const bool isOld = now == old, isNew = now == fresh;
        EXPECT_TRUE(isOld || isNew) << now.size() << " bytes";
        keptOld += isOld;
        tookNew += isNew;
        EXPECT_TRUE(test::ListFolder(Tmp()).empty());
        const auto names = ListOut();
        if (moment == "linked") {
            // Between the link and the rename: the new file under its
            // temporary name, which the next write into the folder removes.
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(names[0],
                      "." + std::string(c.outName) + ".tamboro-" + std::to_string(pid) + ".tmp");
            EXPECT_EQ(tamboro::test::ReadAll(Out() + "/" + names[0]), fresh);
            ASSERT_EQ(RunQuietly(args), 0);
            EXPECT_EQ(ListOut(), std::vector<std::string>{c.outName});
        } else {
            EXPECT_EQ(names, std::vector<std::string>{c.outName});
        }
    }
    // Early kills keep the old file, a kill after the rename has the new.
    EXPECT_GT(keptOld, 5);
    EXPECT_GE(tookNew, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CrashSafety,
    ::testing::Values(
        CommandCase{"MakeSong",
                    "song.tbo",
                    {"make-song", "OUT/song.tbo", "--tempo", "120", "--title", "Nuovo", "--loop",
                     "0:IN/loop.wav", "--loop", "5:IN/loop2.wav", "--mix", "IN/mix.txt"}},
        CommandCase{"Render", "mix.wav", {"render", "IN/song.tbo", "OUT/mix.wav"}},
        CommandCase{
            "Convert", "conv.wav", {"convert", "IN/loop.wav", "OUT/conv.wav", "--rate", "48000"}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tamboro::cli
