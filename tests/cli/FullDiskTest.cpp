// A full disk, without mounting anything: the writer's fault seam (ENOSPC
// after N bytes) in the process, and tamboro-cli run under RLIMIT_FSIZE
// with SIGXFSZ ignored (writes past the limit fail with EFBIG). Either way
// the old file stays as it was, the command fails with its table's write
// code and the system's reason, and nothing is left behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "engine/Song.h"
#include "platform/FileFault.h"
#include "platform/Messages.h"
#include "platform/OutputFile.h"
#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/TestSupport.h"

namespace tamboro::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TextOf(const std::string& path) {
    const Bytes bytes = tamboro::test::ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

class FullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(In().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Out().c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Tmp().c_str(), 0755), 0);
        ASSERT_TRUE(test::WriteLoop(In() + "/loop.wav", 2.0, 220.0));  // 352,844 bytes
        ASSERT_TRUE(test::WriteLoop(In() + "/loop2.wav", 2.0, 330.0));
        m_old = Bytes(5000, 0x4F);
    }
    void TearDown() override { platform::SetOutputFaultForTesting(0, 0); }
    std::string In() const { return m_root.Path() + "/in"; }
    std::string Out() const { return m_root.Path() + "/out"; }
    std::string Tmp() const { return m_root.Path() + "/tmp"; }
    void ExpectUntouched(const std::string& out) {
        EXPECT_EQ(tamboro::test::ReadAll(out), m_old);
        EXPECT_EQ(test::ListFolder(Out()), std::vector<std::string>{out.substr(Out().size() + 1)});
        EXPECT_TRUE(test::ListFolder(Tmp()).empty());
    }
    // Runs tamboro-cli with files limited to `limit` bytes.
    int RunLimited(const std::vector<std::string>& args, rlim_t limit) {
        test::ChildOptions options;
        options.args = args;
        options.env = {"TMPDIR=" + Tmp()};
        options.errFile = m_root.File("err.txt");
        options.beforeExec = [limit] {
            ::signal(SIGXFSZ, SIG_IGN);  // kept across exec: writes fail with EFBIG
            rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
        };
        return test::Run(options);
    }
    tamboro::test::TempDir m_root;
    Bytes m_old;
};

TEST_F(FullDisk, TheWriterSeamFailsASongSaveAsAWriteFailure) {
    const std::string out = Out() + "/song.tbo";
    ASSERT_TRUE(tamboro::test::WriteAll(out, m_old));
    ::setenv("TMPDIR", Tmp().c_str(), 1);
    {
        platform::EventLoop loop;
        engine::Song song(loop);
        song.NewSong(120.0);
        ASSERT_TRUE(song.LoadLoop(0, In() + "/loop.wav", false).Ok());
        for (const std::uint64_t after : {0ull, 1ull, 2000ull, 100000ull, 352000ull}) {
            SCOPED_TRACE(after);
            platform::SetOutputFaultForTesting(after, ENOSPC);
            platform::ClearFileFault();
            EXPECT_EQ(song.SaveSong(out, 0, nullptr), engine::SongResult::WriteFailed);
            EXPECT_EQ(platform::FileFaultText(), out + ": No space left on device");
            ExpectUntouched(out);
        }
        platform::SetOutputFaultForTesting(0, 0);
        EXPECT_EQ(song.SaveSong(out, 0, nullptr), engine::SongResult::Ok);
    }
    ::unsetenv("TMPDIR");
    EXPECT_NE(tamboro::test::ReadAll(out), m_old);
}

TEST_F(FullDisk, TheWriterSeamFailsASoundFileSaveAsAWriteFailure) {
    const std::string out = Out() + "/copy.wav";
    ASSERT_TRUE(tamboro::test::WriteAll(out, m_old));
    audio::Wave wave;
    ASSERT_EQ(audio::LoadWave(wave, In() + "/loop.wav", audio::kLoadCopy), audio::SoundResult::Ok);
    for (const std::uint64_t after : {0ull, 44ull, 65536ull, 352000ull}) {
        SCOPED_TRACE(after);
        platform::SetOutputFaultForTesting(after, ENOSPC);
        platform::ClearFileFault();
        EXPECT_EQ(audio::SaveWave(wave, out, 0), audio::SoundResult::WriteFailed);
        EXPECT_EQ(platform::FileFaultText(), out + ": No space left on device");
        ExpectUntouched(out);
    }
}

TEST_F(FullDisk, CommandsUnderAFileSizeLimitFailCleanly) {
    if (!tamboro::test::FileExists(test::CliPath())) GTEST_SKIP() << "tamboro-cli not built";
    ASSERT_TRUE(tamboro::test::WriteAll(In() + "/mix.txt",
                                        {'0', ' ', 'o', 'n', ' ', '0', ' ', '0', '\n', '7', '0',
                                         '0', '0', ' ', 'o', 'f', 'f', ' ', '0', ' ',  '0', '\n'}));
    ASSERT_EQ(RunLimited({"make-song", In() + "/song.tbo", "--tempo", "120", "--loop",
                          "0:" + In() + "/loop.wav", "--mix", In() + "/mix.txt"},
                         RLIM_INFINITY),
              0);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        rlim_t limit;  // above every scratch file (a loop: 352,844 bytes)
        int code;
    } cases[] = {
        // Two loops: the song passes 700 KB.
        {"song.tbo",
         {"make-song", Out() + "/song.tbo", "--tempo", "120", "--loop", "0:" + In() + "/loop.wav",
          "--loop", "1:" + In() + "/loop2.wav"},
         500000,
         11},
        // 7 s of 44100 Hz 16-bit stereo: 1.2 MB.
        {"mix.wav", {"render", In() + "/song.tbo", Out() + "/mix.wav"}, 500000, 11},
        // A 96 kHz copy: 768 KB.
        {"conv.wav",
         {"convert", In() + "/loop.wav", Out() + "/conv.wav", "--rate", "96000"},
         500000,
         9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = Out() + "/" + c.name;
        ASSERT_TRUE(tamboro::test::WriteAll(out, m_old));
        EXPECT_EQ(RunLimited(c.args, c.limit), 1);
        const std::string err = TextOf(m_root.File("err.txt"));
        EXPECT_NE(err.find("(code " + std::to_string(c.code) + "): " + out + ": File too large"),
                  std::string::npos)
            << err;
        ExpectUntouched(out);
        // Without the limit the same command succeeds.
        EXPECT_EQ(RunLimited(c.args, RLIM_INFINITY), 0);
        EXPECT_NE(tamboro::test::ReadAll(out), m_old);
        ASSERT_EQ(::unlink(out.c_str()), 0);
    }
}

}  // namespace
}  // namespace tamboro::cli
