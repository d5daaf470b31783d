#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <set>
#include <vector>

#include "platform/Cpu.h"
#include "platform/FileMapping.h"
#include "platform/StringTable.h"
#include "platform/TempFiles.h"
#include "tests/support/TestSupport.h"

namespace tamboro::platform {
namespace {

// The folder an unnamed temporary file lives in, from its /proc link
// ("/tmp/x/#1234 (deleted)").
std::string FolderOfTemporary(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    const std::string link(target, static_cast<std::size_t>(n));
    return link.substr(0, link.find_last_of('/'));
}

TEST(TempFiles, UniqueEmptyUnnamedFilesHeldUntilDeleted) {
    test::TempDir dir;
    std::set<std::string> names;
    std::vector<std::string> paths;
    const int before = OpenTemporaryCount();
    for (const char* prefix : {"TBO", "TBP", "TBT", "WAV", "TB_", "TB"}) {
        for (int i = 0; i < 20; ++i) {
            std::string path;
            ASSERT_NE(MakeTempFileName(prefix, path, dir.Path()), 0u);
            EXPECT_TRUE(IsTemporaryPath(path)) << path;
            EXPECT_EQ(FolderOfTemporary(path), dir.Path());
            EXPECT_EQ(FileSize(path), 0);
            EXPECT_TRUE(names.insert(path).second);
            paths.push_back(path);
        }
    }
    // Nothing has a name in the folder, so a killed run leaves nothing.
    EXPECT_TRUE(dir.List().empty());
    EXPECT_EQ(OpenTemporaryCount(), before + 120);
    // Written through one path and read back through another open.
    {
        UniqueFd fd = CreateFileOfSize(paths[0], 3);
        ASSERT_TRUE(fd.Valid());
        ASSERT_EQ(::pwrite(fd.Get(), "abc", 3, 0), 3);
    }
    EXPECT_EQ(FileSize(paths[0]), 3);
    for (const std::string& path : paths)
        EXPECT_TRUE(DeleteFile(path));
    EXPECT_EQ(OpenTemporaryCount(), before);
    EXPECT_FALSE(IsTemporaryPath(paths[0]));
}

TEST(TempFiles, DefaultFolderIsTmpdir) {
    test::TempDir dir;
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string path;
    EXPECT_NE(MakeTempFileName(nullptr, path), 0u);
    ::unsetenv("TMPDIR");
    EXPECT_EQ(FolderOfTemporary(path), dir.Path());
    EXPECT_TRUE(DeleteFile(path));
    EXPECT_FALSE(DeleteFile(path));
}

TEST(TempFiles, FailureGivesZeroAndEmptyPath) {
    std::string path = "stale";
    EXPECT_EQ(MakeTempFileName("TBO", path, "/nonexistent/folder"), 0u);
    EXPECT_TRUE(path.empty());
}

TEST(SplitPath, Cases) {
    struct Case {
        const char* path;
        const char* folder;
        const char* title;
        const char* ext;
    } cases[] = {
        {"/home/u/loops/drum.wav", "/home/u/loops/", "drum", "wav"},
        {"/home/u/loops/drum", "/home/u/loops/", "drum", ""},
        {"drum.loop.aiff", "", "drum.loop", "aiff"},
        {"/a/.hidden", "/a/", ".hidden", ""},
        {"/a.b/c", "/a.b/", "c", ""},
    };
    for (const auto& c : cases) {
        std::string folder, title, ext;
        SplitPath(c.path, &folder, &title, &ext);
        EXPECT_EQ(folder, c.folder) << c.path;
        EXPECT_EQ(title, c.title) << c.path;
        EXPECT_EQ(ext, c.ext) << c.path;
    }
}

TEST(FileMapping, CreateFileOfSizeGivesZerosOfThatSizeWhateverWasThere) {
    test::TempDir dir;
    const std::string path = dir.File("sized.bin");
    for (const std::size_t size : {std::size_t{0}, std::size_t{5000}, std::size_t{100}}) {
        test::WriteAll(path, std::vector<std::uint8_t>(300, 0xAB));
        {
            UniqueFd fd = CreateFileOfSize(path, size);
            ASSERT_TRUE(fd.Valid());
            EXPECT_EQ(FdSize(fd.Get()), static_cast<long long>(size));
        }
        EXPECT_EQ(test::ReadAll(path), std::vector<std::uint8_t>(size, 0)) << size;
    }
    // A new file, and an empty one from MakeTempFileName.
    {
        UniqueFd fd = CreateFileOfSize(dir.File("new.bin"), 64);
        ASSERT_TRUE(fd.Valid());
    }
    EXPECT_EQ(test::ReadAll(dir.File("new.bin")), std::vector<std::uint8_t>(64, 0));
    std::string temp;
    ASSERT_NE(MakeTempFileName("SZ", temp, dir.Path()), 0u);
    UniqueFd fd = CreateFileOfSize(temp, 0);
    ASSERT_TRUE(fd.Valid());
    EXPECT_EQ(FdSize(fd.Get()), 0);
}

TEST(SharedMemory, CreatedObjectIsSeenByName) {
    const std::string name = "TAMBORO_TEST_" + std::to_string(::getpid());
    UniqueFd owner = OpenSharedMemory(name, true, 64);
    ASSERT_TRUE(owner.Valid());
    MemoryMap a;
    ASSERT_TRUE(a.Map(owner.Get(), 64, true));
    a.Data()[5] = 0x5A;
    UniqueFd other = OpenSharedMemory(name, false, 0);
    ASSERT_TRUE(other.Valid());
    MemoryMap b;
    ASSERT_TRUE(b.Map(other.Get(), 64, false));
    EXPECT_EQ(b.Data()[5], 0x5A);
    RemoveSharedMemory(name);
    EXPECT_FALSE(OpenSharedMemory(name, false, 0).Valid());
}

TEST(StringTable, EngineMessagesComeFromTheTable) {
    EXPECT_EQ(LoadString(128), "Tamboro");
    EXPECT_EQ(LoadString(1003), "Errore di apertura file. Il file potrebbe essere alterato.");
    EXPECT_EQ(LoadString(139), "Stò elaborando.........");
    EXPECT_TRUE(LoadString(999).empty());
}

TEST(Cpu, FeatureTestsAgree) {
#if defined(__x86_64__)
    // Every x86-64 processor has MMX and SSE2.
    EXPECT_NE(HasMmx(), 0);
    EXPECT_TRUE(HasSse2());
#endif
    SetForcePlainKernels(true);
    EXPECT_TRUE(ForcePlainKernels());
    SetForcePlainKernels(false);
    EXPECT_FALSE(ForcePlainKernels());
}

}  // namespace
}  // namespace tamboro::platform
