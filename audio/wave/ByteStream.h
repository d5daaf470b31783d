#pragma once
// The chainable byte stream of the conversion chain and the mixers.
// Reading, writing and seeking in bytes; positions are 32-bit like the
// sample blocks they walk over.
#include <cstdint>

namespace tamboro::audio {

class ByteStream {
  public:
    enum Mode : std::uint32_t {
        kClosed = 0,
        kReading = 1,  // reading a supplied storage
        kWriting = 2,  // writing to an owned, growing storage
    };
    enum Origin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

    virtual ~ByteStream() = default;
    // Bytes delivered into `buffer` (at most n); 0 at the end.
    virtual std::uint32_t Read(void* /*buffer*/, std::uint32_t /*n*/) { return 1; }
    // Bytes taken from `buffer`.
    virtual std::uint32_t Write(const void* /*buffer*/, std::uint32_t /*n*/) { return 1; }
    // The new position, or -1 when the stream cannot seek there.
    virtual std::int64_t Seek(std::int64_t /*offset*/, int /*origin*/) { return -1; }
    virtual bool AtEnd() { return true; }
    virtual std::uint32_t Capabilities() { return 0; }
    virtual std::uint32_t GetMode() { return m_mode; }
    // Total bytes the stream delivers (for a converter: the output length).
    virtual std::uint32_t Length() { return 0; }
    // True when the stream stopped on purpose before its end (a cancelled
    // render): what was read so far is not to be kept.
    virtual bool Abandoned() const { return false; }

  protected:
    std::uint32_t m_mode = kClosed;
};

}  // namespace tamboro::audio
