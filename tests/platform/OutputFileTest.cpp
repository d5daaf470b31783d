// The one writer of the program's outputs: replacing a regular file whole
// or not at all, streams to pipes, FIFOs and devices, refusals, stale
// temporary names, the write fault seam; and the SIGBUS guard of mappings.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileFault.h"
#include "platform/FileMapping.h"
#include "platform/OutputFile.h"
#include "tests/support/TestSupport.h"

namespace tamboro::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

int WriteString(OutputFile& out, const std::string& s) {
    return out.Write(s.data(), s.size());
}

// The pid of a process that has ended.
pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

TEST(OutputFile, ReplacesAFileOnlyWhenCommitted) {
    test::TempDir dir;
    const std::string path = dir.File("a.wav");
    ASSERT_TRUE(test::WriteAll(path, Str("old content")));
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    {
        OutputFile out;
        ASSERT_EQ(out.Open(path, false), 0);
        EXPECT_EQ(out.GetKind(), OutputFile::Kind::Replace);
        ASSERT_EQ(WriteString(out, "new "), 0);
        ASSERT_EQ(WriteString(out, "bytes"), 0);
        ASSERT_EQ(out.WriteAt(0, "N", 1), 0);
        // Until the commit the old file is there, and no other name.
        EXPECT_EQ(test::ReadAll(path), Str("old content"));
        EXPECT_EQ(dir.List(), std::vector<std::string>{"a.wav"});
        ASSERT_EQ(out.Commit(), 0);
    }
    EXPECT_EQ(test::ReadAll(path), Str("New bytes"));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.wav"});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    // Abandoned (destroyed without a commit): the file stays.
    {
        OutputFile out;
        ASSERT_EQ(out.Open(path, false), 0);
        ASSERT_EQ(WriteString(out, "lost"), 0);
    }
    EXPECT_EQ(test::ReadAll(path), Str("New bytes"));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.wav"});
}

TEST(OutputFile, ANewFileGetsTheUsualModeAndALinkItsTarget) {
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    {
        OutputFile out;
        ASSERT_EQ(out.Open(dir.File("new.wav"), false), 0);
        ASSERT_EQ(WriteString(out, "x"), 0);
        ASSERT_EQ(out.Commit(), 0);
    }
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("new.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // Through a symbolic link the file it names is replaced; the link stays.
    ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0755), 0);
    ASSERT_TRUE(test::WriteAll(dir.File("real/target.wav"), Str("old")));
    ASSERT_EQ(::symlink("real/target.wav", dir.File("link.wav").c_str()), 0);
    OutputFile out;
    ASSERT_EQ(out.Open(dir.File("link.wav"), false), 0);
    ASSERT_EQ(WriteString(out, "through the link"), 0);
    ASSERT_EQ(out.Commit(), 0);
    struct stat link {};
    ASSERT_EQ(::lstat(dir.File("link.wav").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(test::ReadAll(dir.File("real/target.wav")), Str("through the link"));
    EXPECT_EQ(test::ReadAll(dir.File("link.wav")), Str("through the link"));
}

TEST(OutputFile, RefusalsSayWhy) {
    test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
    struct Case {
        std::string path;
        bool allowStream;
        int error;
        const char* reason;
    } cases[] = {
        {dir.File("folder"), true, EISDIR, "Is a directory"},
        {dir.File("missing/a.wav"), true, ENOENT, "No such file or directory"},
        {dir.File("fifo"), true, ENXIO, "No such device or address"},  // no reader
        {dir.File("fifo"), false, ESPIPE, "cannot be written as a stream"},
        {"/dev/null", false, ESPIPE, "cannot be written as a stream"},
        {"-", false, ESPIPE, "cannot be written as a stream"},
        {"", false, ENOENT, "No such file or directory"},
    };
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ClearFileFault();
        OutputFile out;
        EXPECT_EQ(out.Open(c.path, c.allowStream), c.error);
        EXPECT_EQ(LastFileFault().path, c.path);
        EXPECT_NE(LastFileFault().reason.find(c.reason), std::string::npos)
            << LastFileFault().reason;
        EXPECT_EQ(out.GetKind(), OutputFile::Kind::Closed);
    }
    // Nothing was replaced or added.
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"fifo", "folder"}));
}

TEST(OutputFile, StreamsToAFifoWithAReaderAndToADevice) {
    test::TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        OutputFile out;
        ASSERT_EQ(out.Open(fifo, true), 0);
        EXPECT_TRUE(out.IsStream());
        ASSERT_EQ(WriteString(out, "streamed"), 0);
        EXPECT_EQ(out.WriteAt(0, "x", 1), ESPIPE);  // nothing can be patched
        ASSERT_EQ(out.Commit(), 0);
    }
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 8);
    EXPECT_EQ(std::string(got, 8), "streamed");
    ::close(reader);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    OutputFile null;
    ASSERT_EQ(null.Open("/dev/null", true), 0);
    EXPECT_TRUE(null.IsStream());
    ASSERT_EQ(WriteString(null, "gone"), 0);
    ASSERT_EQ(null.Commit(), 0);
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(OutputFile, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
    test::TempDir dir;
    const std::string path = dir.File("a.tbo");
    ASSERT_TRUE(test::WriteAll(path, Str("old")));
    OutputFile out;
    ASSERT_EQ(out.Open(path, false), 0);
    SetOutputFaultForTesting(10, ENOSPC);
    EXPECT_EQ(WriteString(out, "0123456"), 0);
    ClearFileFault();
    EXPECT_EQ(WriteString(out, "789abc"), ENOSPC);
    SetOutputFaultForTesting(0, 0);
    EXPECT_EQ(LastFileFault().path, path);
    EXPECT_EQ(LastFileFault().reason, "No space left on device");
    EXPECT_EQ(WriteString(out, "more"), ENOSPC);  // the failure sticks
    EXPECT_EQ(out.Commit(), ENOSPC);
    EXPECT_EQ(test::ReadAll(path), Str("old"));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.tbo"});
}

TEST(OutputFile, TheNextWriteRemovesTemporariesOfDeadProcesses) {
    test::TempDir dir;
    const std::string dead =
        "." + std::string("a.wav.tamboro-") + std::to_string(DeadPid()) + ".tmp";
    const std::string alive = ".b.wav.tamboro-" + std::to_string(::getpid()) + ".tmp";
    for (const std::string& name :
         {dead, alive, std::string(".c.tamboro-x.tmp"), std::string("d.wav.tamboro-1.tmp")}) {
        ASSERT_TRUE(test::WriteAll(dir.File(name), Str("left")));
    }
    OutputFile out;
    ASSERT_EQ(out.Open(dir.File("e.wav"), false), 0);
    out.Abandon();
    // Only the dead process's name went; names not of that form stay.
    EXPECT_EQ(dir.List(),
              (std::vector<std::string>{alive, ".c.tamboro-x.tmp", "d.wav.tamboro-1.tmp"}));
}

TEST(MemoryMap, AFileCutShortUnderTheMappingDoesNotKillTheReader) {
    test::TempDir dir;
    const std::string path = dir.File("big.bin");
    const std::size_t size = 64 * 4096;
    ASSERT_TRUE(test::WriteAll(path, Bytes(size, 0x5A)));
    UniqueFd fd = OpenFile(path, true);
    ASSERT_TRUE(fd.Valid());
    MemoryMap map;
    ASSERT_TRUE(map.Map(fd.Get(), size, false));
    EXPECT_EQ(map.Data()[size - 1], 0x5A);
    EXPECT_FALSE(map.Shrunk());
    // Another program cuts the file to one page.
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; i += 512)
        sum += map.Data()[i];
    EXPECT_EQ(sum, 8u * 0x5A);  // the first page; zeros past the cut
    EXPECT_TRUE(map.Shrunk());
    map.Unmap();
}

TEST(OpenFile, RefusesWhatIsNotARegularFileWithoutWaiting) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {{dir.File("fifo"), "not a regular file"},
                 {"/dev/zero", "not a regular file"},
                 {dir.Path(), "Is a directory"},
                 {dir.File("none"), "No such file or directory"}};
    for (const Case& c : cases) {
        ClearFileFault();
        EXPECT_FALSE(OpenFile(c.path, true).Valid()) << c.path;
        EXPECT_EQ(FileFaultText(), c.path + ": " + c.reason);
    }
}

}  // namespace
}  // namespace tamboro::platform
