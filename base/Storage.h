#pragma once
// Storage objects: each hands out one block of bytes with lock and unlock.
// A storage whose block, file or resource could not be had has no data (size
// 0, null pointer); users check the pointer, there are no error codes.
//
// Not thread-safe: a storage object belongs to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileMapping.h"

namespace tamboro::base {

enum class StorageKind : std::uint32_t {
    Borrowed = 1,  // memory the caller owns
    Global = 2,    // a heap block (fixed or moveable)
    Mapped = 3,    // a memory-mapped file or shared-memory object
    Resource = 4,  // an embedded resource
};

class Storage {
  public:
    virtual ~Storage() = default;
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Makes the block addressable and returns it (null when there is none).
    // Locks count; every Lock wants one Unlock.
    virtual void* Lock() { return m_data; }
    virtual void Unlock() {}

    StorageKind Kind() const { return m_kind; }
    std::size_t Size() const { return m_size; }
    // Valid while locked; always valid for borrowed, resource and fixed
    // global storage.
    void* Data() const { return m_data; }
    int LockCount() const { return m_lockCount; }
    bool ReadOnly() const { return m_readOnly; }

  protected:
    explicit Storage(StorageKind kind) : m_kind(kind) {}

    StorageKind m_kind;
    std::size_t m_size = 0;
    void* m_data = nullptr;
    int m_lockCount = 0;
    bool m_readOnly = false;
};

// Memory that the caller owns and keeps alive longer than this object. Two
// caller values travel with it and mean nothing to the storage.
class BorrowedStorage final : public Storage {
  public:
    BorrowedStorage(void* data, std::size_t size, std::uintptr_t user1 = 0,
                    std::uintptr_t user2 = 0);
    std::uintptr_t User1() const { return m_user1; }
    std::uintptr_t User2() const { return m_user2; }

  private:
    std::uintptr_t m_user1;
    std::uintptr_t m_user2;
};

// A heap block. A fixed block is addressable at once; a moveable one only
// while locked, and only a moveable, unlocked block can be resized.
class GlobalStorage final : public Storage {
  public:
    // An empty block of `size` bytes (zero-filled).
    GlobalStorage(std::size_t size, bool fixed);
    // The whole content of a file, in a fixed block. A file that cannot be
    // read leaves the storage without a block.
    explicit GlobalStorage(const std::string& path);
    ~GlobalStorage() override;

    void* Lock() override;
    void Unlock() override;
    // Changes the size of a moveable block that is not locked; returns false
    // (changing nothing) otherwise or when memory is short.
    bool Resize(std::size_t size);
    bool Fixed() const { return m_fixed; }
    // True when the storage holds a block (even when not locked).
    bool HasBlock() const { return m_block != nullptr; }

  private:
    void* m_block = nullptr;
    bool m_fixed = true;
};

// A memory-mapped file, or a named shared-memory object when no path is
// given. The mapping is made by the first Lock and undone by the last Unlock.
class MappedStorage final : public Storage {
  public:
    // With a path and size > 0: creates (replacing) the file at that size.
    // With a path and size 0: opens the existing file and takes its size.
    // `temporary` deletes the file when the storage is destroyed. Without a
    // path and with a name: the existing shared-memory object of that name.
    MappedStorage(std::size_t size, const std::string& path, bool temporary,
                  const std::string& name, bool readOnly);
    ~MappedStorage() override;

    void* Lock() override;
    void Unlock() override;

    const std::string& Path() const { return m_path; }
    // True when the file or shared-memory object is open.
    bool IsOpen() const { return m_fd.Valid(); }

  private:
    platform::UniqueFd m_fd;
    platform::MemoryMap m_map;
    std::string m_path;
    std::string m_name;
    bool m_temporary = false;
};

// An embedded resource, found by name and type; read-only, always mapped.
class ResourceStorage final : public Storage {
  public:
    ResourceStorage(std::string_view name, std::string_view type);
};

// Reads one byte of every memory page from the first page boundary at or
// after `start` to the end of the range, so the pages are resident before
// time-critical use.
void TouchPages(const void* start, std::size_t size);

}  // namespace tamboro::base
