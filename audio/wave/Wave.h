#pragma once
// The one in-memory sound object: a format record, one contiguous block of
// sample bytes, and the 23 RIFF INFO texts that came with it (UTF-8).
//
// Not thread-safe; a wave belongs to one thread at a time.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "audio/wave/WaveFormat.h"
#include "base/Storage.h"

namespace tamboro::audio {

// The INFO ids in their fixed slot order.
inline constexpr std::array<std::string_view, 23> kInfoIds = {
    "IARL", "IART", "ICMS", "ICMT", "ICOP", "ICRD", "ICRP", "IDIM", "IDPI", "IENG", "IGNR", "IKEY",
    "ILGT", "IMED", "INAM", "IPLT", "IPRD", "ISBJ", "ISFT", "ISHP", "ISRC", "ISRF", "ITCH"};

// Slot index of an INFO id (exact, case-sensitive), or -1.
int InfoSlot(std::string_view id);

class Wave {
  public:
    enum State : std::uint32_t {
        kEmpty = 0,       // nothing
        kFormatOnly = 1,  // a format, no samples
        kInMemory = 3,    // samples in an owned storage object or borrowed memory
        kInFile = 4,      // samples in the mapped storage of a file that was read
    };

    // `storage` chooses how Create gets memory: 0 a fixed heap block, nonzero
    // a mapped temporary file in `tempFolder` (the temporary folder when
    // empty).
    explicit Wave(std::uint32_t storage = 0, std::string tempFolder = {});
    ~Wave();
    Wave(const Wave&) = delete;
    Wave& operator=(const Wave&) = delete;

    // Frees samples, format and INFO texts; state 0.
    void Reset();
    // With frames 0: the format only (state 1). Otherwise a zeroed block of
    // frames x bytes-per-frame of the format's PcmLayout (state 3). Returns 1,
    // or 0 (leaving the wave empty) when the memory or file cannot be had or
    // the format has no PCM layout.
    int Create(const WAVEFORMATEX& format, std::uint32_t frames);
    // Points at memory the caller keeps alive; state 3. Returns 1.
    int AttachBorrowed(const WAVEFORMATEX& format, void* data, std::uint32_t bytes);
    // Takes the whole block of `storage` (locked here); state 3. Returns 0
    // when there is no storage or it has no memory.
    int AttachStorage(const WAVEFORMATEX& format, std::unique_ptr<base::Storage> storage);
    // Uses the block of a storage the caller keeps alive; state 3.
    int AttachStorage(const WAVEFORMATEX& format, base::Storage& storage);
    // The samples lie at `offset`..`offset + bytes` inside the storage of a
    // file that was read, which the wave takes over; state 4. Returns 0 when
    // the range does not lie inside the locked storage.
    int AttachFile(const WAVEFORMATEX& format, std::unique_ptr<base::Storage> storage,
                   std::size_t offset, std::uint32_t bytes);

    State GetState() const { return m_state; }
    bool HasSamples() const { return m_state >= kInMemory && m_dataBytes > 0; }
    std::uint32_t StorageMode() const { return m_storage; }
    const std::string& TempFolder() const { return m_tempFolder; }
    const WAVEFORMATEX* Format() const { return m_format ? &*m_format : nullptr; }
    std::uint32_t DataBytes() const { return m_dataBytes; }
    std::uint8_t* Data() const { return m_data; }
    PcmLayout Layout() const { return m_layout; }

    // Whole frames: 0 in states 0 and 1; for the PCM layouts dataBytes /
    // bytes per frame; otherwise dataBytes x rate / bytes per second.
    std::int32_t FrameCount() const;

    // A frame as left (low 16 bits) and right (high 16 bits), both signed
    // 16-bit. No bounds check: i < FrameCount().
    std::uint32_t GetFrame(std::int32_t i) const;
    void SetFrame(std::int32_t i, std::uint32_t packed);

    // INFO texts by id. Unknown ids are ignored / answer nothing.
    void SetInfo(std::string_view id, std::optional<std::string_view> text);
    const std::string* GetInfo(std::string_view id) const;
    const std::optional<std::string>& InfoAt(std::size_t slot) const { return m_info[slot]; }

    // A new empty temporary file for sample memory, prefix "WAV", in the
    // wave's temporary folder. Empty on failure.
    std::string MakeTempName() const;

  private:
    State m_state = kEmpty;
    std::uint32_t m_storage;
    std::optional<WAVEFORMATEX> m_format;
    std::uint32_t m_dataBytes = 0;
    std::uint8_t* m_data = nullptr;
    PcmLayout m_layout = PcmLayout::None;
    std::unique_ptr<base::Storage> m_owner;
    std::array<std::optional<std::string>, 23> m_info;
    std::string m_tempFolder;
};

}  // namespace tamboro::audio
