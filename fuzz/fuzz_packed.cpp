// Fuzzes the packed-file reader over in-memory files: opening, a sequential
// read of the content in uneven pieces, and random seeks and reads that must
// give the same bytes as the sequential read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/PackedReader.h"

using tamboro::base::PackedLastError;
using tamboro::base::PackedReader;
using tamboro::base::ReaderError;

namespace {

// Only the first part of a large content is read, to keep runs fast; the
// reader's limits still apply to the whole of it.
constexpr std::uint64_t kReadCap = 256u << 10;

struct Rng {
    std::uint64_t state;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto reader = PackedReader::OpenMemory(data, size);
    if (!reader) {
        Check(PackedLastError() != ReaderError::Ok);
        return 0;
    }
    const std::uint64_t total = reader->Size();
    if (reader->GetKind() == PackedReader::kPlain) Check(total == size);

    std::uint64_t seed = 0x9E3779B97F4A7C15ull ^ size;
    for (std::size_t i = 0; i < size && i < 64; ++i)
        seed = (seed ^ data[i]) * 0x100000001B3ull;
    Rng rng{seed | 1};

    const std::uint64_t limit = total < kReadCap ? total : kReadCap;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(limit));
    std::size_t have = 0;  // bytes of `content` read successfully
    while (have < content.size()) {
        const std::size_t want = 1 + static_cast<std::size_t>(rng.Next() % 70000);
        const std::size_t piece = want < content.size() - have ? want : content.size() - have;
        const std::size_t got = reader->Read(content.data() + have, piece);
        Check(got <= piece);
        if (got == 0) {
            Check(PackedLastError() != ReaderError::Ok);
            break;
        }
        Check(got == piece);
        have += got;
    }
    if (reader->GetKind() == PackedReader::kPlain) {
        Check(have == content.size());
        Check(have == 0 || std::memcmp(content.data(), data, have) == 0);
    }

    std::vector<std::uint8_t> piece;
    for (int k = 0; k < 16; ++k) {
        const std::uint64_t pos = rng.Next() % (limit + 1);
        const std::int64_t at = reader->Seek(static_cast<std::int64_t>(pos), 0);
        if (at < 0) continue;  // a damaged block
        Check(static_cast<std::uint64_t>(at) == pos);
        const std::size_t len = static_cast<std::size_t>(rng.Next() % 40000);
        piece.resize(len);
        const std::size_t got = reader->Read(piece.data(), len);
        Check(got <= len && pos + got <= total);
        if (got > 0 && pos + got <= have) {
            Check(std::memcmp(piece.data(), content.data() + pos, got) == 0);
        }
    }
    if (reader->GetKind() == PackedReader::kPacked) {
        Check(reader->Seek(static_cast<std::int64_t>(total) + 1, 0) == -1);
        Check(PackedLastError() == ReaderError::BadReader);
        Check(reader->Seek(-1, 0) == -1);
    }
    Check(reader->Close() == 0);
    Check(reader->Close() == -1);
    return 0;
}
