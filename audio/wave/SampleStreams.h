#pragma once
// Small sample helpers shared by the software mixer and the output device:
// conversion between the four PCM layouts at the same rate (bits and
// channels only), and two read-only byte streams over sample memory.
// Rate changes and compressed formats are the conversion chain's business.
#include <cstdint>
#include <memory>

#include "audio/wave/ByteStream.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

// Converts `frames` frames from one PCM layout to another, same rate:
// 8 -> 16 bits: (b - 128) << 8; 16 -> 8 bits: (s >> 8) + 128;
// mono -> stereo: the sample on both sides; stereo -> mono: (l + r) >> 1.
// Same layouts copy. Both layouts must be one of the four PCM layouts.
void ConvertFrames(PcmLayout from, const void* src, PcmLayout to, void* dst, std::uint32_t frames);

// Reads a block of bytes the caller keeps alive. Seeks within 0..size.
class SampleReader final : public ByteStream {
  public:
    SampleReader(const void* data, std::uint32_t bytes);
    std::uint32_t Read(void* buffer, std::uint32_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    bool AtEnd() override { return m_pos >= m_size; }
    std::uint32_t Length() override { return m_size; }

  private:
    const std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_pos = 0;
};

// Delivers PCM sample memory of one layout in another layout at the same
// rate; positions are bytes of the output layout.
class LayoutStream final : public ByteStream {
  public:
    LayoutStream(PcmLayout from, const void* data, std::uint32_t bytes, PcmLayout to);
    std::uint32_t Read(void* buffer, std::uint32_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    bool AtEnd() override { return m_frame >= m_frames; }
    std::uint32_t Length() override { return m_frames * m_outFrameBytes; }

  private:
    PcmLayout m_from;
    PcmLayout m_to;
    const std::uint8_t* m_data;
    std::uint32_t m_inFrameBytes;
    std::uint32_t m_outFrameBytes;
    std::uint32_t m_frames;
    std::uint32_t m_frame = 0;
};

// A stream delivering `data` (in `from`) as PCM of `to`: a plain reader when
// the formats agree, a layout stream when only bits or channels differ, and
// nothing (null) when the rate differs or either format is not 8/16-bit PCM.
std::unique_ptr<ByteStream> MakeSampleStream(const WAVEFORMATEX& from, const void* data,
                                             std::uint32_t bytes, const WAVEFORMATEX& to);

}  // namespace tamboro::audio
