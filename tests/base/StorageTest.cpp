#include "base/Storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/TempFiles.h"
#include "tests/support/TestSupport.h"

namespace tamboro::base {
namespace {

TEST(BorrowedStorage, HandsOutTheCallersMemoryAndNeverFreesIt) {
    std::vector<std::uint8_t> bytes(10, 7);
    {
        BorrowedStorage s(bytes.data(), bytes.size(), 11, 22);
        EXPECT_EQ(s.Kind(), StorageKind::Borrowed);
        EXPECT_EQ(s.Lock(), bytes.data());
        EXPECT_EQ(s.Data(), bytes.data());
        EXPECT_EQ(s.Size(), 10u);
        EXPECT_EQ(s.LockCount(), 1);
        EXPECT_EQ(s.User1(), 11u);
        EXPECT_EQ(s.User2(), 22u);
    }
    EXPECT_EQ(bytes[9], 7);  // still ours
}

TEST(GlobalStorage, FixedBlockIsAddressableAtOnceAndCannotResize) {
    GlobalStorage s(100, true);
    ASSERT_NE(s.Data(), nullptr);
    EXPECT_EQ(s.Size(), 100u);
    EXPECT_FALSE(s.Resize(200));
    EXPECT_EQ(s.Size(), 100u);
}

TEST(GlobalStorage, MoveableBlockCountsLocks) {
    GlobalStorage s(64, false);
    EXPECT_EQ(s.Data(), nullptr);  // not addressable until locked
    void* first = s.Lock();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(s.Lock(), first);
    s.Unlock();
    EXPECT_EQ(s.Data(), first);  // one lock left: pointer kept
    EXPECT_EQ(s.LockCount(), 1);
    s.Unlock();
    EXPECT_EQ(s.Data(), nullptr);
    EXPECT_EQ(s.LockCount(), 0);
    s.Unlock();  // unbalanced unlock does not go negative
    EXPECT_EQ(s.LockCount(), 0);
}

TEST(GlobalStorage, ResizeIsRefusedWhileLockedAndKeepsContentOtherwise) {
    GlobalStorage s(4, false);
    auto* p = static_cast<std::uint8_t*>(s.Lock());
    std::memcpy(p, "abcd", 4);
    EXPECT_FALSE(s.Resize(1000));
    EXPECT_EQ(s.Size(), 4u);
    s.Unlock();
    ASSERT_TRUE(s.Resize(1000));
    EXPECT_EQ(s.Size(), 1000u);
    p = static_cast<std::uint8_t*>(s.Lock());
    EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
    EXPECT_EQ(p[999], 0);  // grown part is zeroed
    s.Unlock();
}

TEST(GlobalStorage, ReadsAWholeFileAndFailsQuietly) {
    test::TempDir dir;
    const std::string path = dir.File("data.bin");
    ASSERT_TRUE(test::WriteAll(path, {1, 2, 3, 4, 5}));
    GlobalStorage s(path);
    ASSERT_NE(s.Data(), nullptr);
    EXPECT_EQ(s.Size(), 5u);
    EXPECT_EQ(static_cast<std::uint8_t*>(s.Data())[4], 5);

    GlobalStorage missing(dir.File("nothing"));
    EXPECT_EQ(missing.Data(), nullptr);
    EXPECT_EQ(missing.Size(), 0u);
    EXPECT_EQ(missing.Lock(), nullptr);
}

TEST(MappedStorage, CreatedFileHasTheSizeAndKeepsWrites) {
    test::TempDir dir;
    const std::string path = dir.File("map.bin");
    {
        MappedStorage s(4096 + 3, path, false, "", false);
        EXPECT_EQ(s.Size(), 4099u);
        EXPECT_EQ(s.Data(), nullptr);  // mapped only while locked
        auto* p = static_cast<std::uint8_t*>(s.Lock());
        ASSERT_NE(p, nullptr);
        p[4098] = 0xAB;
        EXPECT_EQ(s.Lock(), p);
        s.Unlock();
        EXPECT_EQ(s.Data(), p);
        s.Unlock();
        EXPECT_EQ(s.Data(), nullptr);
    }
    auto bytes = test::ReadAll(path);
    ASSERT_EQ(bytes.size(), 4099u);
    EXPECT_EQ(bytes[4098], 0xAB);

    MappedStorage reader(0, path, false, "", true);
    auto* q = static_cast<const std::uint8_t*>(reader.Lock());
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[4098], 0xAB);
    EXPECT_TRUE(reader.ReadOnly());
    reader.Unlock();
}

TEST(MappedStorage, TemporaryFileIsDeletedOnClose) {
    test::TempDir dir;
    std::string path;
    ASSERT_NE(platform::MakeTempFileName("WAV", path, dir.Path()), 0u);
    {
        MappedStorage s(100, path, true, "", false);
        ASSERT_NE(s.Lock(), nullptr);
        EXPECT_TRUE(test::FileExists(path));
        // Destroyed while still locked: unmaps and deletes all the same.
    }
    EXPECT_FALSE(test::FileExists(path));
}

TEST(MappedStorage, EmptyOrMissingFileMapsNothing) {
    test::TempDir dir;
    const std::string empty = dir.File("empty");
    ASSERT_TRUE(test::WriteAll(empty, {}));
    MappedStorage s(0, empty, false, "", true);
    EXPECT_EQ(s.Lock(), nullptr);
    EXPECT_EQ(s.Size(), 0u);

    MappedStorage missing(0, dir.File("nothing"), false, "", true);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Lock(), nullptr);
}

TEST(MappedStorage, NamedSharedMemoryWithoutFile) {
    const std::string name = "TAMBORO_STORAGE_TEST_" + std::to_string(::getpid());
    MappedStorage absent(0, "", false, name, false);
    EXPECT_EQ(absent.Lock(), nullptr);

    platform::UniqueFd owner = platform::OpenSharedMemory(name, true, 32);
    ASSERT_TRUE(owner.Valid());
    MappedStorage s(0, "", false, name, false);
    auto* p = static_cast<std::uint8_t*>(s.Lock());
    ASSERT_NE(p, nullptr);
    p[0] = 1;
    s.Unlock();
    platform::RemoveSharedMemory(name);
}

TEST(ResourceStorage, FindsEmbeddedResourcesByNameAndType) {
    ResourceStorage s("strings", "text");
    ASSERT_NE(s.Data(), nullptr);
    EXPECT_GT(s.Size(), 100u);
    EXPECT_TRUE(s.ReadOnly());
    EXPECT_EQ(s.Kind(), StorageKind::Resource);

    ResourceStorage none("NOPE", "TEXT");
    EXPECT_EQ(none.Data(), nullptr);
    EXPECT_EQ(none.Size(), 0u);
}

}  // namespace
}  // namespace tamboro::base
