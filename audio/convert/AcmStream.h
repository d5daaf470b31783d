#pragma once
// A byte stream that delivers the conversion of an inner stream from one
// wave format into another, a quarter of a second of source per step.
//
//   inner --read--> [leftover | new source bytes]  (srcStep, whole blocks)
//                          |  FormatConverter
//                          v
//                   [converted bytes ......]  --Read--> caller
//                    ^ readPos
//
// Source bytes the converter does not take (less than one block) are kept
// and put in front of the next step. All buffers are made when the stream
// opens. Not thread-safe.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/convert/FormatConverter.h"
#include "audio/wave/ByteStream.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class AcmStream final : public ByteStream {
  public:
    // Opens the conversion; on any failure (a format pair the converter does
    // not handle, no memory) the stream is not ready and delivers nothing.
    AcmStream(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
              std::unique_ptr<ByteStream> inner);
    ~AcmStream() override;

    bool Ready() const { return m_ready; }
    const WAVEFORMATEX& SourceFormat() const { return m_srcFormat; }
    const WAVEFORMATEX& DestinationFormat() const { return m_dstFormat; }

    std::uint32_t Read(void* buffer, std::uint32_t n) override;
    // Origin 0 from the start, 1 from the current position, in output
    // bytes. The source is sought to position x source bytes per second /
    // destination bytes per second (64-bit), rounded down to whole source
    // blocks; buffered bytes are dropped. Returns the new position in output
    // bytes, or -1 for another origin or a stream that is not ready.
    // Seek(0, 1) only reports the position.
    std::int64_t Seek(std::int64_t offset, int origin) override;
    bool AtEnd() override;
    std::uint32_t Capabilities() override { return 1; }
    // The inner stream's length in output bytes (the converter's law).
    std::uint32_t Length() override;

    std::uint32_t SourceStep() const { return m_srcStep; }
    std::uint32_t DestinationCapacity() const { return m_dstCapacity; }

  private:
    bool Refill();

    bool m_ready = false;
    WAVEFORMATEX m_srcFormat;
    WAVEFORMATEX m_dstFormat;
    std::unique_ptr<ByteStream> m_inner;
    std::unique_ptr<FormatConverter> m_converter;
    std::uint32_t m_srcStep = 0;
    std::uint32_t m_dstCapacity = 0;
    std::vector<std::uint8_t> m_source;       // leftover, then new bytes
    std::vector<std::uint8_t> m_destination;  // converted bytes
    std::uint32_t m_converted = 0;
    std::uint32_t m_readPos = 0;
    std::uint32_t m_leftoverBytes = 0;
    bool m_lastDone = false;      // the final step ran
    std::int64_t m_position = 0;  // output bytes before the read position
};

}  // namespace tamboro::audio
