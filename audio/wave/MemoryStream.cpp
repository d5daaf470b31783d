#include "audio/wave/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace tamboro::audio {

MemoryStream::MemoryStream() {
    auto storage = std::make_unique<base::GlobalStorage>(kGrowth, false);
    void* data = storage->Lock();
    if (data == nullptr) return;
    m_storage = std::move(storage);
    m_data = static_cast<std::uint8_t*>(data);
    m_mode = kWriting;
}

MemoryStream::MemoryStream(std::unique_ptr<base::Storage> storage) {
    if (!storage) return;
    void* data = storage->Lock();
    if (data == nullptr || storage->Size() == 0) {
        if (data != nullptr) storage->Unlock();
        return;
    }
    m_size = static_cast<std::uint32_t>(std::min<std::size_t>(storage->Size(), UINT32_MAX));
    m_data = static_cast<std::uint8_t*>(data);
    m_storage = std::move(storage);
    m_mode = kReading;
}

MemoryStream::~MemoryStream() {
    if (m_storage && m_data != nullptr) m_storage->Unlock();
}

std::uint32_t MemoryStream::Read(void* buffer, std::uint32_t n) {
    if (m_mode == kClosed || m_position >= m_size) return 0;
    const std::uint32_t k = std::min(n, m_size - m_position);
    std::memcpy(buffer, m_data + m_position, k);
    m_position += k;
    return k;
}

std::uint32_t MemoryStream::Write(const void* buffer, std::uint32_t n) {
    if (m_mode != kWriting || n == 0) return 0;
    auto* global = static_cast<base::GlobalStorage*>(m_storage.get());
    // 64-bit: position + n + growth may pass 32 bits.
    const std::uint64_t need = std::uint64_t{m_position} + n;
    if (need > global->Size()) {
        const std::uint64_t grown = need + kGrowth;
        if (grown > UINT32_MAX) return 0;
        global->Unlock();
        const bool resized = global->Resize(static_cast<std::size_t>(grown));
        void* data = global->Lock();
        m_data = static_cast<std::uint8_t*>(data);
        if (data == nullptr) {
            m_mode = kClosed;
            return 0;
        }
        if (!resized) return 0;
    }
    const std::uint32_t k =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(global->Size() - m_position, n));
    std::memcpy(m_data + m_position, buffer, k);
    m_position += k;
    m_size = std::max(m_size, m_position);
    return k;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, int origin) {
    if (m_mode == kClosed) return m_position;
    std::int64_t target;
    switch (origin) {
        case kFromStart:
            target = offset < 0 ? 0 : offset;
            break;
        case kFromCurrent:
            target = std::int64_t{m_position} + offset;
            break;
        case kFromEnd:
            target = std::int64_t{m_size} + offset;
            break;
        default:
            return m_position;
    }
    // Limited to the size; a target before the start counts as past it,
    // as an unsigned comparison would.
    if (target < 0 || target > m_size) target = m_size;
    m_position = static_cast<std::uint32_t>(target);
    return m_position;
}

std::unique_ptr<base::Storage> MemoryStream::Detach() {
    if (m_mode == kClosed || !m_storage) return nullptr;
    if (m_mode == kWriting) {
        auto* global = static_cast<base::GlobalStorage*>(m_storage.get());
        global->Unlock();
        if (m_size == 0 || !global->Resize(m_size)) {
            m_data = nullptr;
            m_mode = kClosed;
            m_storage.reset();
            m_position = m_size = 0;
            return nullptr;
        }
        global->Lock();
    }
    m_data = nullptr;
    m_mode = kClosed;
    m_position = 0;
    m_size = 0;
    return std::move(m_storage);
}

}  // namespace tamboro::audio
