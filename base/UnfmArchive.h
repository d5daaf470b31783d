#pragma once
// The "UNFM" record archive: a numbered list of records in one file. A song
// file is such an archive. One object serves either for writing a new
// archive or for reading an existing one (plain or "CKP" packed).
//
// File layout (all integers little-endian, unsigned 32-bit):
//
//   offset        size    content
//   0             4       magic "UNFM"
//   4             4       file offset of the index
//   8             4       number of records N
//   12            4       reserved, 0
//   16            ...     the records' bytes, back to back, in the order
//                         they were appended
//   index offset  N x 8   per record, record 0 first: absolute file offset
//                         of the record (4), its size in bytes (4)
//
// Writing is append-only: the index is written once, by Close, after the
// last record, and only then are the header's index offset and count filled
// in; then the new file replaces the old one in one step. A writer that
// never reached Close leaves the old file (or none) in place.
//
// Reading checks the header and the whole index against the length of the
// content once, when the archive is opened; a damaged or hostile file is
// refused there (NotArchive), so every later read stays inside the file.
//
// Not thread-safe: an archive belongs to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/PackedReader.h"
#include "base/Storage.h"
#include "platform/FileMapping.h"
#include "platform/OutputFile.h"

namespace tamboro::base {

enum class ArchiveResult : std::uint8_t {
    Ok = 0,
    Busy = 1,              // already open
    CreateFailed = 2,      // the file cannot be created
    NotWriting = 3,        // append while not writing
    WriteFailed = 4,       // a write failed, or the archive outgrew 4 GB
    OpenFailed = 5,        // the file cannot be opened for reading
    NotArchive = 6,        // no "UNFM" magic, or a damaged header or index
    RecordOutOfRange = 7,  // record index negative or not below the count
    NotReading = 8,        // read while not reading
    ReadFailed = 9,        // the record could not be read in full
    Count_                 // stays last
};
static_assert(static_cast<int>(ArchiveResult::Busy) == 1);
static_assert(static_cast<int>(ArchiveResult::CreateFailed) == 2);
static_assert(static_cast<int>(ArchiveResult::NotWriting) == 3);
static_assert(static_cast<int>(ArchiveResult::WriteFailed) == 4);
static_assert(static_cast<int>(ArchiveResult::OpenFailed) == 5);
static_assert(static_cast<int>(ArchiveResult::NotArchive) == 6);
static_assert(static_cast<int>(ArchiveResult::RecordOutOfRange) == 7);
static_assert(static_cast<int>(ArchiveResult::NotReading) == 8);
static_assert(static_cast<int>(ArchiveResult::ReadFailed) == 9);

class UnfmArchive {
  public:
    enum Mode : std::uint32_t { kClosed = 0, kWriting = 1, kReading = 2 };

    static constexpr std::uint32_t kHeaderSize = 16;
    static constexpr std::uint32_t kEntrySize = 8;

    struct IndexEntry {
        std::uint32_t offset;  // absolute file offset of the record
        std::uint32_t size;    // record size in bytes
    };

    UnfmArchive() = default;
    // Closes an archive being read; an archive being written that was not
    // closed is discarded (the file it would replace stays as it was).
    ~UnfmArchive();
    UnfmArchive(const UnfmArchive&) = delete;
    UnfmArchive& operator=(const UnfmArchive&) = delete;

    // Starts a new archive that replaces the file at `path` when Close
    // succeeds (platform::OutputFile: until then, and after a failure or a
    // kill, `path` keeps its old content), and writes the 16-byte header
    // "UNFM" and zeros. Busy when open; CreateFailed when the file cannot be
    // created, or when `path` is not a regular file (an archive cannot be
    // streamed); WriteFailed when its header cannot be written.
    int Create(const std::string& path);
    // Drops an archive being written without touching `path`.
    void Discard();
    // Appends one record of `size` bytes. NotWriting when not writing;
    // WriteFailed when the write fails or the record would end beyond
    // 4 GB (its offset and size must fit the index). A failed append adds
    // nothing: the next record takes its place.
    int Append(const void* bytes, std::size_t size);
    // Writing: writes the index after the last record and fills in the
    // header, syncs the file and puts it in the place of `path`. Returns
    // WriteFailed when any of that fails (`path` then keeps its old
    // content). `flushToDisk` is accepted for compatibility: the data always
    // reach the disk first. Reading: closes the reader.
    // Returns 0 otherwise, also when already closed.
    int Close(bool flushToDisk = false);

    // Opens an archive for reading through the packed-file reader. Busy when
    // open; OpenFailed when the reader cannot open the file; NotArchive for
    // a missing magic or a header or index that does not fit the content.
    int Open(const std::string& path);
    // The same over bytes in memory, which the caller keeps alive and
    // unchanged while the archive is open.
    int OpenMemory(const void* data, std::size_t size);

    // Size in bytes of record `index`, or 0 when not reading or the index is
    // out of range.
    std::uint32_t RecordSize(std::int64_t index) const;
    // Reads record `index` into `buffer`, which holds RecordSize(index)
    // bytes. NotReading, RecordOutOfRange, or ReadFailed when the reader
    // delivers fewer bytes than the record has (a damaged packed block, an
    // I/O error, a file cut short while open).
    int ReadRecord(std::int64_t index, void* buffer);
    // The same into a vector sized to the record (left empty on failure).
    int ReadRecord(std::int64_t index, std::vector<std::uint8_t>& out);
    // The same into a new fixed global storage block; null on failure, with
    // the result in `*result` (ReadFailed also when memory is short).
    std::unique_ptr<GlobalStorage> ReadRecordStorage(std::int64_t index, int* result);

    Mode GetMode() const { return m_mode; }
    std::uint32_t Count() const { return m_count; }
    // The loaded index (reading) or the entries appended so far (writing).
    const std::vector<IndexEntry>& Index() const { return m_index; }

  private:
    // `path` (may be empty) names the file in the fault a refusal records.
    int OpenReader(std::unique_ptr<PackedReader> reader, const std::string& path);
    bool WriteAt(std::uint64_t offset, const void* bytes, std::size_t size);
    // Forgets the records of an archive that was written or discarded.
    void EndWriting();

    Mode m_mode = kClosed;
    std::unique_ptr<PackedReader> m_reader;  // reading
    std::uint64_t m_base = 0;                // added to record offsets; always 0
    // Reading: the loaded index. Writing: the pending entries.
    std::vector<IndexEntry> m_index;
    platform::OutputFile m_out;    // writing
    std::uint64_t m_writePos = 0;  // writing: where the next record goes
    std::uint32_t m_count = 0;
};

}  // namespace tamboro::base
