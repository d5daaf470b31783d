#include "platform/FileMapping.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/FileFault.h"

namespace tamboro::platform {
namespace {

// SIGBUS guard. A file mapped for reading can be cut short by another
// program while we read it; touching a page past the new end raises SIGBUS,
// which would kill the process. Every mapping is registered here; the
// handler puts a page of zeros where the fault happened inside a registered
// mapping, marks it as cut, and lets the read go on. A fault anywhere else
// is fatal as before.
struct GuardSlot {
    std::atomic<std::uintptr_t> start{0};
    std::atomic<std::size_t> size{0};
    std::atomic<bool> shrunk{false};
};
constexpr int kGuardSlots = 256;
GuardSlot g_guards[kGuardSlots];
std::size_t g_pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void*) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : g_guards) {
        const std::uintptr_t start = slot.start.load();
        if (start == 0 || address < start || address >= start + slot.size.load()) continue;
        void* page = reinterpret_cast<void*>(address & ~(g_pageSize - 1));
        if (::mmap(page, g_pageSize, PROT_READ | PROT_WRITE,
                   MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED) {
            slot.shrunk.store(true);
            return;
        }
        break;
    }
    // Not ours: the default action, which the retried access now triggers.
    ::signal(signal, SIG_DFL);
}

void InstallGuard() {
    static const bool installed = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page > 0) g_pageSize = static_cast<std::size_t>(page);
        struct sigaction action {};
        action.sa_sigaction = &OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    (void)installed;
}

int Guard(void* data, std::size_t size) {
    InstallGuard();
    for (int i = 0; i < kGuardSlots; ++i) {
        std::uintptr_t expected = 0;
        if (g_guards[i].start.compare_exchange_strong(expected,
                                                      reinterpret_cast<std::uintptr_t>(data))) {
            g_guards[i].shrunk.store(false);
            g_guards[i].size.store(size);
            return i;
        }
    }
    return -1;  // unguarded: more mappings than slots
}

void Unguard(int slot) {
    if (slot < 0) return;
    g_guards[slot].size.store(0);
    g_guards[slot].start.store(0);
}

}  // namespace

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

MemoryMap::MemoryMap(MemoryMap&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_guard(std::exchange(other.m_guard, -1)) {}

MemoryMap& MemoryMap::operator=(MemoryMap&& other) noexcept {
    if (this != &other) {
        Unmap();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_guard = std::exchange(other.m_guard, -1);
    }
    return *this;
}

bool MemoryMap::Shrunk() const {
    return m_guard >= 0 && g_guards[m_guard].shrunk.load();
}

bool MemoryMap::Map(int fd, std::size_t size, bool writable) {
    Unmap();
    if (fd < 0 || size == 0) return false;
    void* p =
        ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    m_data = static_cast<unsigned char*>(p);
    m_size = size;
    m_guard = Guard(p, size);
    return true;
}

void MemoryMap::Unmap() {
    Unguard(m_guard);
    m_guard = -1;
    if (m_data != nullptr) ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

UniqueFd OpenFile(const std::string& path, bool readOnly) {
    // Non-blocking, so that a FIFO does not wait here for a writer; it is
    // refused below like every other file that is not a regular file.
    UniqueFd fd(
        ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.Valid()) {
        NoteFileFault(path, errno);
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        NoteFileFault(path, errno);
        return UniqueFd();
    }
    if (S_ISDIR(st.st_mode)) {
        NoteFileFault(path, EISDIR);
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        NoteFileFault(path, "not a regular file");
        return UniqueFd();
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
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
