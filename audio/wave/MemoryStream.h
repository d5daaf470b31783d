#pragma once
// A byte stream over a storage object: reading a supplied block, or
// writing into an owned block that grows by 32768 bytes beyond each need.
#include <cstdint>
#include <memory>

#include "audio/wave/ByteStream.h"
#include "base/Storage.h"

namespace tamboro::audio {

class MemoryStream final : public ByteStream {
  public:
    static constexpr std::uint32_t kGrowth = 32768;

    // For writing: a new moveable block of 32768 bytes; mode kWriting. When
    // the block cannot be had the stream is closed.
    MemoryStream();
    // For reading: takes `storage` (locked here until the stream ends);
    // mode kReading, size = the storage's size (limited to 32 bits). A null
    // or empty storage gives a closed stream.
    explicit MemoryStream(std::unique_ptr<base::Storage> storage);
    ~MemoryStream() override;

    std::uint32_t Read(void* buffer, std::uint32_t n) override;
    std::uint32_t Write(const void* buffer, std::uint32_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    bool AtEnd() override { return m_position >= m_size; }
    std::uint32_t Capabilities() override { return 15; }
    std::uint32_t Length() override { return m_size; }

    std::uint32_t Position() const { return m_position; }
    // Hands the storage to the caller: in writing mode resized to exactly
    // the bytes written (and left locked once). The stream is closed after.
    // Null when nothing was written or the stream is closed.
    std::unique_ptr<base::Storage> Detach();

  private:
    std::unique_ptr<base::Storage> m_storage;
    std::uint8_t* m_data = nullptr;
    std::uint32_t m_position = 0;
    std::uint32_t m_size = 0;
};

}  // namespace tamboro::audio
