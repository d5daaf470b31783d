#pragma once
// Thin owners of POSIX file descriptors and memory mappings.
#include <cstddef>
#include <string>

namespace tamboro::platform {

// An open file descriptor, closed by the destructor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

  private:
    int m_fd = -1;
};

// A mapped view of a file or shared-memory object, unmapped by the destructor.
class MemoryMap {
  public:
    MemoryMap() = default;
    ~MemoryMap() { Unmap(); }
    MemoryMap(MemoryMap&& other) noexcept;
    MemoryMap& operator=(MemoryMap&& other) noexcept;
    MemoryMap(const MemoryMap&) = delete;
    MemoryMap& operator=(const MemoryMap&) = delete;

    // Maps `size` bytes of `fd` from offset 0, shared. A size of 0 maps
    // nothing and fails. Returns false on failure.
    bool Map(int fd, std::size_t size, bool writable);
    void Unmap();

    unsigned char* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    // Whether a read found the file cut short under the mapping. Such reads
    // do not kill the process (SIGBUS): they see zeros, and this says so.
    bool Shrunk() const;

  private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    int m_guard = -1;  // slot in the SIGBUS guard's table
};

// Opens a regular file for reading (and writing unless `readOnly`) without
// waiting on FIFOs. Anything that is not a regular file (a FIFO, a device, a
// folder) is refused. Returns an invalid descriptor on failure, with the
// reason recorded as the thread's file fault.
UniqueFd OpenFile(const std::string& path, bool readOnly);
// Creates or truncates a file, readable and writable, and sets its size.
UniqueFd CreateFileOfSize(const std::string& path, std::size_t size);
// Size of an open file, or -1.
long long FdSize(int fd);

// Named shared memory (POSIX shm). Names are plain words such as
// "TAMBORO_RUNNING"; they are made per user so that two users do not meet.
UniqueFd OpenSharedMemory(const std::string& name, bool create, std::size_t size);
void RemoveSharedMemory(const std::string& name);

}  // namespace tamboro::platform
