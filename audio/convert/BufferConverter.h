#pragma once
// Converts a block of memory from one wave format into another without a
// stream of the caller's: open over the samples, optionally select a range
// of frames, read the converted bytes. Formats that already agree are
// copied unchanged.
#include <cstdint>
#include <memory>

#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class AcmStream;

class BufferConverter {
  public:
    enum Mode : std::uint32_t { kClosed = 0, kConverting = 1, kCopying = 2 };

    BufferConverter();
    ~BufferConverter();
    BufferConverter(const BufferConverter&) = delete;
    BufferConverter& operator=(const BufferConverter&) = delete;

    // Returns 0, or 1 when the converter refuses the pair (the converter
    // stays closed). `data` stays the caller's and must outlive the
    // conversion. The whole block is selected.
    int Open(const WAVEFORMATEX& source, const WAVEFORMATEX& destination, const void* data,
             std::uint32_t bytes);
    // Selects `count` frames from frame `start`: for a PCM source frames x
    // bytes per frame, otherwise through the source's byte rate rounded down
    // to whole blocks; the end is limited to the data. Returns 0, 1 when the
    // start lies past the end, 2 when closed.
    int SetRange(std::uint32_t start, std::uint32_t count);
    // Converted bytes of the range, at most n (copying: whole destination
    // frames).
    std::uint32_t Read(void* buffer, std::uint32_t n);
    bool AtEnd();
    // Bytes the whole range converts to.
    std::uint32_t Length();
    void Close();
    Mode GetMode() const { return m_mode; }

  private:
    bool Restart();

    Mode m_mode = kClosed;
    WAVEFORMATEX m_srcFormat;
    WAVEFORMATEX m_dstFormat;
    const std::uint8_t* m_srcData = nullptr;
    std::uint32_t m_srcBytes = 0;
    std::uint32_t m_rangeStart = 0;
    std::uint32_t m_rangeEnd = 0;
    std::uint32_t m_readPos = 0;  // copying: bytes handed out of the range
    std::unique_ptr<AcmStream> m_stream;
};

}  // namespace tamboro::audio
