#include "base/ByteOrder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace tamboro::base {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes of the low `n` bytes of `v`, least significant first, taken
// one at a time by division so nothing here shares the helper's method.
Bytes LittleBytes(std::uint64_t v, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<std::uint8_t>(v % 256));
        v /= 256;
    }
    return b;
}
Bytes BigBytes(std::uint64_t v, int n) {
    Bytes b = LittleBytes(v, n);
    return Bytes(b.rbegin(), b.rend());
}

TEST(ByteOrder, KnownBytesReadInBothOrders) {
    const Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    EXPECT_EQ(LoadLe<16>(b.data()), 0x0201u);
    EXPECT_EQ(LoadLe<24>(b.data()), 0x030201u);
    EXPECT_EQ(LoadLe<32>(b.data()), 0x04030201u);
    EXPECT_EQ(LoadLe<64>(b.data()), 0x0807060504030201ull);
    EXPECT_EQ(LoadBe<16>(b.data()), 0x0102u);
    EXPECT_EQ(LoadBe<24>(b.data()), 0x010203u);
    EXPECT_EQ(LoadBe<32>(b.data()), 0x01020304u);
    EXPECT_EQ(LoadBe<64>(b.data()), 0x0102030405060708ull);
    // Unaligned and with the top bit set: no sign extension, no alignment trap.
    const Bytes high = {0x00, 0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8};
    EXPECT_EQ(LoadLe<16>(high.data() + 1), 0xFEFFu);
    EXPECT_EQ(LoadLe<24>(high.data() + 1), 0xFDFEFFu);
    EXPECT_EQ(LoadBe<32>(high.data() + 1), 0xFFFEFDFCu);
    EXPECT_EQ(LoadLe<64>(high.data() + 1), 0xF8F9FAFBFCFDFEFFull);
}

TEST(ByteOrder, StoresAndAppendsLayTheBytesOutAndReadBack) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::uint64_t v = rng();
        Bytes le(9, 0xAA), be(9, 0xAA), app;
        StoreLe<16>(le.data() + 1, static_cast<std::uint16_t>(v));
        StoreBe<16>(be.data() + 1, static_cast<std::uint16_t>(v));
        EXPECT_EQ(Bytes(le.begin() + 1, le.begin() + 3), LittleBytes(v, 2));
        EXPECT_EQ(Bytes(be.begin() + 1, be.begin() + 3), BigBytes(v, 2));
        EXPECT_EQ(le[3], 0xAA);  // nothing past the field
        StoreLe<24>(le.data() + 1, static_cast<std::uint32_t>(v));
        StoreBe<24>(be.data() + 1, static_cast<std::uint32_t>(v));
        EXPECT_EQ(Bytes(le.begin() + 1, le.begin() + 4), LittleBytes(v, 3));
        EXPECT_EQ(Bytes(be.begin() + 1, be.begin() + 4), BigBytes(v, 3));
        EXPECT_EQ(LoadLe<24>(le.data() + 1), v & 0xFFFFFF);
        EXPECT_EQ(LoadBe<24>(be.data() + 1), v & 0xFFFFFF);
        StoreLe<32>(le.data() + 1, static_cast<std::uint32_t>(v));
        StoreBe<32>(be.data() + 1, static_cast<std::uint32_t>(v));
        EXPECT_EQ(Bytes(le.begin() + 1, le.begin() + 5), LittleBytes(v, 4));
        EXPECT_EQ(Bytes(be.begin() + 1, be.begin() + 5), BigBytes(v, 4));
        EXPECT_EQ(LoadLe<32>(le.data() + 1), static_cast<std::uint32_t>(v));
        EXPECT_EQ(LoadBe<32>(be.data() + 1), static_cast<std::uint32_t>(v));
        StoreLe<64>(le.data() + 1, v);
        StoreBe<64>(be.data() + 1, v);
        EXPECT_EQ(Bytes(le.begin() + 1, le.end()), LittleBytes(v, 8));
        EXPECT_EQ(Bytes(be.begin() + 1, be.end()), BigBytes(v, 8));
        EXPECT_EQ(LoadLe<64>(le.data() + 1), v);
        EXPECT_EQ(LoadBe<64>(be.data() + 1), v);
        EXPECT_EQ(le[0], 0xAA);  // nothing before it
        EXPECT_EQ(be[0], 0xAA);

        app = {0x11};
        AppendLe<16>(app, static_cast<std::uint16_t>(v));
        AppendLe<24>(app, static_cast<std::uint32_t>(v));
        AppendLe<32>(app, static_cast<std::uint32_t>(v));
        AppendLe<64>(app, v);
        AppendBe<16>(app, static_cast<std::uint16_t>(v));
        AppendBe<24>(app, static_cast<std::uint32_t>(v));
        AppendBe<32>(app, static_cast<std::uint32_t>(v));
        AppendBe<64>(app, v);
        Bytes want = {0x11};
        for (int n : {2, 3, 4, 8}) {
            const Bytes part = LittleBytes(v, n);
            want.insert(want.end(), part.begin(), part.end());
        }
        for (int n : {2, 3, 4, 8}) {
            const Bytes part = BigBytes(v, n);
            want.insert(want.end(), part.begin(), part.end());
        }
        EXPECT_EQ(app, want);
    }
}

TEST(ByteOrder, FieldsThatCrossTheEndAreRefused) {
    const Bytes b = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::span<const std::uint8_t> view(b.data(), b.size());
    struct Case {
        std::size_t at;
        int bits;
        bool fits;
        std::uint64_t le;
    };
    const Case cases[] = {{7, 16, true, 0x0908},     {8, 16, false, 0},
                          {6, 24, true, 0x090807},   {7, 24, false, 0},
                          {5, 32, true, 0x09080706}, {6, 32, false, 0},
                          {9, 32, false, 0},         {1, 64, true, 0x0908070605040302ull},
                          {2, 64, false, 0},         {9, 8, false, 0}};
    for (const Case& c : cases) {
        ByteCursor cursor(view, c.at);
        std::uint64_t got = 0;
        switch (c.bits) {
            case 8:
                got = cursor.Le<8>();
                break;
            case 16:
                got = cursor.Le<16>();
                break;
            case 24:
                got = cursor.Le<24>();
                break;
            case 32:
                got = cursor.Le<32>();
                break;
            default:
                got = cursor.Le<64>();
                break;
        }
        EXPECT_EQ(cursor.Ok(), c.fits) << c.at << " " << c.bits;
        EXPECT_EQ(got, c.le) << c.at << " " << c.bits;
        EXPECT_EQ(Fits(view, c.at, static_cast<std::size_t>(c.bits / 8)), c.fits);
    }
    // Offsets and sizes near the top of the address range do not wrap round.
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    EXPECT_FALSE(Fits(view, huge, 2));
    EXPECT_FALSE(Fits(view, huge - 2, 4));
    EXPECT_FALSE(Fits(view, 1, huge));
    EXPECT_TRUE(Fits(view, 9, 0));
    EXPECT_FALSE(Fits(view, 10, 0));
    ByteCursor far(view, 4);
    EXPECT_FALSE(far.Skip(huge));
    EXPECT_EQ(far.Le<8>(), 0u);
    // An empty view holds nothing.
    ByteCursor empty{std::span<const std::uint8_t>()};
    EXPECT_EQ(empty.Be<16>(), 0u);
    EXPECT_FALSE(empty.Ok());
}

// A record read field by field from every truncation of a byte image: the
// cursor fails exactly when a field is cut, and then yields zeros.
TEST(ByteOrder, CursorReadsARecordAndFailsForGoodOnACutField) {
    Bytes image;
    AppendLe<16>(image, 0xBEEF);
    AppendBe<32>(image, 0x01020304);
    AppendLe<24>(image, 0x0A0B0C);
    image.push_back(0x7F);
    AppendBe<64>(image, 0x1122334455667788ull);
    AppendLe<64>(image, 0x8877665544332211ull);
    const std::size_t ends[] = {2, 6, 9, 10, 18, 26};
    for (std::size_t cut = 0; cut <= image.size(); ++cut) {
        ByteCursor c(std::span<const std::uint8_t>(image.data(), cut));
        const std::uint16_t a = c.Le<16>();
        const std::uint32_t b = c.Be<32>();
        const std::uint32_t d = c.Le<24>();
        const std::uint8_t e = c.Be<8>();
        const std::uint64_t f = c.Be<64>();
        const std::uint64_t g = c.Le<64>();
        const std::uint64_t got[] = {a, b, d, e, f, g};
        const std::uint64_t want[] = {
            0xBEEF, 0x01020304, 0x0A0B0C, 0x7F, 0x1122334455667788ull, 0x8877665544332211ull};
        bool whole = true;
        for (int i = 0; i < 6; ++i) {
            whole = whole && ends[i] <= cut;
            EXPECT_EQ(got[i], whole ? want[i] : 0u) << "cut " << cut << " field " << i;
        }
        EXPECT_EQ(c.Ok(), cut == image.size()) << cut;
        EXPECT_EQ(c.Remaining(), 0u);
    }
    ByteCursor skip(std::span<const std::uint8_t>(image.data(), image.size()), 6);
    EXPECT_EQ(skip.Le<24>(), 0x0A0B0Cu);
    EXPECT_TRUE(skip.Skip(1));
    EXPECT_EQ(skip.Position(), 10u);
    EXPECT_FALSE(skip.Skip(17));  // 16 left
    EXPECT_FALSE(skip.Ok());
    EXPECT_EQ(skip.Le<16>(), 0u);
    ByteCursor past(std::span<const std::uint8_t>(image.data(), 4), 5);
    EXPECT_FALSE(past.Ok());
}

}  // namespace
}  // namespace tamboro::base
