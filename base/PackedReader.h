#pragma once
// The packed-file reader through which every archive is read. It reads plain
// files as they are and "CKP" files, whose content is stored in 32 KB blocks,
// each one zlib stream, through two fixed 32 KB buffers.
//
// "CKP" file (all integers little-endian, unsigned 32-bit):
//
//   offset  size         content
//   0       4            magic 'C' 'K' 'P' 0 (the value 0x00504B43)
//   4       4            not used by the reader
//   8       4            number of blocks B
//   12      4            not used by the reader
//   16      4            total size T of the unpacked content in bytes
//   20      4            not used by the reader
//   24      4            file offset of the block table
//   table   B x 8        per block: file offset of its zlib stream (4),
//                        its compressed size (4)
//
// Block i unpacks to content bytes [i * 32768, min((i + 1) * 32768, T)).
// A file that does not start with the magic is read as a plain file.
//
// The header and the block table are checked once, when the file is opened:
// B must be exactly ceil(T / 32768), the table and every block must lie
// inside the file, the header, the table and the blocks must not overlap,
// and no block may be longer than the largest stream zlib's compress makes
// of 32768 bytes. (Without the overlap rule a tiny file whose table points
// every block at the same stream would unpack to gigabytes.) Every block must unpack to exactly its
// share of the content. A file that breaks any of these is refused.
//
// Not thread-safe: a reader belongs to one thread at a time. The last-error
// value is shared by the whole program (as the reader's callers expect), so
// it is only meaningful to the thread that made the last reader call.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileMapping.h"

namespace tamboro::base {

// The reader's last-error values. Every reader operation sets one.
enum class ReaderError : std::uint32_t {
    Ok = 0x1100,
    OpenFailed = 0x1102,      // the file could not be opened
    BadReader = 0x1103,       // closed reader, or a position out of range
    OutOfMemory = 0x1105,     // a buffer or the block table could not be had
    SeekFailed = 0x1106,      // the file could not be positioned or read there
    DataCorrupt = 0x1108,     // a damaged packed header, table or block
    OutputTooSmall = 0x1109,  // a block unpacks to more than 32768 bytes
};
static_assert(static_cast<std::uint32_t>(ReaderError::Ok) == 0x1100);
static_assert(static_cast<std::uint32_t>(ReaderError::OpenFailed) == 0x1102);
static_assert(static_cast<std::uint32_t>(ReaderError::BadReader) == 0x1103);
static_assert(static_cast<std::uint32_t>(ReaderError::OutOfMemory) == 0x1105);
static_assert(static_cast<std::uint32_t>(ReaderError::SeekFailed) == 0x1106);
static_assert(static_cast<std::uint32_t>(ReaderError::DataCorrupt) == 0x1108);
static_assert(static_cast<std::uint32_t>(ReaderError::OutputTooSmall) == 0x1109);

// The program-wide last-error value of the reader.
ReaderError PackedLastError();
void SetPackedLastError(ReaderError error);

class PackedReader {
  public:
    enum Kind : std::uint32_t { kPlain = 0, kPacked = 1 };
    enum Origin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

    static constexpr std::uint32_t kMagic = 0x00504B43;  // "CKP\0"
    static constexpr std::size_t kBlockSize = 32768;
    static constexpr std::size_t kHeaderSize = 28;
    // The largest zlib stream compress() makes of one block (zlib's
    // compressBound(32768)); the input buffer holds that much.
    static constexpr std::size_t kMaxPackedBlock =
        kBlockSize + (kBlockSize >> 12) + (kBlockSize >> 14) + (kBlockSize >> 25) + 13;

    struct BlockEntry {
        std::uint32_t offset;  // file offset of the zlib stream
        std::uint32_t size;    // its length in bytes
    };

    // Opens the file at `path` for reading. Returns null on failure and sets
    // the last error: OpenFailed when the file cannot be opened, SeekFailed
    // when its header cannot be read, DataCorrupt for a damaged packed
    // header, table or first block, OutOfMemory.
    static std::unique_ptr<PackedReader> OpenPacked(const std::string& path);
    // The same over bytes in memory, which the caller keeps alive and
    // unchanged for the reader's lifetime.
    static std::unique_ptr<PackedReader> OpenMemory(const void* data, std::size_t size);

    ~PackedReader();
    PackedReader(const PackedReader&) = delete;
    PackedReader& operator=(const PackedReader&) = delete;

    // Moves the read position to `offset` bytes from the start, the current
    // position or the end (`origin` 0, 1, 2). Returns the new position, or -1.
    // Plain: like the system's seek, any position >= 0 is allowed (reads past
    // the end give 0 bytes); a negative one is SeekFailed. Packed: the
    // position must lie in 0..Size(), else BadReader; the block holding it is
    // unpacked unless it is the loaded one (errors DataCorrupt, OutOfMemory,
    // OutputTooSmall).
    std::int64_t Seek(std::int64_t offset, int origin);

    // Reads up to `count` bytes at the read position into `buffer` and moves
    // the position past them. Returns the number of bytes read: fewer than
    // `count` only at the end of the content; 0 at the end or on failure
    // (a block that cannot be unpacked, an I/O error), when the last error
    // tells which and the position is left where it was.
    std::size_t Read(void* buffer, std::size_t count);

    // Closes the file. Returns 0, or -1 (BadReader) when already closed.
    // After Close every operation fails with BadReader.
    int Close();

    Kind GetKind() const { return m_kind; }
    // Length of the content: the file's size for a plain file, the total
    // unpacked size for a packed one. Reads never go beyond it.
    std::uint64_t Size() const { return m_size; }
    std::uint64_t Position() const { return m_pos; }
    // The 28 header bytes of a packed file (zeros for a plain file).
    const std::array<std::uint8_t, kHeaderSize>& PackedHeader() const { return m_header; }
    std::uint32_t BlockCount() const { return static_cast<std::uint32_t>(m_table.size()); }
    bool IsOpen() const { return m_open; }

  private:
    PackedReader() = default;

    static std::unique_ptr<PackedReader> Finish(std::unique_ptr<PackedReader> reader);
    // Reads `count` bytes of the underlying file at `offset`; the number
    // read, or -1 on an I/O error.
    std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    bool ReadExactlyAt(std::uint64_t offset, void* buffer, std::size_t count);
    bool OpenPackedContent();
    // Whether the header, the block table and the blocks occupy disjoint
    // parts of the file.
    bool RegionsAreDisjoint(std::uint64_t tableOffset, std::uint64_t tableSize) const;
    // Unpacks block `block` into the output buffer unless already loaded.
    bool LoadBlock(std::uint32_t block);

    bool m_open = false;
    Kind m_kind = kPlain;
    platform::UniqueFd m_fd;                 // the file, or invalid over memory
    const std::uint8_t* m_memory = nullptr;  // the bytes, when over memory
    std::uint64_t m_fileSize = 0;            // length of the underlying file
    std::uint64_t m_size = 0;                // length of the content
    std::uint64_t m_pos = 0;                 // read position in the content
    std::array<std::uint8_t, kHeaderSize> m_header{};
    std::vector<BlockEntry> m_table;
    std::unique_ptr<std::uint8_t[]> m_input;   // one packed block
    std::unique_ptr<std::uint8_t[]> m_output;  // one unpacked block
    std::uint32_t m_loadedBlock = 0;
    std::size_t m_loadedSize = 0;  // valid bytes in m_output
    bool m_blockValid = false;
};

}  // namespace tamboro::base
