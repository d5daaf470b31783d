#include "audio/convert/BufferConverter.h"

#include <algorithm>
#include <cstring>

#include "audio/convert/AcmStream.h"
#include "audio/convert/FormatTags.h"
#include "audio/wave/MemoryStream.h"

namespace tamboro::audio {

BufferConverter::BufferConverter() = default;
BufferConverter::~BufferConverter() = default;

int BufferConverter::Open(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
                          const void* data, std::uint32_t bytes) {
    Close();
    if (!DescribeFormat(source) || !DescribeFormat(destination)) return 1;
    m_srcFormat = CopyFormat(source);
    m_dstFormat = CopyFormat(destination);
    m_srcData = static_cast<const std::uint8_t*>(data);
    m_srcBytes = data != nullptr ? bytes : 0;
    m_rangeStart = 0;
    m_rangeEnd = m_srcBytes;
    m_mode = SameCoding(source, destination) ? kCopying : kConverting;
    if (!Restart()) {
        Close();
        return 1;
    }
    return 0;
}

bool BufferConverter::Restart() {
    m_readPos = 0;
    if (m_mode != kConverting) return true;
    // The range is read through a stream over borrowed memory.
    auto memory = std::make_unique<base::BorrowedStorage>(
        const_cast<std::uint8_t*>(m_srcData) + m_rangeStart, m_rangeEnd - m_rangeStart);
    // An empty range gives a closed memory stream: at its end, reading 0.
    auto inner = std::make_unique<MemoryStream>(
        m_rangeEnd > m_rangeStart ? std::move(memory) : std::unique_ptr<base::Storage>());
    m_stream = std::make_unique<AcmStream>(m_srcFormat, m_dstFormat, std::move(inner));
    return m_stream->Ready();
}

int BufferConverter::SetRange(std::uint32_t start, std::uint32_t count) {
    if (m_mode == kClosed) return 2;
    std::uint64_t first;
    std::uint64_t length;
    if (m_srcFormat.wFormatTag == kFormatPcm) {
        first = std::uint64_t{start} * m_srcFormat.nBlockAlign;
        length = std::uint64_t{count} * m_srcFormat.nBlockAlign;
    } else {
        // Frames through the byte rate, rounded down to whole blocks.
        const std::uint64_t block = m_srcFormat.nBlockAlign;
        first = std::uint64_t{start} * m_srcFormat.nAvgBytesPerSec / m_srcFormat.nSamplesPerSec;
        length = std::uint64_t{count} * m_srcFormat.nAvgBytesPerSec / m_srcFormat.nSamplesPerSec;
        first = first / block * block;
        length = length / block * block;
    }
    if (first > m_srcBytes) return 1;
    m_rangeStart = static_cast<std::uint32_t>(first);
    m_rangeEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(first + length, m_srcBytes));
    Restart();
    return 0;
}

std::uint32_t BufferConverter::Read(void* buffer, std::uint32_t n) {
    if (m_mode == kConverting) return m_stream->Read(buffer, n);
    if (m_mode != kCopying) return 0;
    const std::uint32_t left = m_rangeEnd - m_rangeStart - m_readPos;
    const std::uint32_t frame = m_dstFormat.nBlockAlign;
    const std::uint32_t k = std::min(n, left) / frame * frame;
    std::memcpy(buffer, m_srcData + m_rangeStart + m_readPos, k);
    m_readPos += k;
    return k;
}

bool BufferConverter::AtEnd() {
    if (m_mode == kConverting) return m_stream->AtEnd();
    if (m_mode != kCopying) return true;
    return m_rangeEnd - m_rangeStart - m_readPos < m_dstFormat.nBlockAlign;
}

std::uint32_t BufferConverter::Length() {
    if (m_mode == kConverting) return m_stream->Length();
    if (m_mode != kCopying) return 0;
    const std::uint32_t frame = m_dstFormat.nBlockAlign;
    return (m_rangeEnd - m_rangeStart) / frame * frame;
}

void BufferConverter::Close() {
    m_stream.reset();
    m_mode = kClosed;
    m_srcData = nullptr;
    m_srcBytes = 0;
    m_rangeStart = m_rangeEnd = m_readPos = 0;
}

}  // namespace tamboro::audio
