#include "base/UnfmArchive.h"

#include "base/ByteOrder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/FileFault.h"

namespace tamboro::base {

namespace {

constexpr std::uint8_t kMagic[4] = {'U', 'N', 'F', 'M'};
constexpr std::uint64_t kMaxOffset = std::numeric_limits<std::uint32_t>::max();

int Code(ArchiveResult r) {
    return static_cast<int>(r);
}

}  // namespace

UnfmArchive::~UnfmArchive() {
    // An archive still being written is abandoned: the file it would have
    // replaced stays as it was.
    if (m_mode == kWriting) Discard();
    Close();
}

bool UnfmArchive::WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    return m_out.WriteAt(offset, bytes, size) == 0;
}

int UnfmArchive::Create(const std::string& path) {
    if (m_mode != kClosed) return Code(ArchiveResult::Busy);
    // A song is written with its index last and its header patched at the
    // end: it cannot go to a pipe or a device.
    if (m_out.Open(path, false) != 0) return Code(ArchiveResult::CreateFailed);
    ::posix_fadvise(m_out.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint8_t header[kHeaderSize] = {'U', 'N', 'F', 'M'};
    if (!WriteAt(0, header, sizeof header)) {
        // The file was made; writing to it failed (a full disk).
        m_out.Abandon();
        return Code(ArchiveResult::WriteFailed);
    }
    m_index.clear();
    m_count = 0;
    m_writePos = kHeaderSize;
    m_mode = kWriting;
    return Code(ArchiveResult::Ok);
}

void UnfmArchive::Discard() {
    if (m_mode != kWriting) return;
    m_out.Abandon();
    EndWriting();
}

void UnfmArchive::EndWriting() {
    m_index.clear();
    m_index.shrink_to_fit();
    m_count = 0;
    m_writePos = 0;
    m_mode = kClosed;
}

int UnfmArchive::Append(const void* bytes, std::size_t size) {
    if (m_mode != kWriting) return Code(ArchiveResult::NotWriting);
    if (bytes == nullptr && size != 0) return Code(ArchiveResult::WriteFailed);
    // The record's offset and size, and the index offset after it, must fit
    // the 32-bit fields of the file.
    if (size > kMaxOffset - m_writePos) return Code(ArchiveResult::WriteFailed);
    try {
        m_index.reserve(m_index.size() + 1);
    } catch (const std::bad_alloc&) {
        return Code(ArchiveResult::WriteFailed);
    }
    // Written at the position we keep ourselves, so that the bytes of a
    // failed append are overwritten by the next record (or cut by Close).
    if (!WriteAt(m_writePos, bytes, size)) return Code(ArchiveResult::WriteFailed);
    m_index.push_back({static_cast<std::uint32_t>(m_writePos), static_cast<std::uint32_t>(size)});
    m_writePos += size;
    ++m_count;
    return Code(ArchiveResult::Ok);
}

int UnfmArchive::Close(bool flushToDisk) {
    if (m_mode == kReading) {
        if (m_reader) m_reader->Close();
        m_reader.reset();
        m_index.clear();
        m_count = 0;
        m_mode = kClosed;
        return Code(ArchiveResult::Ok);
    }
    if (m_mode != kWriting) return Code(ArchiveResult::Ok);
    bool ok = true;
    const std::uint64_t indexOffset = m_writePos;
    std::uint64_t end = indexOffset;
    if (m_count > 0) {
        std::vector<std::uint8_t> index;
        try {
            index.resize(m_index.size() * kEntrySize);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        if (ok) {
            for (std::size_t i = 0; i < m_index.size(); ++i) {
                StoreLe<32>(&index[i * kEntrySize], m_index[i].offset);
                StoreLe<32>(&index[i * kEntrySize + 4], m_index[i].size);
            }
            std::uint8_t header[kHeaderSize] = {'U', 'N', 'F', 'M'};
            StoreLe<32>(&header[4], static_cast<std::uint32_t>(indexOffset));
            StoreLe<32>(&header[8], m_count);
            // The index first: a header that names an index must never be
            // on disk before the index itself.
            ok = WriteAt(indexOffset, index.data(), index.size()) &&
                 WriteAt(0, header, sizeof header);
            end += index.size();
        }
    }
    // Cuts off what a failed append may have left after the last record,
    // then the file takes the place of the old one (synced first, always:
    // `flushToDisk` is kept for callers that ask for it).
    (void)flushToDisk;
    if (ok && m_out.Truncate(end) != 0) ok = false;
    if (ok) {
        ok = m_out.Commit() == 0;
    } else {
        m_out.Abandon();
    }
    EndWriting();
    return Code(ok ? ArchiveResult::Ok : ArchiveResult::WriteFailed);
}

int UnfmArchive::Open(const std::string& path) {
    if (m_mode != kClosed) return Code(ArchiveResult::Busy);
    std::unique_ptr<PackedReader> reader = PackedReader::OpenPacked(path);
    if (!reader) return Code(ArchiveResult::OpenFailed);
    return OpenReader(std::move(reader), path);
}

int UnfmArchive::OpenMemory(const void* data, std::size_t size) {
    if (m_mode != kClosed) return Code(ArchiveResult::Busy);
    std::unique_ptr<PackedReader> reader = PackedReader::OpenMemory(data, size);
    if (!reader) return Code(ArchiveResult::OpenFailed);
    return OpenReader(std::move(reader), {});
}

int UnfmArchive::OpenReader(std::unique_ptr<PackedReader> reader, const std::string& path) {
    // A refused file says why, for the user's message.
    const auto refuse = [&](const char* reason) {
        reader->Close();
        if (!path.empty()) platform::NoteFileFault(path, reason);
        return Code(ArchiveResult::NotArchive);
    };
    std::uint8_t header[kHeaderSize];
    if (reader->Seek(0, PackedReader::kFromStart) != 0 ||
        reader->Read(header, sizeof header) != sizeof header ||
        std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        return refuse("no \"UNFM\" archive header: not a song file");
    }
    const std::uint64_t indexOffset = LoadLe<32>(&header[4]);
    const std::uint64_t count = LoadLe<32>(&header[8]);
    const std::uint64_t length = reader->Size();
    std::vector<IndexEntry> index;
    if (count > 0) {
        // Checked in 64 bits against the content's real length before
        // anything is allocated: the index cannot be longer than the file.
        if (indexOffset < kHeaderSize || indexOffset > length ||
            count > (length - indexOffset) / kEntrySize) {
            return refuse("truncated: the record index lies beyond the end of the file");
        }
        std::vector<std::uint8_t> raw;
        try {
            raw.resize(static_cast<std::size_t>(count * kEntrySize));
            index.resize(static_cast<std::size_t>(count));
        } catch (const std::bad_alloc&) {
            reader->Close();
            return Code(ArchiveResult::OpenFailed);
        }
        if (reader->Seek(static_cast<std::int64_t>(indexOffset), PackedReader::kFromStart) !=
                static_cast<std::int64_t>(indexOffset) ||
            reader->Read(raw.data(), raw.size()) != raw.size()) {
            return refuse("the record index cannot be read");
        }
        for (std::size_t i = 0; i < index.size(); ++i) {
            IndexEntry& e = index[i];
            e.offset = LoadLe<32>(&raw[i * kEntrySize]);
            e.size = LoadLe<32>(&raw[i * kEntrySize + 4]);
            if (e.offset < kHeaderSize || e.offset > length || e.size > length - e.offset) {
                return refuse("truncated: a record lies beyond the end of the file");
            }
        }
    }
    m_reader = std::move(reader);
    m_index = std::move(index);
    m_count = static_cast<std::uint32_t>(count);
    m_base = 0;
    m_mode = kReading;
    return Code(ArchiveResult::Ok);
}

std::uint32_t UnfmArchive::RecordSize(std::int64_t index) const {
    if (m_mode != kReading || index < 0 || index >= static_cast<std::int64_t>(m_count)) return 0;
    return m_index[static_cast<std::size_t>(index)].size;
}

int UnfmArchive::ReadRecord(std::int64_t index, void* buffer) {
    if (m_mode != kReading) return Code(ArchiveResult::NotReading);
    if (index < 0 || index >= static_cast<std::int64_t>(m_count)) {
        return Code(ArchiveResult::RecordOutOfRange);
    }
    const IndexEntry& e = m_index[static_cast<std::size_t>(index)];
    if (e.size == 0) return Code(ArchiveResult::Ok);
    const auto offset = static_cast<std::int64_t>(m_base + e.offset);
    if (m_reader->Seek(offset, PackedReader::kFromStart) != offset ||
        m_reader->Read(buffer, e.size) != e.size) {
        return Code(ArchiveResult::ReadFailed);
    }
    return Code(ArchiveResult::Ok);
}

int UnfmArchive::ReadRecord(std::int64_t index, std::vector<std::uint8_t>& out) {
    out.clear();
    if (m_mode != kReading) return Code(ArchiveResult::NotReading);
    if (index < 0 || index >= static_cast<std::int64_t>(m_count)) {
        return Code(ArchiveResult::RecordOutOfRange);
    }
    try {
        out.resize(RecordSize(index));
    } catch (const std::bad_alloc&) {
        return Code(ArchiveResult::ReadFailed);
    }
    const int r = ReadRecord(index, out.data());
    if (r != Code(ArchiveResult::Ok)) out.clear();
    return r;
}

std::unique_ptr<GlobalStorage> UnfmArchive::ReadRecordStorage(std::int64_t index, int* result) {
    int r = Code(ArchiveResult::Ok);
    std::unique_ptr<GlobalStorage> block;
    if (m_mode != kReading) {
        r = Code(ArchiveResult::NotReading);
    } else if (index < 0 || index >= static_cast<std::int64_t>(m_count)) {
        r = Code(ArchiveResult::RecordOutOfRange);
    } else {
        block.reset(new (std::nothrow) GlobalStorage(RecordSize(index), true));
        if (!block || (RecordSize(index) != 0 && !block->HasBlock())) {
            r = Code(ArchiveResult::ReadFailed);
        } else {
            r = ReadRecord(index, block->Data());
        }
        if (r != Code(ArchiveResult::Ok)) block.reset();
    }
    if (result != nullptr) *result = r;
    return block;
}

}  // namespace tamboro::base
