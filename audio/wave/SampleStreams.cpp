#include "audio/wave/SampleStreams.h"

#include <algorithm>
#include <cstring>

namespace tamboro::audio {

namespace {

bool IsStereo(PcmLayout l) {
    return l == PcmLayout::Stereo8 || l == PcmLayout::Stereo16;
}
bool Is16(PcmLayout l) {
    return l == PcmLayout::Mono16 || l == PcmLayout::Stereo16;
}

// Sample k (0 left, 1 right) of frame i as signed 16-bit.
int SampleAt(PcmLayout l, const std::uint8_t* p, std::uint32_t i, int k) {
    const std::uint32_t channels = IsStereo(l) ? 2 : 1;
    const std::uint32_t index = i * channels + (channels == 2 ? static_cast<std::uint32_t>(k) : 0);
    if (Is16(l)) {
        std::int16_t s;
        std::memcpy(&s, p + index * 2, 2);
        return s;
    }
    return (static_cast<int>(p[index]) - 128) * 256;
}

void Store(PcmLayout l, std::uint8_t* p, std::uint32_t index, int s) {
    if (Is16(l)) {
        const auto v = static_cast<std::int16_t>(s);
        std::memcpy(p + index * 2, &v, 2);
    } else {
        p[index] = static_cast<std::uint8_t>((s >> 8) + 128);
    }
}

}  // namespace

void ConvertFrames(PcmLayout from, const void* src, PcmLayout to, void* dst, std::uint32_t frames) {
    const auto* in = static_cast<const std::uint8_t*>(src);
    auto* out = static_cast<std::uint8_t*>(dst);
    if (from == to) {
        std::memcpy(out, in, static_cast<std::size_t>(frames) * BytesPerFrame(from));
        return;
    }
    const bool inStereo = IsStereo(from);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const int l = SampleAt(from, in, i, 0);
        const int r = inStereo ? SampleAt(from, in, i, 1) : l;
        if (IsStereo(to)) {
            Store(to, out, i * 2, l);
            Store(to, out, i * 2 + 1, r);
        } else {
            Store(to, out, i, inStereo ? (l + r) >> 1 : l);
        }
    }
}

SampleReader::SampleReader(const void* data, std::uint32_t bytes)
    : m_data(static_cast<const std::uint8_t*>(data)), m_size(data ? bytes : 0) {
    m_mode = kReading;
}

std::uint32_t SampleReader::Read(void* buffer, std::uint32_t n) {
    const std::uint32_t count = std::min(n, m_size - m_pos);
    if (count) std::memcpy(buffer, m_data + m_pos, count);
    m_pos += count;
    return count;
}

std::int64_t SampleReader::Seek(std::int64_t offset, int origin) {
    const std::int64_t base = origin == kFromCurrent ? m_pos : origin == kFromEnd ? m_size : 0;
    const std::int64_t pos = base + offset;
    if (pos < 0 || pos > m_size) return -1;
    m_pos = static_cast<std::uint32_t>(pos);
    return pos;
}

LayoutStream::LayoutStream(PcmLayout from, const void* data, std::uint32_t bytes, PcmLayout to)
    : m_from(from),
      m_to(to),
      m_data(static_cast<const std::uint8_t*>(data)),
      m_inFrameBytes(BytesPerFrame(from)),
      m_outFrameBytes(BytesPerFrame(to)),
      m_frames(m_inFrameBytes && data ? bytes / m_inFrameBytes : 0) {
    m_mode = kReading;
}

std::uint32_t LayoutStream::Read(void* buffer, std::uint32_t n) {
    if (m_outFrameBytes == 0) return 0;
    const std::uint32_t frames = std::min(n / m_outFrameBytes, m_frames - m_frame);
    ConvertFrames(m_from, m_data + static_cast<std::size_t>(m_frame) * m_inFrameBytes, m_to, buffer,
                  frames);
    m_frame += frames;
    return frames * m_outFrameBytes;
}

std::int64_t LayoutStream::Seek(std::int64_t offset, int origin) {
    if (m_outFrameBytes == 0) return -1;
    const std::int64_t length = static_cast<std::int64_t>(m_frames) * m_outFrameBytes;
    const std::int64_t base = origin == kFromCurrent ? std::int64_t{m_frame} * m_outFrameBytes
                              : origin == kFromEnd   ? length
                                                     : 0;
    const std::int64_t pos = base + offset;
    if (pos < 0 || pos > length) return -1;
    m_frame = static_cast<std::uint32_t>(pos / m_outFrameBytes);
    return std::int64_t{m_frame} * m_outFrameBytes;
}

std::unique_ptr<ByteStream> MakeSampleStream(const WAVEFORMATEX& from, const void* data,
                                             std::uint32_t bytes, const WAVEFORMATEX& to) {
    const PcmLayout in = LayoutOf(from);
    const PcmLayout out = LayoutOf(to);
    if (in == PcmLayout::None || out == PcmLayout::None) return nullptr;
    if (from.nSamplesPerSec != to.nSamplesPerSec) return nullptr;
    if (in == out) return std::make_unique<SampleReader>(data, bytes);
    return std::make_unique<LayoutStream>(in, data, bytes, out);
}

}  // namespace tamboro::audio
