#include "base/PackedReader.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "base/ByteOrder.h"
#include "platform/DebugLog.h"

namespace tamboro::base {

namespace {

std::atomic<ReaderError> g_lastError{ReaderError::Ok};

// Fails the operation: sets the last error and returns `result`.
template <typename T>
T Fail(ReaderError error, T result) {
    SetPackedLastError(error);
    return result;
}

}  // namespace

ReaderError PackedLastError() {
    return g_lastError.load(std::memory_order_relaxed);
}

void SetPackedLastError(ReaderError error) {
    g_lastError.store(error, std::memory_order_relaxed);
}

PackedReader::~PackedReader() = default;

std::unique_ptr<PackedReader> PackedReader::OpenPacked(const std::string& path) {
    platform::UniqueFd fd = platform::OpenFile(path, true);
    if (!fd.Valid()) {
        platform::DebugLog("packed reader: cannot open %s: %s", path.c_str(), std::strerror(errno));
        return Fail(ReaderError::OpenFailed, nullptr);
    }
    const long long size = platform::FdSize(fd.Get());
    if (size < 0) return Fail(ReaderError::OpenFailed, nullptr);
    std::unique_ptr<PackedReader> reader(new (std::nothrow) PackedReader);
    if (!reader) return Fail(ReaderError::OutOfMemory, nullptr);
    reader->m_fd = std::move(fd);
    reader->m_fileSize = static_cast<std::uint64_t>(size);
    return Finish(std::move(reader));
}

std::unique_ptr<PackedReader> PackedReader::OpenMemory(const void* data, std::size_t size) {
    if (data == nullptr && size != 0) return Fail(ReaderError::OpenFailed, nullptr);
    std::unique_ptr<PackedReader> reader(new (std::nothrow) PackedReader);
    if (!reader) return Fail(ReaderError::OutOfMemory, nullptr);
    reader->m_memory = static_cast<const std::uint8_t*>(data);
    reader->m_fileSize = size;
    return Finish(std::move(reader));
}

std::unique_ptr<PackedReader> PackedReader::Finish(std::unique_ptr<PackedReader> reader) {
    reader->m_open = true;
    std::uint8_t magic[4] = {};
    const std::int64_t got = reader->ReadAt(0, magic, sizeof magic);
    if (got < 0) return Fail(ReaderError::SeekFailed, nullptr);
    if (got == static_cast<std::int64_t>(sizeof magic) && LoadLe<32>(magic) == kMagic) {
        // The failing step has set the last error.
        if (!reader->OpenPackedContent()) return nullptr;
    } else {
        reader->m_kind = kPlain;
        reader->m_size = reader->m_fileSize;
    }
    SetPackedLastError(ReaderError::Ok);
    return reader;
}

bool PackedReader::RegionsAreDisjoint(std::uint64_t tableOffset, std::uint64_t tableSize) const {
    struct Region {
        std::uint64_t start;
        std::uint64_t end;
    };
    std::vector<Region> regions;
    try {
        regions.reserve(m_table.size() + 2);
    } catch (const std::bad_alloc&) {
        return false;
    }
    regions.push_back({0, kHeaderSize});
    if (tableSize != 0) regions.push_back({tableOffset, tableOffset + tableSize});
    for (const BlockEntry& e : m_table) {
        regions.push_back({e.offset, static_cast<std::uint64_t>(e.offset) + e.size});
    }
    std::sort(regions.begin(), regions.end(),
              [](const Region& a, const Region& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < regions.size(); ++i) {
        if (regions[i].start < regions[i - 1].end) return false;
    }
    return true;
}

bool PackedReader::OpenPackedContent() {
    m_kind = kPacked;
    if (!ReadExactlyAt(0, m_header.data(), kHeaderSize)) {
        return Fail(ReaderError::DataCorrupt, false);
    }
    const std::uint64_t blocks = LoadLe<32>(&m_header[8]);
    const std::uint64_t total = LoadLe<32>(&m_header[16]);
    const std::uint64_t tableOffset = LoadLe<32>(&m_header[24]);
    // All in 64 bits: none of these sums can wrap.
    if (blocks != (total + kBlockSize - 1) / kBlockSize) {
        return Fail(ReaderError::DataCorrupt, false);
    }
    if (tableOffset > m_fileSize || blocks * 8 > m_fileSize - tableOffset) {
        return Fail(ReaderError::DataCorrupt, false);
    }
    // The table is no longer than the file, so this allocation is bounded
    // by what the file really holds.
    std::vector<std::uint8_t> raw;
    try {
        raw.resize(static_cast<std::size_t>(blocks * 8));
        m_table.resize(static_cast<std::size_t>(blocks));
    } catch (const std::bad_alloc&) {
        return Fail(ReaderError::OutOfMemory, false);
    }
    if (!ReadExactlyAt(tableOffset, raw.data(), raw.size())) {
        return Fail(ReaderError::SeekFailed, false);
    }
    for (std::size_t i = 0; i < m_table.size(); ++i) {
        BlockEntry& e = m_table[i];
        e.offset = LoadLe<32>(&raw[i * 8]);
        e.size = LoadLe<32>(&raw[i * 8 + 4]);
        if (e.size == 0 || e.size > kMaxPackedBlock || e.offset > m_fileSize ||
            e.size > m_fileSize - e.offset) {
            return Fail(ReaderError::DataCorrupt, false);
        }
    }
    if (!RegionsAreDisjoint(tableOffset, blocks * 8)) return Fail(ReaderError::DataCorrupt, false);
    m_input.reset(new (std::nothrow) std::uint8_t[kMaxPackedBlock]);
    m_output.reset(new (std::nothrow) std::uint8_t[kBlockSize]);
    if (!m_input || !m_output) return Fail(ReaderError::OutOfMemory, false);
    m_size = total;
    m_pos = 0;
    // An empty content has no block to load.
    return m_table.empty() || LoadBlock(0);
}

std::int64_t PackedReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= m_fileSize || count == 0) return 0;
    if (count > m_fileSize - offset) count = static_cast<std::size_t>(m_fileSize - offset);
    if (m_memory != nullptr || !m_fd.Valid()) {
        std::memcpy(buffer, m_memory + offset, count);
        return static_cast<std::int64_t>(count);
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(m_fd.Get(), out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;  // the file became shorter
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool PackedReader::ReadExactlyAt(std::uint64_t offset, void* buffer, std::size_t count) {
    return ReadAt(offset, buffer, count) == static_cast<std::int64_t>(count);
}

bool PackedReader::LoadBlock(std::uint32_t block) {
    if (m_blockValid && m_loadedBlock == block) return true;
    m_blockValid = false;
    m_loadedBlock = block;
    const BlockEntry& e = m_table[block];
    if (!ReadExactlyAt(e.offset, m_input.get(), e.size)) {
        return Fail(ReaderError::SeekFailed, false);
    }
    const std::uint64_t start = static_cast<std::uint64_t>(block) * kBlockSize;
    const std::size_t expected =
        m_size - start < kBlockSize ? static_cast<std::size_t>(m_size - start) : kBlockSize;
    uLongf produced = kBlockSize;
    const int z = ::uncompress(m_output.get(), &produced, m_input.get(), e.size);
    switch (z) {
        case Z_OK:
            break;
        case Z_MEM_ERROR:
            return Fail(ReaderError::OutOfMemory, false);
        case Z_BUF_ERROR:
            return Fail(ReaderError::OutputTooSmall, false);
        default:
            return Fail(ReaderError::DataCorrupt, false);
    }
    // A block that unpacks to less (or, being the last, more) than its
    // share of the content would leave stale bytes in the buffer.
    if (produced != expected) return Fail(ReaderError::DataCorrupt, false);
    m_loadedSize = expected;
    m_blockValid = true;
    return true;
}

std::int64_t PackedReader::Seek(std::int64_t offset, int origin) {
    if (!m_open) return Fail(ReaderError::BadReader, std::int64_t{-1});
    const ReaderError rangeError =
        m_kind == kPlain ? ReaderError::SeekFailed : ReaderError::BadReader;
    std::int64_t base = 0;
    switch (origin) {
        case kFromStart:
            base = 0;
            break;
        case kFromCurrent:
            base = static_cast<std::int64_t>(m_pos);
            break;
        case kFromEnd:
            base = static_cast<std::int64_t>(m_size);
            break;
        default:
            return Fail(rangeError, std::int64_t{-1});
    }
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) {
        return Fail(rangeError, std::int64_t{-1});
    }
    if (m_kind == kPacked) {
        if (static_cast<std::uint64_t>(target) > m_size) {
            return Fail(ReaderError::BadReader, std::int64_t{-1});
        }
        const std::uint64_t block = static_cast<std::uint64_t>(target) / kBlockSize;
        // The end of a content that fills its last block exactly lies in no
        // block: nothing to load there.
        if (block < m_table.size() && !LoadBlock(static_cast<std::uint32_t>(block))) return -1;
    }
    m_pos = static_cast<std::uint64_t>(target);
    SetPackedLastError(ReaderError::Ok);
    return target;
}

std::size_t PackedReader::Read(void* buffer, std::size_t count) {
    if (!m_open) return Fail(ReaderError::BadReader, std::size_t{0});
    if (m_pos >= m_size || count == 0) {
        SetPackedLastError(ReaderError::Ok);
        return 0;
    }
    if (count > m_size - m_pos) count = static_cast<std::size_t>(m_size - m_pos);
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (m_kind == kPlain) {
        const std::int64_t got = ReadAt(m_pos, out, count);
        if (got < 0) return Fail(ReaderError::SeekFailed, std::size_t{0});
        m_pos += static_cast<std::uint64_t>(got);
        SetPackedLastError(ReaderError::Ok);
        return static_cast<std::size_t>(got);
    }
    // Copies the rest of the loaded block, then whole blocks, then the head
    // of the last one:
    //
    //   content   |....block k....|...block k+1...|...block k+2...|
    //   request          [=========================|=====]
    //                    ^ m_pos   whole block      ^ remainder
    std::uint64_t pos = m_pos;
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t block = pos / kBlockSize;
        const std::size_t within = static_cast<std::size_t>(pos % kBlockSize);
        if (!LoadBlock(static_cast<std::uint32_t>(block))) return 0;
        std::size_t chunk = m_loadedSize - within;
        if (chunk > count - done) chunk = count - done;
        std::memcpy(out + done, m_output.get() + within, chunk);
        done += chunk;
        pos += chunk;
    }
    m_pos = pos;
    SetPackedLastError(ReaderError::Ok);
    return done;
}

int PackedReader::Close() {
    if (!m_open) return Fail(ReaderError::BadReader, -1);
    m_open = false;
    int result = 0;
    if (m_fd.Valid()) result = ::close(m_fd.Release()) == 0 ? 0 : -1;
    m_memory = nullptr;
    m_table.clear();
    m_table.shrink_to_fit();
    m_input.reset();
    m_output.reset();
    m_blockValid = false;
    m_size = m_pos = m_fileSize = 0;
    SetPackedLastError(ReaderError::Ok);
    return result;
}

}  // namespace tamboro::base
