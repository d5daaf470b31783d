// tamboro-cli with inputs and outputs that are not regular files: "-",
// pipes, FIFOs, folders and devices; and the messages that say what went
// wrong, with the path and the system's reason.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "base/ByteOrder.h"
#include "platform/StringTable.h"
#include "tests/cli/ChildProcess.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/TestSupport.h"

namespace tamboro::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

std::string TextOf(const std::string& path) {
    const Bytes bytes = tamboro::test::ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

// Reads `fd` to its end.
Bytes Drain(int fd) {
    Bytes all;
    std::uint8_t piece[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0) break;
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) break;
        all.insert(all.end(), piece, piece + n);
    }
    return all;
}

class SpecialFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!tamboro::test::FileExists(test::CliPath())) GTEST_SKIP() << "tamboro-cli not built";
        ASSERT_TRUE(test::WriteLoop(File("loop.wav"), 2.0, 220.0));
        ASSERT_TRUE(tamboro::test::WriteAll(File("mix.txt"), Str("0 on 0 0\n3000 off 0 0\n")));
        ASSERT_EQ(Cli({"make-song", File("song.tbo"), "--tempo", "120", "--loop",
                       "0:" + File("loop.wav"), "--mix", File("mix.txt")}),
                  0)
            << Err();
        ASSERT_EQ(::mkdir(File("tmp").c_str(), 0755), 0);
    }
    static Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    int Cli(const std::vector<std::string>& args, int stdinFd = -1, int stdoutFd = -1) {
        test::ChildOptions options;
        options.args = args;
        options.env = {"TMPDIR=" + File("tmp")};
        options.stdinFd = stdinFd;
        options.stdoutFd = stdoutFd;
        options.outFile = File("out.txt");
        options.errFile = File("err.txt");
        return test::Run(options);
    }
    std::string Err() const { return TextOf(File("err.txt")); }
    // The samples of a WAV image, checked to be one.
    static Bytes Samples(const Bytes& image) {
        audio::Wave wave;
        if (audio::ParseRiffWave(wave, image.data(), image.size()) != 1) return {};
        return Bytes(wave.Data(), wave.Data() + wave.DataBytes());
    }
    // Expects exit 1 with "(code N): PATH: REASON" on stderr.
    void ExpectFailure(const std::vector<std::string>& args, int code, const std::string& path,
                       const std::string& reason) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const auto start = Clock::now();
        EXPECT_EQ(Cli(args), 1) << Err();
        // At once: nothing waits for a writer or a reader.
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
        const std::string want = " (code " + std::to_string(code) + "): " + path + ": " + reason;
        EXPECT_NE(Err().find(want), std::string::npos) << Err() << "\nwanted:" << want;
        EXPECT_EQ(Err().find("usage:"), std::string::npos);
    }
    tamboro::test::TempDir m_dir;
};

TEST_F(SpecialFiles, RenderToStandardOutputStreamsACompleteWav) {
    ASSERT_EQ(Cli({"render", File("song.tbo"), File("mix.wav")}), 0) << Err();
    const Bytes file = tamboro::test::ReadAll(File("mix.wav"));
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    test::ChildOptions options;
    options.args = {"render", File("song.tbo"), "-"};
    options.env = {"TMPDIR=" + File("tmp")};
    options.stdoutFd = pipe[1];
    options.errFile = File("err.txt");
    const pid_t pid = test::Start(options);
    ::close(pipe[1]);
    const Bytes streamed = Drain(pipe[0]);
    ::close(pipe[0]);
    const test::ChildEnd end = test::Wait(pid);
    ASSERT_TRUE(end.exited && end.status == 0) << Err();
    // A reader of the pipe gets a WAV whose sizes are right from the start.
    ASSERT_GT(streamed.size(), 44u);
    EXPECT_EQ(base::LoadLe<32>(streamed.data() + 4), streamed.size() - 8);
    const Bytes samples = Samples(streamed);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples, Samples(file));
    EXPECT_TRUE(test::ListFolder(File("tmp")).empty());
}

TEST_F(SpecialFiles, ARealReaderTakesTheStreamFromAShellPipe) {
    if (!tamboro::test::HaveProgram("ffprobe")) GTEST_SKIP() << "no ffprobe";
    const std::string command = "'" + test::CliPath() + "' render '" + File("song.tbo") +
                                "' - | ffprobe -v error -show_entries stream=sample_rate,channels "
                                "-of csv=p=0 -i - >'" +
                                File("probe.txt") + "' 2>&1";
    ASSERT_EQ(tamboro::test::RunCommand(command), 0) << TextOf(File("probe.txt"));
    EXPECT_EQ(TextOf(File("probe.txt")), "44100,2\n");
}

TEST_F(SpecialFiles, ConvertToAFifoWithAReader) {
    ASSERT_EQ(Cli({"convert", File("loop.wav"), File("conv.wav"), "--channels", "1"}), 0);
    const std::string fifo = File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    test::ChildOptions options;
    options.args = {"convert", File("loop.wav"), fifo, "--channels", "1"};
    options.errFile = File("err.txt");
    const pid_t pid = test::Start(options);
    const Bytes streamed = Drain(reader);
    ::close(reader);
    const test::ChildEnd end = test::Wait(pid);
    ASSERT_TRUE(end.exited && end.status == 0) << Err();
    EXPECT_EQ(Samples(streamed), Samples(tamboro::test::ReadAll(File("conv.wav"))));
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));  // never replaced
}

TEST_F(SpecialFiles, AFifoWithoutAReaderFailsAtOnce) {
    const std::string fifo = File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ExpectFailure({"render", File("song.tbo"), fifo}, 11, fifo, "No such device or address");
    // Sound-file commands: the file cannot be created (7).
    ExpectFailure({"convert", File("loop.wav"), fifo}, 7, fifo, "No such device or address");
    ExpectFailure({"prepare", File("loop.wav"), fifo, "--tempo", "120"}, 7, fifo,
                  "No such device or address");
}

TEST_F(SpecialFiles, AFolderAsOutputIsRefused) {
    const std::string folder = File("folder");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ExpectFailure({"render", File("song.tbo"), folder}, 11, folder, "Is a directory");
    ExpectFailure({"convert", File("loop.wav"), folder}, 7, folder, "Is a directory");
    ExpectFailure({"prepare", File("loop.wav"), folder, "--tempo", "120"}, 7, folder,
                  "Is a directory");
    ExpectFailure({"make-song", folder, "--tempo", "120"}, 7, folder, "Is a directory");
    EXPECT_TRUE(test::ListFolder(folder).empty());
}

TEST_F(SpecialFiles, DevicesTakeStreamsButNeverASong) {
    EXPECT_EQ(Cli({"render", File("song.tbo"), "/dev/null"}), 0) << Err();
    EXPECT_EQ(Cli({"convert", File("loop.wav"), "/dev/null"}), 0) << Err();
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A song is written with its index last: it cannot be streamed.
    ExpectFailure({"make-song", "/dev/null", "--tempo", "120"}, 7, "/dev/null",
                  "cannot be written as a stream");
    ExpectFailure({"make-song", "-", "--tempo", "120"}, 7, "-", "cannot be written as a stream");
}

TEST_F(SpecialFiles, StandardOutputOnATerminalIsRefused) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        GTEST_SKIP() << "no pseudo-terminal";
    }
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    EXPECT_EQ(Cli({"render", File("song.tbo"), "-"}, -1, terminal), 1);
    EXPECT_NE(Err().find("(code 11): -: standard output is a terminal"), std::string::npos)
        << Err();
    EXPECT_EQ(Cli({"convert", File("loop.wav"), "-"}, -1, terminal), 1);
    EXPECT_NE(Err().find("(code 7): -: standard output is a terminal"), std::string::npos) << Err();
    ::close(terminal);
    ::close(master);
}

TEST_F(SpecialFiles, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
    const std::string fifo = File("fifo");
    const std::string folder = File("folder");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string out = File("out.wav");
    for (const auto& [input, reason] :
         {std::pair<std::string, std::string>{fifo, "not a regular file"},
          {folder, "Is a directory"},
          {"/dev/zero", "not a regular file"}}) {
        ExpectFailure({"info", input}, 4, input, reason);
        ExpectFailure({"convert", input, out}, 4, input, reason);
        ExpectFailure({"prepare", input, out, "--tempo", "120"}, 4, input, reason);
        ExpectFailure({"make-song", File("s.tbo"), "--tempo", "120", "--loop", "0:" + input}, 4,
                      input, reason);
        ExpectFailure({"make-song", File("s.tbo"), "--tempo", "120", "--mix", input}, 10, input,
                      reason);
        ExpectFailure({"perform", File("song.tbo"), input}, 4, input, reason);
        ExpectFailure({"render", input + ".tbo", out}, 10, input + ".tbo",
                      "No such file or directory");
    }
    ExpectFailure({"render", fifo, out}, 10, fifo, "not a regular file");
    ExpectFailure({"render", folder, out}, 10, folder, "Is a directory");
    EXPECT_FALSE(tamboro::test::FileExists(out));
    EXPECT_FALSE(tamboro::test::FileExists(File("s.tbo")));
}

TEST_F(SpecialFiles, TheMixComesFromStandardInputUpTo64Megabytes) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const std::string mix = "0 on 0 0\n1000 volume 0 -500\n2000 off 0 0\n";
    ASSERT_EQ(::write(pipe[1], mix.data(), mix.size()), static_cast<ssize_t>(mix.size()));
    ::close(pipe[1]);
    EXPECT_EQ(Cli({"make-song", File("s.tbo"), "--tempo", "120", "--loop", "0:" + File("loop.wav"),
                   "--mix", "-"},
                  pipe[0]),
              0)
        << Err();
    ::close(pipe[0]);
    ASSERT_EQ(Cli({"info", File("s.tbo")}), 0);
    const std::string info = TextOf(File("out.txt"));
    const std::size_t channel = info.find("channel 0: loaded=1 effect=0 name=\"loop\"");
    ASSERT_NE(channel, std::string::npos) << info;
    EXPECT_NE(info.find(" events=3 ", channel), std::string::npos) << info;
    // More than 64 MB is refused, not read without end.
    const std::string command = "head -c 67108865 /dev/zero | '" + test::CliPath() +
                                "' make-song '" + File("big.tbo") + "' --tempo 120 --mix - 2>'" +
                                File("err.txt") + "'";
    EXPECT_EQ(tamboro::test::RunCommand(command), 1);
    EXPECT_NE(Err().find("(code 10): -: more than 64 MB"), std::string::npos) << Err();
    EXPECT_FALSE(tamboro::test::FileExists(File("big.tbo")));
}

TEST_F(SpecialFiles, MessagesNameThePathAndTheReason) {
    const std::string missing = File("missing/out.wav");
    ExpectFailure({"render", File("song.tbo"), missing}, 11, missing, "No such file or directory");
    ExpectFailure({"convert", File("loop.wav"), missing}, 7, missing, "No such file or directory");
    ExpectFailure({"make-song", File("missing/s.tbo"), "--tempo", "120"}, 7, File("missing/s.tbo"),
                  "No such file or directory");
    ExpectFailure({"info", File("none.wav")}, 4, File("none.wav"), "No such file or directory");
    ExpectFailure({"render", File("none.tbo"), File("o.wav")}, 10, File("none.tbo"),
                  "No such file or directory");
    // The words of the song table and of the sound-file table.
    EXPECT_EQ(Cli({"render", File("song.tbo"), missing}), 1);
    EXPECT_EQ(Err().rfind("tamboro-cli: " + platform::LoadString(1006) + " (code 11)", 0), 0u);
    EXPECT_EQ(Cli({"convert", File("loop.wav"), missing}), 1);
    EXPECT_EQ(Err().rfind("tamboro-cli: " + platform::LoadString(1001) + " (code 7)", 0), 0u);

    if (::geteuid() != 0) {  // root may write anywhere
        const std::string locked = File("locked");
        ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
        ExpectFailure({"convert", File("loop.wav"), locked + "/o.wav"}, 7, locked + "/o.wav",
                      "Permission denied");
    }

    // Damaged inputs say what is wrong.
    Bytes wav = tamboro::test::ReadAll(File("loop.wav"));
    wav.resize(wav.size() / 2);  // the data chunk now runs past the end
    ASSERT_TRUE(tamboro::test::WriteAll(File("cut.wav"), wav));
    ExpectFailure({"info", File("cut.wav")}, 11, File("cut.wav"),
                  "truncated: a chunk runs past the end of the file");
    ASSERT_TRUE(tamboro::test::WriteAll(File("text.wav"), Str("just some text, not a sound")));
    ExpectFailure({"convert", File("text.wav"), File("o.wav")}, 5, File("text.wav"),
                  "not a RIFF WAVE file");
    ASSERT_TRUE(tamboro::test::WriteAll(File("empty.wav"), {}));
    ExpectFailure({"info", File("empty.wav")}, 5, File("empty.wav"), "empty file");
    // AIFF and AU say it as far as their readers know.
    ASSERT_TRUE(tamboro::test::WriteAll(File("bad.aiff"),
                                        Bytes{'F', 'O', 'R', 'M', 0,   0,   0,   16,  'A', 'I',
                                              'F', 'F', 'j', 'u', 'n', 'k', 'j', 'u', 'n', 'k'}));
    ExpectFailure({"info", File("bad.aiff")}, 11, File("bad.aiff"),
                  "damaged: a wrong magic, or a size or offset beyond the end of the file");
    // Nine channels.
    ASSERT_TRUE(tamboro::test::WriteAll(File("nine.au"),
                                        Bytes{'.', 's', 'n', 'd', 0, 0, 0,    24,   0, 0, 0, 16,
                                              0,   0,   0,   3,   0, 0, 0xAC, 0x44, 0, 0, 0, 9}));
    ExpectFailure({"info", File("nine.au")}, 1, File("nine.au"),
                  "a coding or channel count that cannot be read");
    // Damaged songs: cut short, and not an archive at all.
    Bytes song = tamboro::test::ReadAll(File("song.tbo"));
    ASSERT_GT(song.size(), 2000u);
    ASSERT_TRUE(tamboro::test::WriteAll(File("cut.tbo"), Bytes(song.begin(), song.end() - 100)));
    ExpectFailure({"render", File("cut.tbo"), File("o.wav")}, 8, File("cut.tbo"),
                  "truncated: the record index lies beyond the end of the file");
    ASSERT_TRUE(tamboro::test::WriteAll(File("text.tbo"), Str("just some text, not a song")));
    ExpectFailure({"info", File("text.tbo")}, 8, File("text.tbo"),
                  "no \"UNFM\" archive header: not a song file");
}

}  // namespace
}  // namespace tamboro::cli
