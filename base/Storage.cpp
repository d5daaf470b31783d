#include "base/Storage.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>

#include "platform/Resources.h"
#include "platform/TempFiles.h"

namespace tamboro::base {

BorrowedStorage::BorrowedStorage(void* data, std::size_t size, std::uintptr_t user1,
                                 std::uintptr_t user2)
    : Storage(StorageKind::Borrowed), m_user1(user1), m_user2(user2) {
    m_data = data;
    m_size = data != nullptr ? size : 0;
    m_lockCount = 1;
}

GlobalStorage::GlobalStorage(std::size_t size, bool fixed)
    : Storage(StorageKind::Global), m_fixed(fixed) {
    // calloc(0) may return a unique pointer; an empty block is no block.
    m_block = size > 0 ? std::calloc(size, 1) : nullptr;
    if (m_block != nullptr) {
        m_size = size;
        if (m_fixed) m_data = m_block;
    }
}

GlobalStorage::GlobalStorage(const std::string& path) : Storage(StorageKind::Global) {
    platform::UniqueFd fd = platform::OpenFile(path, true);
    if (!fd.Valid()) return;
    const long long length = platform::FdSize(fd.Get());
    if (length <= 0) return;
    const auto size = static_cast<std::size_t>(length);
    void* block = std::malloc(size);
    if (block == nullptr) return;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd.Get(), static_cast<char*>(block) + done, size - done);
        if (n <= 0) {
            std::free(block);
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    m_block = block;
    m_data = block;
    m_size = size;
}

GlobalStorage::~GlobalStorage() {
    if (m_lockCount > 1) m_lockCount = 1;
    Unlock();
    std::free(m_block);
}

void* GlobalStorage::Lock() {
    if (m_block == nullptr) return nullptr;
    ++m_lockCount;
    m_data = m_block;
    return m_data;
}

void GlobalStorage::Unlock() {
    if (m_lockCount <= 0) return;
    if (--m_lockCount == 0 && !m_fixed) m_data = nullptr;
}

bool GlobalStorage::Resize(std::size_t size) {
    if (m_fixed || m_lockCount > 0 || size == 0) return false;
    void* block = std::realloc(m_block, size);
    if (block == nullptr) return false;
    if (size > m_size) std::memset(static_cast<char*>(block) + m_size, 0, size - m_size);
    m_block = block;
    m_size = size;
    return true;
}

MappedStorage::MappedStorage(std::size_t size, const std::string& path, bool temporary,
                             const std::string& name, bool readOnly)
    : Storage(StorageKind::Mapped), m_path(path), m_name(name), m_temporary(temporary) {
    m_readOnly = readOnly;
    if (!path.empty()) {
        if (size > 0) {
            m_fd = platform::CreateFileOfSize(path, size);
            m_readOnly = false;
        } else {
            m_fd = platform::OpenFile(path, readOnly);
        }
        if (m_fd.Valid()) {
            const long long length = platform::FdSize(m_fd.Get());
            m_size = length > 0 ? static_cast<std::size_t>(length) : 0;
        } else if (m_temporary && size > 0) {
            platform::DeleteFile(path);
        }
    } else if (!name.empty()) {
        m_fd = platform::OpenSharedMemory(name, false, 0);
        if (m_fd.Valid()) {
            const long long length = platform::FdSize(m_fd.Get());
            m_size = length > 0 ? static_cast<std::size_t>(length) : 0;
        }
        m_readOnly = false;
    }
}

MappedStorage::~MappedStorage() {
    if (m_lockCount > 1) m_lockCount = 1;
    Unlock();
    m_fd.Reset();
    if (m_temporary && !m_path.empty()) platform::DeleteFile(m_path);
}

void* MappedStorage::Lock() {
    if (m_lockCount == 0) {
        if (!m_map.Map(m_fd.Get(), m_size, !m_readOnly)) return nullptr;
        m_data = m_map.Data();
    }
    ++m_lockCount;
    return m_data;
}

void MappedStorage::Unlock() {
    if (m_lockCount <= 0) return;
    if (--m_lockCount == 0) {
        m_map.Unmap();
        m_data = nullptr;
    }
}

ResourceStorage::ResourceStorage(std::string_view name, std::string_view type)
    : Storage(StorageKind::Resource) {
    auto bytes = platform::FindResource(name, type);
    m_readOnly = true;
    if (bytes.data() != nullptr) {
        m_data = const_cast<unsigned char*>(bytes.data());
        m_size = bytes.size();
    }
}

void TouchPages(const void* start, std::size_t size) {
    if (start == nullptr || size == 0) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t end = begin + size;
    volatile unsigned char sink = 0;
    for (std::uintptr_t p = (begin + page - 1) / page * page; p < end; p += page) {
        sink = sink + *reinterpret_cast<const volatile unsigned char*>(p);
    }
    (void)sink;
}

}  // namespace tamboro::base
