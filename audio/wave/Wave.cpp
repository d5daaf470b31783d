#include "audio/wave/Wave.h"

#include "platform/TempFiles.h"

namespace tamboro::audio {

int InfoSlot(std::string_view id) {
    for (std::size_t i = 0; i < kInfoIds.size(); ++i) {
        if (kInfoIds[i] == id) return static_cast<int>(i);
    }
    return -1;
}

Wave::Wave(std::uint32_t storage, std::string tempFolder)
    : m_storage(storage), m_tempFolder(std::move(tempFolder)) {}

Wave::~Wave() {
    Reset();
}

void Wave::Reset() {
    if (m_owner) {
        m_owner->Unlock();
        m_owner.reset();
    }
    m_format.reset();
    m_state = kEmpty;
    m_data = nullptr;
    m_dataBytes = 0;
    m_layout = PcmLayout::None;
    for (auto& text : m_info)
        text.reset();
}

int Wave::Create(const WAVEFORMATEX& format, std::uint32_t frames) {
    Reset();
    if (frames == 0) {
        m_format = CopyFormat(format);
        m_layout = LayoutOf(*m_format);
        m_state = kFormatOnly;
        return 1;
    }
    const PcmLayout layout = LayoutOf(format);
    const std::uint64_t bytes = std::uint64_t{frames} * BytesPerFrame(layout);
    if (bytes == 0 || bytes > UINT32_MAX) return 0;
    std::unique_ptr<base::Storage> owner;
    if (m_storage == 0) {
        owner = std::make_unique<base::GlobalStorage>(static_cast<std::size_t>(bytes), true);
    } else {
        const std::string path = MakeTempName();
        if (path.empty()) return 0;
        owner = std::make_unique<base::MappedStorage>(static_cast<std::size_t>(bytes), path, true,
                                                      std::string(), false);
    }
    void* data = owner->Lock();
    if (data == nullptr || owner->Size() < bytes) return 0;
    m_owner = std::move(owner);
    m_format = CopyFormat(format);
    m_layout = layout;
    m_data = static_cast<std::uint8_t*>(data);
    m_dataBytes = static_cast<std::uint32_t>(bytes);
    m_state = kInMemory;
    return 1;
}

int Wave::AttachBorrowed(const WAVEFORMATEX& format, void* data, std::uint32_t bytes) {
    Reset();
    m_format = CopyFormat(format);
    m_layout = LayoutOf(*m_format);
    m_data = static_cast<std::uint8_t*>(data);
    m_dataBytes = data != nullptr ? bytes : 0;
    m_state = kInMemory;
    return 1;
}

int Wave::AttachStorage(const WAVEFORMATEX& format, std::unique_ptr<base::Storage> storage) {
    if (!storage) return 0;
    void* data = storage->Lock();
    if (data == nullptr || storage->Size() > UINT32_MAX) {
        storage->Unlock();
        return 0;
    }
    Reset();
    m_format = CopyFormat(format);
    m_layout = LayoutOf(*m_format);
    m_data = static_cast<std::uint8_t*>(data);
    m_dataBytes = static_cast<std::uint32_t>(storage->Size());
    m_owner = std::move(storage);
    m_state = kInMemory;
    return 1;
}

int Wave::AttachStorage(const WAVEFORMATEX& format, base::Storage& storage) {
    void* data = storage.Lock();
    storage.Unlock();  // borrowed: the caller keeps it locked as long as needed
    if (data == nullptr || storage.Data() == nullptr || storage.Size() > UINT32_MAX) return 0;
    return AttachBorrowed(format, data, static_cast<std::uint32_t>(storage.Size()));
}

int Wave::AttachFile(const WAVEFORMATEX& format, std::unique_ptr<base::Storage> storage,
                     std::size_t offset, std::uint32_t bytes) {
    if (!storage) return 0;
    void* data = storage->Lock();
    if (data == nullptr || offset > storage->Size() || bytes > storage->Size() - offset) {
        storage->Unlock();
        return 0;
    }
    Reset();
    m_format = CopyFormat(format);
    m_layout = LayoutOf(*m_format);
    m_data = static_cast<std::uint8_t*>(data) + offset;
    m_dataBytes = bytes;
    m_owner = std::move(storage);
    m_state = kInFile;
    return 1;
}

std::int32_t Wave::FrameCount() const {
    if (m_state < kInMemory || !m_format) return 0;
    const std::uint32_t bpf = BytesPerFrame(m_layout);
    if (bpf != 0) return static_cast<std::int32_t>(m_dataBytes / bpf);
    if (m_format->nAvgBytesPerSec == 0) return 0;
    return static_cast<std::int32_t>(std::uint64_t{m_dataBytes} * m_format->nSamplesPerSec /
                                     m_format->nAvgBytesPerSec);
}

std::uint32_t Wave::GetFrame(std::int32_t i) const {
    const auto pack = [](std::int32_t left, std::int32_t right) {
        return (static_cast<std::uint32_t>(left) & 0xFFFF) |
               (static_cast<std::uint32_t>(right) & 0xFFFF) << 16;
    };
    const std::uint8_t* p = m_data;
    switch (m_layout) {
        case PcmLayout::Mono8: {
            const std::int32_t s = (p[i] - 128) * 256;
            return pack(s, s);
        }
        case PcmLayout::Stereo8:
            return pack((p[2 * i] - 128) * 256, (p[2 * i + 1] - 128) * 256);
        case PcmLayout::Mono16: {
            const auto s = static_cast<std::int16_t>(p[2 * i] | p[2 * i + 1] << 8);
            return pack(s, s);
        }
        case PcmLayout::Stereo16:
            return static_cast<std::uint32_t>(p[4 * i]) |
                   static_cast<std::uint32_t>(p[4 * i + 1]) << 8 |
                   static_cast<std::uint32_t>(p[4 * i + 2]) << 16 |
                   static_cast<std::uint32_t>(p[4 * i + 3]) << 24;
        default:
            return 0;
    }
}

void Wave::SetFrame(std::int32_t i, std::uint32_t packed) {
    const auto left = static_cast<std::int16_t>(packed & 0xFFFF);
    const auto right = static_cast<std::int16_t>(packed >> 16);
    std::uint8_t* p = m_data;
    switch (m_layout) {
        case PcmLayout::Mono8:
            p[i] = static_cast<std::uint8_t>((left + right) / 512 + 128);
            break;
        case PcmLayout::Stereo8:
            p[2 * i] = static_cast<std::uint8_t>(((left >> 8) + 128) & 0xFF);
            p[2 * i + 1] = static_cast<std::uint8_t>(((right >> 8) + 128) & 0xFF);
            break;
        case PcmLayout::Mono16: {
            const auto s = static_cast<std::int16_t>((left + right) >> 1);
            p[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
            p[2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            break;
        }
        case PcmLayout::Stereo16:
            for (int k = 0; k < 4; ++k)
                p[4 * i + k] = static_cast<std::uint8_t>(packed >> (8 * k));
            break;
        default:
            break;
    }
}

void Wave::SetInfo(std::string_view id, std::optional<std::string_view> text) {
    const int slot = InfoSlot(id);
    if (slot < 0) return;
    if (text) {
        m_info[static_cast<std::size_t>(slot)] = std::string(*text);
    } else {
        m_info[static_cast<std::size_t>(slot)].reset();
    }
}

const std::string* Wave::GetInfo(std::string_view id) const {
    const int slot = InfoSlot(id);
    if (slot < 0) return nullptr;
    const auto& text = m_info[static_cast<std::size_t>(slot)];
    return text ? &*text : nullptr;
}

std::string Wave::MakeTempName() const {
    std::string path;
    platform::MakeTempFileName("WAV", path, m_tempFolder);
    return path;
}

}  // namespace tamboro::audio
