#include "base/ByteOrder.h"
#include "base/MemoBlock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace tamboro::base {
namespace {

std::vector<std::uint8_t> Ramp(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return v;
}

TEST(MemoBlock, EmptyBufferGivesAValidBlockThatUnpacksToNothing) {
    auto block = PackMemory({});
    ASSERT_TRUE(block);
    EXPECT_EQ(std::memcmp(block->data(), "MEMO", 4), 0);
    EXPECT_EQ(LoadLe<32>(block->data() + 4), block->size());
    EXPECT_EQ(LoadLe<32>(block->data() + 8), 0u);
    EXPECT_EQ(PackedMemorySize(*block), block->size());
    auto back = UnpackMemory(*block);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->empty());
}

TEST(MemoBlock, RoundTripKeepsEveryByteAndHeaderWordsAreExact) {
    std::mt19937 rng(5);
    for (std::size_t n : {1u, 13u, 4096u, 100000u}) {
        auto data = Ramp(n);
        for (std::size_t i = 0; i < n; i += 3)
            data[i] = static_cast<std::uint8_t>(rng());
        auto block = PackMemory(data);
        ASSERT_TRUE(block);
        EXPECT_EQ(LoadLe<32>(block->data() + 4), block->size());
        EXPECT_EQ(LoadLe<32>(block->data() + 8), n);
        auto back = UnpackMemory(*block);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, data);
    }
}

TEST(MemoBlock, TrailingBytesAfterTheBlockAreIgnored) {
    auto data = Ramp(500);
    auto block = PackMemory(data);
    ASSERT_TRUE(block);
    block->push_back(0xEE);
    block->push_back(0xEE);
    auto back = UnpackMemory(*block);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, data);
}

TEST(MemoBlock, WrongMagicIsRefused) {
    auto block = PackMemory(Ramp(40));
    ASSERT_TRUE(block);
    (*block)[0] = 'N';
    EXPECT_FALSE(UnpackMemory(*block));
    EXPECT_EQ(PackedMemorySize(*block), 0u);
    EXPECT_EQ(PackedMemorySize(std::span<const std::uint8_t>(block->data(), 3)), 0u);
}

TEST(MemoBlock, LyingHeaderWordsAreRefused) {
    const auto data = Ramp(1000);
    const auto good = *PackMemory(data);
    auto patch = [&](std::size_t at, std::uint32_t v) {
        auto b = good;
        b[at] = static_cast<std::uint8_t>(v);
        b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        b[at + 2] = static_cast<std::uint8_t>(v >> 16);
        b[at + 3] = static_cast<std::uint8_t>(v >> 24);
        return b;
    };
    EXPECT_FALSE(UnpackMemory(patch(4, static_cast<std::uint32_t>(good.size() + 1))));  // past end
    EXPECT_FALSE(UnpackMemory(patch(4, 11)));           // below header
    EXPECT_FALSE(UnpackMemory(patch(8, 999)));          // stream gives more
    EXPECT_FALSE(UnpackMemory(patch(8, 1001)));         // stream gives less
    EXPECT_FALSE(UnpackMemory(patch(8, 0xFFFFFFF0u)));  // absurd size, never allocated
}

TEST(MemoBlock, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    const auto good = *PackMemory(Ramp(3000));
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(UnpackMemory(cut)) << n;
    }
}

TEST(MemoBlock, DamagedStreamIsRefused) {
    auto block = *PackMemory(Ramp(3000));
    for (std::size_t i = 12; i < block.size(); i += 5)
        block[i] ^= 0x5A;
    EXPECT_FALSE(UnpackMemory(block));
}

}  // namespace
}  // namespace tamboro::base
