// Fuzzes the "UNFM" archive reader over in-memory files (plain or packed):
// opening, then reading every record within a byte budget.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/PackedReader.h"
#include "base/UnfmArchive.h"

using tamboro::base::ArchiveResult;
using tamboro::base::PackedReader;
using tamboro::base::UnfmArchive;

namespace {

constexpr std::uint64_t kReadBudget = 8u << 20;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

int Code(ArchiveResult r) {
    return static_cast<int>(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UnfmArchive archive;
    const int opened = archive.OpenMemory(data, size);
    if (opened != 0) {
        Check(opened == Code(ArchiveResult::OpenFailed) ||
              opened == Code(ArchiveResult::NotArchive));
        Check(archive.GetMode() == UnfmArchive::kClosed);
        return 0;
    }
    const std::uint32_t count = archive.Count();
    // Plain files: a record's bytes are the file's bytes at its offset.
    const bool plain = size < 4 || std::memcmp(data, "CKP", 4) != 0;
    std::uint64_t budget = kReadBudget;
    std::vector<std::uint8_t> record;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t n = archive.RecordSize(i);
        if (n > budget) break;
        budget -= n;
        const int r = archive.ReadRecord(i, record);
        if (r != 0) {
            Check(r == Code(ArchiveResult::ReadFailed) && record.empty());
            continue;
        }
        Check(record.size() == n);
        if (plain) {
            const auto& e = archive.Index()[i];
            Check(std::uint64_t{e.offset} + e.size <= size);
            Check(n == 0 || std::memcmp(record.data(), data + e.offset, n) == 0);
        }
    }
    Check(archive.RecordSize(count) == 0);
    Check(archive.ReadRecord(count, record) == Code(ArchiveResult::RecordOutOfRange));
    Check(archive.ReadRecord(-1, record) == Code(ArchiveResult::RecordOutOfRange));
    Check(archive.Append("x", 1) == Code(ArchiveResult::NotWriting));
    Check(archive.OpenMemory(data, size) == Code(ArchiveResult::Busy));
    Check(archive.Close() == 0);
    Check(archive.ReadRecord(0, record) == Code(ArchiveResult::NotReading));
    return 0;
}
