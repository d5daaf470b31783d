#include "base/ByteOrder.h"
#include "base/PackedReader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/CkpPack.h"

namespace tamboro::base {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kBlock = PackedReader::kBlockSize;

// Content that compresses somewhat and shows positions: byte k depends on k
// and on a noise source, so a byte taken from the wrong place shows.
Bytes Content(std::size_t n, std::uint32_t seed = 1) {
    Bytes out(n);
    std::mt19937 rng(seed);
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = static_cast<std::uint8_t>((k * 7 + k / 251) ^ (rng() % 4));
    }
    return out;
}

Bytes Noise(std::size_t n, std::uint32_t seed = 2) {
    Bytes out(n);
    std::mt19937 rng(seed);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    return out;
}

// Block table entry `i` of a packed file: {offset, size}.
std::pair<std::uint32_t, std::uint32_t> Entry(const Bytes& packed, std::size_t i) {
    const std::uint32_t table = base::LoadLe<32>(packed.data() + 24);
    return {base::LoadLe<32>(packed.data() + table + i * 8),
            base::LoadLe<32>(packed.data() + table + i * 8 + 4)};
}

Bytes ReadEverything(PackedReader& r, std::size_t piece) {
    Bytes out;
    Bytes buf(piece);
    for (;;) {
        const std::size_t got = r.Read(buf.data(), buf.size());
        if (got == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
    }
    return out;
}

TEST(PackedReader, LastErrorValuesAreTheProgramsValues) {
    // Callers compare the last error against these numbers.
    EXPECT_EQ(static_cast<std::uint32_t>(ReaderError::Ok), 0x1100u);
    EXPECT_EQ(static_cast<std::uint32_t>(ReaderError::DataCorrupt), 0x1108u);
    SetPackedLastError(ReaderError::SeekFailed);
    EXPECT_EQ(PackedLastError(), ReaderError::SeekFailed);
}

TEST(PackedReader, MissingFileIsOpenFailed) {
    test::TempDir dir;
    EXPECT_EQ(PackedReader::OpenPacked(dir.File("none.ckp")), nullptr);
    EXPECT_EQ(PackedLastError(), ReaderError::OpenFailed);
}

TEST(PackedReader, FileWithoutMagicIsReadPlain) {
    test::TempDir dir;
    const Bytes content = Content(5000);
    ASSERT_TRUE(test::WriteAll(dir.File("plain.bin"), content));
    auto r = PackedReader::OpenPacked(dir.File("plain.bin"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(PackedLastError(), ReaderError::Ok);
    EXPECT_EQ(r->GetKind(), PackedReader::kPlain);
    EXPECT_EQ(r->Size(), 5000u);
    EXPECT_EQ(ReadEverything(*r, 777), content);
    // Like the system's seek: past the end is allowed and reads nothing.
    EXPECT_EQ(r->Seek(10, PackedReader::kFromEnd), 5010);
    Bytes buf(4);
    EXPECT_EQ(r->Read(buf.data(), 4), 0u);
    EXPECT_EQ(r->Seek(-5011, PackedReader::kFromCurrent), -1);
    EXPECT_EQ(PackedLastError(), ReaderError::SeekFailed);
    EXPECT_EQ(r->Seek(-3, PackedReader::kFromEnd), 4997);
    EXPECT_EQ(r->Read(buf.data(), 4), 3u);
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + 4997, 3));
}

TEST(PackedReader, ShortFilesAreReadPlain) {
    for (const Bytes& b : {Bytes{}, Bytes{'C'}, Bytes{'C', 'K', 'P'}, Bytes{'C', 'K', 'P', 1}}) {
        auto r = PackedReader::OpenMemory(b.data(), b.size());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->GetKind(), PackedReader::kPlain);
        EXPECT_EQ(ReadEverything(*r, 2), b);
    }
}

TEST(PackedReader, PackedHeaderIsKeptAsRead) {
    const Bytes content = Content(40000);
    const Bytes packed = tools::PackCkp(content);
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetKind(), PackedReader::kPacked);
    EXPECT_EQ(r->BlockCount(), 2u);
    EXPECT_EQ(r->Size(), 40000u);
    EXPECT_EQ(0, std::memcmp(r->PackedHeader().data(), packed.data(), 28));
}

struct LayoutCase {
    const char* name;
    std::size_t size;
    bool tableAtEnd;
    bool noise;  // incompressible: blocks longer than 32768 bytes
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class PackedLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PackedLayout, ReadsExactlyWhatThePlainFileHolds) {
    const LayoutCase& c = GetParam();
    const Bytes content = c.noise ? Noise(c.size) : Content(c.size);
    tools::CkpOptions options;
    options.tableAtEnd = c.tableAtEnd;
    const Bytes packed = tools::PackCkp(content, options);
    ASSERT_FALSE(packed.empty());
    test::TempDir dir;
    ASSERT_TRUE(test::WriteAll(dir.File("p.ckp"), packed));
    ASSERT_TRUE(test::WriteAll(dir.File("p.bin"), content));
    auto packedReader = PackedReader::OpenPacked(dir.File("p.ckp"));
    auto plainReader = PackedReader::OpenPacked(dir.File("p.bin"));
    ASSERT_NE(packedReader, nullptr);
    ASSERT_NE(plainReader, nullptr);
    EXPECT_EQ(packedReader->GetKind(), PackedReader::kPacked);
    EXPECT_EQ(packedReader->Size(), c.size);

    // Sequentially in pieces that straddle block boundaries.
    EXPECT_EQ(ReadEverything(*packedReader, 10007), content);
    EXPECT_EQ(ReadEverything(*plainReader, 10007), content);

    // Random seeks and reads, all three origins, compared with the plain
    // reader and with the content itself.
    std::mt19937 rng(c.size);
    Bytes a(3 * kBlock), b(3 * kBlock);
    for (int k = 0; k < 300; ++k) {
        const auto pos = static_cast<std::int64_t>(rng() % (c.size + 1));
        const std::size_t len = rng() % (k % 3 == 0 ? 3 * kBlock : 64);
        const int origin = k % 3;
        const std::int64_t offset = origin == PackedReader::kFromStart ? pos
                                    : origin == PackedReader::kFromEnd
                                        ? pos - static_cast<std::int64_t>(c.size)
                                        : pos - static_cast<std::int64_t>(packedReader->Position());
        ASSERT_EQ(packedReader->Seek(offset, origin), pos);
        ASSERT_EQ(plainReader->Seek(pos, PackedReader::kFromStart), pos);
        const std::size_t expect = std::min<std::size_t>(len, c.size - pos);
        ASSERT_EQ(packedReader->Read(a.data(), len), expect) << "at " << pos;
        ASSERT_EQ(plainReader->Read(b.data(), len), expect);
        if (expect > 0) {
            ASSERT_EQ(0, std::memcmp(a.data(), content.data() + pos, expect)) << "at " << pos;
            ASSERT_EQ(0, std::memcmp(b.data(), content.data() + pos, expect));
        }
        EXPECT_EQ(packedReader->Position(), pos + expect);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PackedLayout,
    ::testing::Values(LayoutCase{"Empty", 0, false, false}, LayoutCase{"OneByte", 1, false, false},
                      LayoutCase{"OneBlockLessOne", kBlock - 1, true, false},
                      LayoutCase{"ExactlyOneBlock", kBlock, false, false},
                      LayoutCase{"OneBlockAndOneByte", kBlock + 1, true, false},
                      LayoutCase{"ExactlyTwoBlocks", 2 * kBlock, false, false},
                      LayoutCase{"LastBlockShort", 100000, true, false},
                      LayoutCase{"ManyBlocks", 20 * kBlock + 123, false, false},
                      LayoutCase{"IncompressibleBlocks", 3 * kBlock + 5000, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackedReader, SeekToTheEndSucceedsAndOneFurtherFails) {
    for (const std::size_t size : {std::size_t{100000}, 2 * kBlock, std::size_t{0}}) {
        const Bytes packed = tools::PackCkp(Content(size));
        auto r = PackedReader::OpenMemory(packed.data(), packed.size());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Seek(static_cast<std::int64_t>(size), PackedReader::kFromStart),
                  static_cast<std::int64_t>(size));
        EXPECT_EQ(PackedLastError(), ReaderError::Ok);
        Bytes buf(10);
        EXPECT_EQ(r->Read(buf.data(), buf.size()), 0u);
        EXPECT_EQ(r->Seek(1, PackedReader::kFromCurrent), -1);
        EXPECT_EQ(PackedLastError(), ReaderError::BadReader);
        EXPECT_EQ(r->Seek(-1, PackedReader::kFromStart), -1);
        EXPECT_EQ(PackedLastError(), ReaderError::BadReader);
        EXPECT_EQ(r->Seek(0, 3), -1);
        // A failed seek leaves the position alone.
        EXPECT_EQ(r->Position(), size);
    }
}

TEST(PackedReader, ReadAcrossBlockBoundaryReturnsEveryByteInOrder) {
    const Bytes content = Content(5 * kBlock);
    const Bytes packed = tools::PackCkp(content);
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Seek(kBlock - 3, PackedReader::kFromStart), static_cast<std::int64_t>(kBlock - 3));
    Bytes buf(3 * kBlock + 10);
    ASSERT_EQ(r->Read(buf.data(), buf.size()), buf.size());
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + kBlock - 3, buf.size()));
    // The next read goes on where the last one stopped.
    ASSERT_EQ(r->Read(buf.data(), 5), 5u);
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + 4 * kBlock + 7, 5));
}

TEST(PackedReader, ReadAtTheEndIsCutToTheContent) {
    const Bytes content = Content(100000);
    const Bytes packed = tools::PackCkp(content);
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Seek(-10, PackedReader::kFromEnd), 99990);
    Bytes buf(50, 0xEE);
    ASSERT_EQ(r->Read(buf.data(), buf.size()), 10u);
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + 99990, 10));
    EXPECT_EQ(buf[10], 0xEE);  // nothing written past what was read
    EXPECT_EQ(r->Read(buf.data(), buf.size()), 0u);
    EXPECT_EQ(PackedLastError(), ReaderError::Ok);
}

TEST(PackedReader, SeekWithinTheLoadedBlockDoesNotUnpackAgain) {
    // The file's block 0 is damaged on disk after it was loaded: reads inside
    // block 0 still come from the buffer, and only a reload finds the damage.
    const Bytes content = Content(3 * kBlock);
    Bytes packed = tools::PackCkp(content);
    test::TempDir dir;
    ASSERT_TRUE(test::WriteAll(dir.File("p.ckp"), packed));
    auto r = PackedReader::OpenPacked(dir.File("p.ckp"));
    ASSERT_NE(r, nullptr);
    const auto [offset, size] = Entry(packed, 0);
    for (std::uint32_t i = 2; i < size; ++i)
        packed[offset + i] ^= 0x5A;
    ASSERT_TRUE(test::WriteAll(dir.File("p.ckp"), packed));

    Bytes buf(100);
    ASSERT_EQ(r->Seek(1000, PackedReader::kFromStart), 1000);
    ASSERT_EQ(r->Read(buf.data(), 100), 100u);
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + 1000, 100));
    ASSERT_EQ(r->Seek(kBlock + 5, PackedReader::kFromStart), static_cast<std::int64_t>(kBlock + 5));
    EXPECT_EQ(r->Seek(10, PackedReader::kFromStart), -1);
    EXPECT_EQ(PackedLastError(), ReaderError::DataCorrupt);
    EXPECT_EQ(r->Position(), kBlock + 5);
}

TEST(PackedReader, DamagedLaterBlockFailsTheReadAndKeepsThePosition) {
    const Bytes content = Content(3 * kBlock);
    Bytes packed = tools::PackCkp(content);
    const auto [offset, size] = Entry(packed, 2);
    packed[offset + size / 2] ^= 0xFF;
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);
    Bytes buf(2 * kBlock);
    ASSERT_EQ(r->Seek(kBlock, PackedReader::kFromStart), static_cast<std::int64_t>(kBlock));
    EXPECT_EQ(r->Read(buf.data(), buf.size()), 0u);  // runs into block 2
    EXPECT_EQ(PackedLastError(), ReaderError::DataCorrupt);
    EXPECT_EQ(r->Position(), kBlock);
    // Block 1 alone is fine.
    EXPECT_EQ(r->Read(buf.data(), kBlock), kBlock);
    EXPECT_EQ(0, std::memcmp(buf.data(), content.data() + kBlock, kBlock));
    EXPECT_EQ(r->Seek(2 * kBlock + 1, PackedReader::kFromStart), -1);
}

TEST(PackedReader, CloseTwiceIsBadReaderAndClosedReaderRefusesEverything) {
    const Bytes packed = tools::PackCkp(Content(1000));
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Close(), 0);
    EXPECT_EQ(PackedLastError(), ReaderError::Ok);
    EXPECT_EQ(r->Close(), -1);
    EXPECT_EQ(PackedLastError(), ReaderError::BadReader);
    Bytes buf(10);
    SetPackedLastError(ReaderError::Ok);
    EXPECT_EQ(r->Read(buf.data(), 10), 0u);
    EXPECT_EQ(PackedLastError(), ReaderError::BadReader);
    SetPackedLastError(ReaderError::Ok);
    EXPECT_EQ(r->Seek(0, PackedReader::kFromStart), -1);
    EXPECT_EQ(PackedLastError(), ReaderError::BadReader);
}

// A zlib stream of `n` bytes of `value`.
Bytes Stream(std::size_t n, std::uint8_t value) {
    const Bytes data(n, value);
    uLongf room = compressBound(static_cast<uLong>(n));
    Bytes out(room);
    EXPECT_EQ(compress(out.data(), &room, data.data(), static_cast<uLong>(n)), Z_OK);
    out.resize(room);
    return out;
}

// Replaces block `i`'s stream by `stream`, appended at the end of the file.
Bytes WithBlock(Bytes packed, std::size_t i, const Bytes& stream) {
    const std::uint32_t table = base::LoadLe<32>(packed.data() + 24);
    base::StoreLe<32>(packed.data() + table + i * 8, static_cast<std::uint32_t>(packed.size()));
    base::StoreLe<32>(packed.data() + table + i * 8 + 4, static_cast<std::uint32_t>(stream.size()));
    packed.insert(packed.end(), stream.begin(), stream.end());
    return packed;
}

struct DamageCase {
    const char* name;
    Bytes (*damage)(Bytes packed);  // of a 3-block file of 70000 bytes
    ReaderError error;
};

const DamageCase kDamage[] = {
    {"BlockCountTooSmall",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 8, 2);
         return p;
     },
     ReaderError::DataCorrupt},
    {"BlockCountTooLarge",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 8, 4);
         return p;
     },
     ReaderError::DataCorrupt},
    {"TotalSizeBeyondTheBlocks",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 16, 3 * kBlock + 1);
         return p;
     },
     ReaderError::DataCorrupt},
    {"HugeTotalAndBlockCount",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 8, 0x20000);
         base::StoreLe<32>(p.data() + 16, 0xFFFFFFFF);
         return p;
     },
     ReaderError::DataCorrupt},
    {"TablePastTheEnd",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 24, static_cast<std::uint32_t>(p.size()));
         return p;
     },
     ReaderError::DataCorrupt},
    {"TableHalfPastTheEnd",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 24, static_cast<std::uint32_t>(p.size() - 12));
         return p;
     },
     ReaderError::DataCorrupt},
    {"TableOffsetNearFourGigabytes",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 24, 0xFFFFFFF8);
         return p;
     },
     ReaderError::DataCorrupt},
    {"TableOverlapsHeader",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + 24, 20);
         return p;
     },
     ReaderError::DataCorrupt},
    {"BlockPastTheEnd",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 8,
                           static_cast<std::uint32_t>(p.size()));
         return p;
     },
     ReaderError::DataCorrupt},
    {"BlockOffsetPlusSizeWraps",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 16, 0xFFFFFFF0);
         return p;
     },
     ReaderError::DataCorrupt},
    {"BlockOfZeroBytes",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 12, 0);
         return p;
     },
     ReaderError::DataCorrupt},
    {"BlockLongerThanAnyStreamOfOneBlock",
     [](Bytes p) {
         const Bytes filler(PackedReader::kMaxPackedBlock + 1, 0);
         p.insert(p.end(), filler.begin(), filler.end());
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 4,
                           static_cast<std::uint32_t>(p.size() - filler.size()));
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 8 + 4,
                           static_cast<std::uint32_t>(filler.size()));
         return p;
     },
     ReaderError::DataCorrupt},
    {"TwoBlocksShareOneStream",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 8,
                           base::LoadLe<32>(p.data() + base::LoadLe<32>(p.data() + 24)));
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 12,
                           base::LoadLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 4));
         return p;
     },
     ReaderError::DataCorrupt},
    {"FirstBlockUnpacksShort", [](Bytes p) { return WithBlock(p, 0, Stream(kBlock - 1, 1)); },
     ReaderError::DataCorrupt},
    {"FirstBlockUnpacksTooLong", [](Bytes p) { return WithBlock(p, 0, Stream(kBlock + 1, 1)); },
     ReaderError::OutputTooSmall},
    {"FirstBlockGarbage", [](Bytes p) { return WithBlock(p, 0, Bytes(100, 0x77)); },
     ReaderError::DataCorrupt},
    {"FirstBlockCutShort",
     [](Bytes p) {
         base::StoreLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 4,
                           base::LoadLe<32>(p.data() + base::LoadLe<32>(p.data() + 24) + 4) / 2);
         return p;
     },
     ReaderError::DataCorrupt},
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class PackedDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PackedDamage, IsRefusedWhenOpened) {
    tools::CkpOptions options;
    options.tableAtEnd = true;
    const Bytes packed = GetParam().damage(tools::PackCkp(Content(70000), options));
    SetPackedLastError(ReaderError::Ok);
    EXPECT_EQ(PackedReader::OpenMemory(packed.data(), packed.size()), nullptr);
    EXPECT_EQ(PackedLastError(), GetParam().error);
    test::TempDir dir;
    ASSERT_TRUE(test::WriteAll(dir.File("d.ckp"), packed));
    SetPackedLastError(ReaderError::Ok);
    EXPECT_EQ(PackedReader::OpenPacked(dir.File("d.ckp")), nullptr);
    EXPECT_EQ(PackedLastError(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Headers, PackedDamage, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PackedReader, LastBlockThatUnpacksToMoreThanTheRestIsRefused) {
    // 70000 bytes: the last block holds 4464; a stream of a full block there
    // would leave the reader believing in bytes the content does not have.
    const Bytes packed = WithBlock(tools::PackCkp(Content(70000)), 2, Stream(kBlock, 9));
    auto r = PackedReader::OpenMemory(packed.data(), packed.size());
    ASSERT_NE(r, nullptr);  // only block 0 is unpacked when opening
    EXPECT_EQ(r->Seek(2 * kBlock, PackedReader::kFromStart), -1);
    EXPECT_EQ(PackedLastError(), ReaderError::DataCorrupt);
    Bytes buf(70000);
    EXPECT_EQ(r->Seek(0, PackedReader::kFromStart), 0);
    EXPECT_EQ(r->Read(buf.data(), buf.size()), 0u);
    EXPECT_EQ(PackedLastError(), ReaderError::DataCorrupt);
}

TEST(PackedReader, TruncationSweepRefusesEveryCut) {
    for (const bool tableAtEnd : {false, true}) {
        tools::CkpOptions options;
        options.tableAtEnd = tableAtEnd;
        Bytes content(70000);
        for (std::size_t k = 0; k < content.size(); ++k) {
            content[k] = static_cast<std::uint8_t>(k / 300 + (k % 97 == 0));
        }
        const Bytes packed = tools::PackCkp(content, options);
        ASSERT_LT(packed.size(), 4000u);  // keeps the sweep quick
        for (std::size_t cut = 0; cut < packed.size(); ++cut) {
            // An exact copy, so that a read past the cut shows under ASan.
            const Bytes part(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
            auto r = PackedReader::OpenMemory(part.data(), part.size());
            if (cut < 4) {
                // Too short for the magic: a plain file of what is there.
                ASSERT_NE(r, nullptr);
                EXPECT_EQ(r->GetKind(), PackedReader::kPlain);
                continue;
            }
            ASSERT_EQ(r, nullptr) << "cut at " << cut;
            EXPECT_NE(PackedLastError(), ReaderError::Ok);
        }
    }
}

}  // namespace
}  // namespace tamboro::base
