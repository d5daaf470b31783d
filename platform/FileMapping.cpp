#include "platform/FileMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tamboro::platform {

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

MemoryMap::MemoryMap(MemoryMap&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MemoryMap& MemoryMap::operator=(MemoryMap&& other) noexcept {
    if (this != &other) {
        Unmap();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

bool MemoryMap::Map(int fd, std::size_t size, bool writable) {
    Unmap();
    if (fd < 0 || size == 0) return false;
    void* p =
        ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    m_data = static_cast<unsigned char*>(p);
    m_size = size;
    return true;
}

void MemoryMap::Unmap() {
    if (m_data != nullptr) ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

UniqueFd OpenFile(const std::string& path, bool readOnly) {
    return UniqueFd(::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC));
}

UniqueFd CreateFileOfSize(const std::string& path, std::size_t size) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.Valid()) return fd;
    // A file with bytes is emptied first so that the result reads as zeros.
    // An empty one (a new temporary file) is not truncated: some file systems
    // write a truncated file out to the disk when it is closed.
    const long long before = FdSize(fd.Get());
    if ((before != 0 && ::ftruncate(fd.Get(), 0) != 0) ||
        (size != 0 && ::ftruncate(fd.Get(), static_cast<off_t>(size)) != 0)) {
        fd.Reset();
    }
    return fd;
}

long long FdSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

namespace {
std::string ShmName(const std::string& name) {
    return "/" + name + "." + std::to_string(::getuid());
}
}  // namespace

UniqueFd OpenSharedMemory(const std::string& name, bool create, std::size_t size) {
    const std::string shm = ShmName(name);
    UniqueFd fd(::shm_open(shm.c_str(), create ? O_RDWR | O_CREAT : O_RDWR, 0600));
    if (fd.Valid() && create && FdSize(fd.Get()) < static_cast<long long>(size) &&
        ::ftruncate(fd.Get(), static_cast<off_t>(size)) != 0) {
        fd.Reset();
    }
    return fd;
}

void RemoveSharedMemory(const std::string& name) {
    ::shm_unlink(ShmName(name).c_str());
}

}  // namespace tamboro::platform
