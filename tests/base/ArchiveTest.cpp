#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "base/UnfmArchive.h"
#include "tests/support/TestSupport.h"
#include "tools/CkpPack.h"

namespace tamboro::base {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Code(ArchiveResult r) {
    return static_cast<int>(r);
}

Bytes Str(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// Records of assorted sizes, empty ones among them; record r's byte k is a
// function of r and k, so a record read from the wrong place shows.
std::vector<Bytes> Records(std::size_t count, std::size_t maxSize, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Bytes> out(count);
    for (std::size_t r = 0; r < count; ++r) {
        const std::size_t n = (r % 7 == 3) ? 0 : rng() % (maxSize + 1);
        out[r].resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            out[r][k] = static_cast<std::uint8_t>(r * 31 + k * 7 + (k >> 8));
        }
    }
    return out;
}

Bytes WriteArchive(const std::string& path, const std::vector<Bytes>& records) {
    UnfmArchive a;
    EXPECT_EQ(a.Create(path), 0);
    for (const Bytes& r : records)
        EXPECT_EQ(a.Append(r.data(), r.size()), 0);
    EXPECT_EQ(a.Close(), 0);
    return test::ReadAll(path);
}

void ExpectRecords(UnfmArchive& a, const std::vector<Bytes>& records) {
    ASSERT_EQ(a.Count(), records.size());
    // Out of order: every read seeks.
    std::vector<std::size_t> order(records.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = (i * 37) % order.size();
    Bytes got;
    for (const std::size_t i : order) {
        EXPECT_EQ(a.RecordSize(static_cast<std::int64_t>(i)), records[i].size());
        ASSERT_EQ(a.ReadRecord(static_cast<std::int64_t>(i), got), 0) << "record " << i;
        ASSERT_EQ(got, records[i]) << "record " << i;
    }
}

TEST(UnfmArchive, ResultValuesAreTheProgramsValues) {
    // The song file layer maps these numbers.
    EXPECT_EQ(Code(ArchiveResult::NotArchive), 6);
    EXPECT_EQ(Code(ArchiveResult::RecordOutOfRange), 7);
    EXPECT_EQ(Code(ArchiveResult::NotReading), 8);
    EXPECT_EQ(Code(ArchiveResult::Count_), 10);
}

TEST(UnfmArchive, TwoRecordsGiveTheExactBytes) {
    test::TempDir dir;
    const Bytes file = WriteArchive(dir.File("a.tbo"), {Str("abc"), Str("defgh")});
    const Bytes expected = {
        'U', 'N', 'F', 'M', 24,  0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,  // header
        'a', 'b', 'c',                                             // record 0 at 16
        'd', 'e', 'f', 'g', 'h',                                   // record 1 at 19
        16,  0,   0,   0,   3,   0, 0, 0,                          // index at 24
        19,  0,   0,   0,   5,   0, 0, 0,
    };
    EXPECT_EQ(file, expected);
    EXPECT_EQ(file.size(), 40u);
}

TEST(UnfmArchive, NoRecordsLeavesHeaderAlone) {
    test::TempDir dir;
    const Bytes file = WriteArchive(dir.File("a.tbo"), {});
    EXPECT_EQ(file, (Bytes{'U', 'N', 'F', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    UnfmArchive a;
    ASSERT_EQ(a.Open(dir.File("a.tbo")), 0);
    EXPECT_EQ(a.Count(), 0u);
    EXPECT_EQ(a.RecordSize(0), 0u);
    Bytes got;
    EXPECT_EQ(a.ReadRecord(0, got), Code(ArchiveResult::RecordOutOfRange));
}

TEST(UnfmArchive, LayoutOfManyRecords) {
    test::TempDir dir;
    const auto records = Records(50, 3000, 7);
    const Bytes file = WriteArchive(dir.File("a.tbo"), records);
    // Records back to back from offset 16 in append order, then the index.
    std::uint32_t at = 16;
    for (const Bytes& r : records) {
        ASSERT_LE(at + r.size(), file.size());
        EXPECT_TRUE(std::equal(r.begin(), r.end(), file.begin() + at));
        at += static_cast<std::uint32_t>(r.size());
    }
    EXPECT_EQ(base::LoadLe<32>(file.data() + 4), at);
    EXPECT_EQ(base::LoadLe<32>(file.data() + 8), records.size());
    EXPECT_EQ(base::LoadLe<32>(file.data() + 12), 0u);
    ASSERT_EQ(file.size(), at + records.size() * 8);
    std::uint32_t offset = 16;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(base::LoadLe<32>(file.data() + at + i * 8), offset);
        EXPECT_EQ(base::LoadLe<32>(file.data() + at + i * 8 + 4), records[i].size());
        offset += static_cast<std::uint32_t>(records[i].size());
    }
}

TEST(UnfmArchive, RoundTripOfManyRecordsWithEmptyOnes) {
    test::TempDir dir;
    const auto records = Records(400, 9000, 11);
    WriteArchive(dir.File("a.tbo"), records);
    UnfmArchive a;
    ASSERT_EQ(a.Open(dir.File("a.tbo")), 0);
    EXPECT_EQ(a.GetMode(), UnfmArchive::kReading);
    ExpectRecords(a, records);
}

TEST(UnfmArchive, PackedArchiveReadsLikeThePlainOne) {
    test::TempDir dir;
    const auto records = Records(120, 6000, 13);
    const Bytes plain = WriteArchive(dir.File("a.tbo"), records);
    ASSERT_GT(plain.size(), 8 * PackedReader::kBlockSize);
    for (const bool tableAtEnd : {false, true}) {
        tools::CkpOptions options;
        options.tableAtEnd = tableAtEnd;
        ASSERT_TRUE(test::WriteAll(dir.File("p.tbo"), tools::PackCkp(plain, options)));
        UnfmArchive a;
        ASSERT_EQ(a.Open(dir.File("p.tbo")), 0);
        ExpectRecords(a, records);
    }
}

TEST(UnfmArchive, OpenMemoryReadsLikeTheFile) {
    test::TempDir dir;
    const auto records = Records(30, 500, 17);
    const Bytes plain = WriteArchive(dir.File("a.tbo"), records);
    UnfmArchive a;
    ASSERT_EQ(a.OpenMemory(plain.data(), plain.size()), 0);
    ExpectRecords(a, records);
}

TEST(UnfmArchive, ReadRecordIntoRawBufferAndStorage) {
    test::TempDir dir;
    WriteArchive(dir.File("a.tbo"), {Str("first"), Bytes{}, Str("third record")});
    UnfmArchive a;
    ASSERT_EQ(a.Open(dir.File("a.tbo")), 0);
    char raw[32] = {};
    ASSERT_EQ(a.ReadRecord(2, raw), 0);
    EXPECT_STREQ(raw, "third record");
    int result = -1;
    auto block = a.ReadRecordStorage(0, &result);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(block->Size(), 5u);
    EXPECT_EQ(0, std::memcmp(block->Data(), "first", 5));
    auto empty = a.ReadRecordStorage(1, &result);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(empty->Size(), 0u);
    EXPECT_EQ(a.ReadRecordStorage(3, &result), nullptr);
    EXPECT_EQ(result, Code(ArchiveResult::RecordOutOfRange));
}

TEST(UnfmArchive, ModeRules) {
    test::TempDir dir;
    UnfmArchive a;
    Bytes got;
    EXPECT_EQ(a.Append("x", 1), Code(ArchiveResult::NotWriting));
    EXPECT_EQ(a.ReadRecord(0, got), Code(ArchiveResult::NotReading));
    EXPECT_EQ(a.RecordSize(0), 0u);
    EXPECT_EQ(a.Close(), 0);  // closing a closed archive is harmless
    ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
    EXPECT_EQ(a.Create(dir.File("b.tbo")), Code(ArchiveResult::Busy));
    EXPECT_EQ(a.Open(dir.File("a.tbo")), Code(ArchiveResult::Busy));
    EXPECT_EQ(a.ReadRecord(0, got), Code(ArchiveResult::NotReading));
    EXPECT_EQ(a.RecordSize(0), 0u);
    ASSERT_EQ(a.Append("xyz", 3), 0);
    ASSERT_EQ(a.Close(), 0);
    ASSERT_EQ(a.Open(dir.File("a.tbo")), 0);
    EXPECT_EQ(a.Open(dir.File("a.tbo")), Code(ArchiveResult::Busy));
    EXPECT_EQ(a.Create(dir.File("b.tbo")), Code(ArchiveResult::Busy));
    EXPECT_EQ(a.Append("x", 1), Code(ArchiveResult::NotWriting));
    EXPECT_EQ(a.ReadRecord(1, got), Code(ArchiveResult::RecordOutOfRange));
    EXPECT_EQ(a.ReadRecord(-1, got), Code(ArchiveResult::RecordOutOfRange));
    EXPECT_EQ(a.RecordSize(1), 0u);
    EXPECT_EQ(a.RecordSize(-1), 0u);
    ASSERT_EQ(a.ReadRecord(0, got), 0);
    EXPECT_EQ(got, Str("xyz"));
    EXPECT_EQ(a.Close(), 0);
    EXPECT_EQ(a.GetMode(), UnfmArchive::kClosed);
    EXPECT_FALSE(test::FileExists(dir.File("b.tbo")));
}

TEST(UnfmArchive, AWriterThatNeverClosesLeavesTheOldFile) {
    test::TempDir dir;
    const Bytes old = WriteArchive(dir.File("a.tbo"), {Str("old")});
    {
        UnfmArchive a;
        ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
        ASSERT_EQ(a.Append("hello", 5), 0);
        // What a crash before Close leaves on disk: the old file, and no
        // other name in the folder.
        EXPECT_EQ(test::ReadAll(dir.File("a.tbo")), old);
        EXPECT_EQ(dir.List(), std::vector<std::string>{"a.tbo"});
    }
    EXPECT_EQ(test::ReadAll(dir.File("a.tbo")), old);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.tbo"});
    // Discard drops a new file without a trace.
    UnfmArchive b;
    ASSERT_EQ(b.Create(dir.File("new.tbo")), 0);
    ASSERT_EQ(b.Append("x", 1), 0);
    b.Discard();
    EXPECT_EQ(b.GetMode(), UnfmArchive::kClosed);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"a.tbo"});
}

TEST(UnfmArchive, CreateReplacesAnExistingFile) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteAll(dir.File("a.tbo"), Bytes(5000, 0xAB)));
    const Bytes file = WriteArchive(dir.File("a.tbo"), {Str("abc")});
    EXPECT_EQ(file.size(), 16u + 3 + 8);
}

TEST(UnfmArchive, OpenAndCreateFailures) {
    test::TempDir dir;
    UnfmArchive a;
    EXPECT_EQ(a.Create(dir.File("no/such/folder/a.tbo")), Code(ArchiveResult::CreateFailed));
    EXPECT_EQ(a.Open(dir.File("missing.tbo")), Code(ArchiveResult::OpenFailed));
    EXPECT_EQ(a.Open(dir.Path()), Code(ArchiveResult::OpenFailed));  // a folder
    ASSERT_TRUE(test::WriteAll(dir.File("x.wav"), Str("RIFF....WAVEfmt ")));
    EXPECT_EQ(a.Open(dir.File("x.wav")), Code(ArchiveResult::NotArchive));
    EXPECT_EQ(a.GetMode(), UnfmArchive::kClosed);
    // A damaged packed file is refused by the reader.
    Bytes packed = tools::PackCkp(WriteArchive(dir.File("a.tbo"), {Str("abc")}));
    base::StoreLe<32>(packed.data() + 8, 7);
    ASSERT_TRUE(test::WriteAll(dir.File("p.tbo"), packed));
    EXPECT_EQ(a.Open(dir.File("p.tbo")), Code(ArchiveResult::OpenFailed));
}

TEST(UnfmArchive, CreateOnAFullDeviceFails) {
    if (!test::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    UnfmArchive a;
    // A device is never replaced, and an archive cannot be streamed.
    EXPECT_EQ(a.Create("/dev/full"), Code(ArchiveResult::CreateFailed));
    EXPECT_EQ(a.GetMode(), UnfmArchive::kClosed);
}

TEST(UnfmArchive, RecordThatWouldEndBeyondFourGigabytesIsRefused) {
    test::TempDir dir;
    UnfmArchive a;
    ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
    // Refused before a byte is read from the (small) buffer.
    const char small[4] = {};
    EXPECT_EQ(a.Append(small, std::size_t{0xFFFFFFFF}), Code(ArchiveResult::WriteFailed));
    EXPECT_EQ(a.Append(nullptr, 3), Code(ArchiveResult::WriteFailed));
    EXPECT_EQ(a.Count(), 0u);
    ASSERT_EQ(a.Append("abc", 3), 0);
    ASSERT_EQ(a.Close(), 0);
    EXPECT_EQ(test::ReadAll(dir.File("a.tbo")).size(), 16u + 3 + 8);
}

// Lowers the file size limit for the duration of a test (writes beyond it
// fail with EFBIG instead of raising SIGXFSZ).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lower = m_old;
        lower.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool Ok() const { return m_ok; }

  private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

TEST(UnfmArchive, FailedAppendAddsNothingAndNextRecordTakesItsPlace) {
    test::TempDir dir;
    {
        FileSizeLimit limit(100);
        ASSERT_TRUE(limit.Ok());
        UnfmArchive a;
        ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
        ASSERT_EQ(a.Append(Bytes(40, 'a').data(), 40), 0);
        EXPECT_EQ(a.Append(Bytes(60, 'b').data(), 60), Code(ArchiveResult::WriteFailed));
        EXPECT_EQ(a.Count(), 1u);
        ASSERT_EQ(a.Append(Bytes(10, 'c').data(), 10), 0);
        ASSERT_EQ(a.Close(), 0);  // index of 16 bytes ends at 82
    }
    const Bytes file = test::ReadAll(dir.File("a.tbo"));
    ASSERT_EQ(file.size(), 82u);  // no trace of the failed record
    UnfmArchive b;
    ASSERT_EQ(b.Open(dir.File("a.tbo")), 0);
    ExpectRecords(b, {Bytes(40, 'a'), Bytes(10, 'c')});
}

TEST(UnfmArchive, CloseReportsAnIndexThatCouldNotBeWritten) {
    test::TempDir dir;
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.Ok());
    UnfmArchive a;
    ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
    ASSERT_EQ(a.Append(Bytes(80, 'a').data(), 80), 0);  // ends at 96
    EXPECT_EQ(a.Close(), Code(ArchiveResult::WriteFailed));
    EXPECT_EQ(a.GetMode(), UnfmArchive::kClosed);
    // Nothing replaced, nothing left.
    EXPECT_TRUE(dir.List().empty());
}

TEST(UnfmArchive, CloseWithFlushToDisk) {
    test::TempDir dir;
    UnfmArchive a;
    ASSERT_EQ(a.Create(dir.File("a.tbo")), 0);
    ASSERT_EQ(a.Append("abc", 3), 0);
    EXPECT_EQ(a.Close(true), 0);
    EXPECT_EQ(test::ReadAll(dir.File("a.tbo")).size(), 27u);
}

// A valid two-record file, for the damage cases below.
Bytes Valid() {
    Bytes f = {'U', 'N', 'F', 'M', 24, 0, 0, 0, 2, 0, 0, 0, 0,  0, 0, 0, 'a', 'b', 'c', 'd',
               'e', 'f', 'g', 'h', 16, 0, 0, 0, 3, 0, 0, 0, 19, 0, 0, 0, 5,   0,   0,   0};
    return f;
}

struct DamageCase {
    const char* name;
    std::size_t at;  // where the 32-bit value goes
    std::uint32_t value;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ArchiveDamage, IsRefusedWhenOpened) {
    Bytes f = Valid();
    base::StoreLe<32>(f.data() + GetParam().at, GetParam().value);
    UnfmArchive a;
    EXPECT_EQ(a.OpenMemory(f.data(), f.size()), Code(ArchiveResult::NotArchive));
    EXPECT_EQ(a.GetMode(), UnfmArchive::kClosed);
    // The object stays usable.
    const Bytes good = Valid();
    EXPECT_EQ(a.OpenMemory(good.data(), good.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ArchiveDamage,
    ::testing::Values(
        DamageCase{"WrongMagic", 0, 0x4D464E55 + 1}, DamageCase{"IndexPastTheEnd", 4, 40},
        DamageCase{"IndexHalfPastTheEnd", 4, 32}, DamageCase{"IndexInsideTheHeader", 4, 8},
        DamageCase{"IndexNearFourGigabytes", 4, 0xFFFFFFFC}, DamageCase{"CountOneTooMany", 8, 3},
        // 0x20000000 entries are 2^32 bytes: zero in 32-bit sums.
        DamageCase{"CountWhoseIndexSizeWraps", 8, 0x20000000},
        DamageCase{"CountHuge", 8, 0xFFFFFFFF}, DamageCase{"RecordPastTheEnd", 24, 38},
        DamageCase{"RecordInsideTheHeader", 24, 4}, DamageCase{"RecordSizePastTheEnd", 36, 22},
        DamageCase{"RecordOffsetPlusSizeWraps", 32, 0xFFFFFFF0},
        DamageCase{"RecordSizeHuge", 36, 0xFFFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnfmArchive, HeaderShorterThanSixteenBytesIsRefused) {
    const Bytes f = {'U', 'N', 'F', 'M', 0, 0, 0, 0, 0, 0};
    UnfmArchive a;
    EXPECT_EQ(a.OpenMemory(f.data(), f.size()), Code(ArchiveResult::NotArchive));
}

TEST(UnfmArchive, TruncationSweepRefusesEveryCut) {
    test::TempDir dir;
    // Each cut is an exact copy, so that a read past it shows under ASan.
    const Bytes plain = WriteArchive(dir.File("a.tbo"), Records(12, 2000, 19));
    for (std::size_t cut = 0; cut < plain.size(); ++cut) {
        const Bytes part(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(cut));
        UnfmArchive a;
        ASSERT_EQ(a.OpenMemory(part.data(), part.size()), Code(ArchiveResult::NotArchive))
            << "cut at " << cut;
    }
    const Bytes packed = tools::PackCkp(WriteArchive(dir.File("b.tbo"), Records(12, 20000, 19)));
    ASSERT_LT(packed.size(), 40000u);
    for (std::size_t cut = 0; cut < packed.size(); ++cut) {
        const Bytes part(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
        UnfmArchive a;
        const int r = a.OpenMemory(part.data(), part.size());
        ASSERT_TRUE(r == Code(ArchiveResult::OpenFailed) || r == Code(ArchiveResult::NotArchive))
            << "cut at " << cut << " gave " << r;
    }
    // And through real files, at a few places.
    for (const std::size_t cut : {std::size_t{0}, std::size_t{15}, std::size_t{16},
                                  plain.size() / 2, plain.size() - 8, plain.size() - 1}) {
        ASSERT_TRUE(test::WriteAll(dir.File("cut.tbo"), Bytes(plain.begin(), plain.begin() + cut)));
        UnfmArchive a;
        EXPECT_EQ(a.Open(dir.File("cut.tbo")), Code(ArchiveResult::NotArchive)) << cut;
    }
}

TEST(UnfmArchive, ShortReadOfADamagedPackedBlockIsDetected) {
    // Records fill blocks 0..3; the header and the index sit in blocks 0
    // and 3, so the archive opens, and a record in block 1 cannot be read.
    test::TempDir dir;
    std::vector<Bytes> records = Records(7, 1, 23);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].assign(15000, static_cast<std::uint8_t>(i * 40 + 1));
        records[i][i] = 0;
    }
    const Bytes plain = WriteArchive(dir.File("a.tbo"), records);
    ASSERT_GT(plain.size(), 3 * PackedReader::kBlockSize);
    ASSERT_LT(plain.size(), 4 * PackedReader::kBlockSize);
    Bytes packed = tools::PackCkp(plain);
    const std::uint32_t table = base::LoadLe<32>(packed.data() + 24);
    const std::uint32_t offset = base::LoadLe<32>(packed.data() + table + 8);
    const std::uint32_t size = base::LoadLe<32>(packed.data() + table + 12);
    packed[offset + size / 2] ^= 0xFF;
    UnfmArchive a;
    ASSERT_EQ(a.OpenMemory(packed.data(), packed.size()), 0);
    Bytes got;
    int failed = 0;
    for (std::uint32_t i = 0; i < a.Count(); ++i) {
        const UnfmArchive::IndexEntry e = a.Index()[i];
        const bool touchesBlock1 = e.size > 0 && e.offset < 2 * PackedReader::kBlockSize &&
                                   e.offset + e.size > PackedReader::kBlockSize;
        const int r = a.ReadRecord(i, got);
        if (touchesBlock1) {
            EXPECT_EQ(r, Code(ArchiveResult::ReadFailed)) << "record " << i;
            EXPECT_TRUE(got.empty());
            ++failed;
        } else {
            EXPECT_EQ(r, 0) << "record " << i;
            EXPECT_EQ(got, records[i]);
        }
    }
    EXPECT_GT(failed, 0);
}

TEST(UnfmArchive, ShortReadOfAFileCutWhileOpenIsDetected) {
    test::TempDir dir;
    const auto records = Records(6, 4000, 29);
    const Bytes plain = WriteArchive(dir.File("a.tbo"), records);
    UnfmArchive a;
    ASSERT_EQ(a.Open(dir.File("a.tbo")), 0);
    ASSERT_EQ(::truncate(dir.File("a.tbo").c_str(), 100), 0);
    Bytes got;
    EXPECT_EQ(a.ReadRecord(5, got), Code(ArchiveResult::ReadFailed));
    Bytes raw(a.RecordSize(4) + 1);
    EXPECT_EQ(a.ReadRecord(4, raw.data()), Code(ArchiveResult::ReadFailed));
}

}  // namespace
}  // namespace tamboro::base
