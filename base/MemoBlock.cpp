#include "base/MemoBlock.h"

#include "base/ByteOrder.h"

#include <zlib.h>

#include <cstring>
#include <limits>
#include <new>

namespace tamboro::base {
namespace {

constexpr std::uint8_t kMagic[4] = {'M', 'E', 'M', 'O'};

// zlib's deflate cannot expand data by more than about 1032:1, so an unpacked
// size above this bound for a given stream length is a lie; refusing it keeps
// a damaged header from asking for gigabytes.
constexpr std::uint64_t kMaxRatio = 1032;

bool HasMagic(std::span<const std::uint8_t> block) {
    return block.size() >= kMemoHeaderSize && std::memcmp(block.data(), kMagic, 4) == 0;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> PackMemory(std::span<const std::uint8_t> data) {
    const uLong bound = compressBound(static_cast<uLong>(data.size()));
    if (data.size() > std::numeric_limits<std::uint32_t>::max() ||
        bound > std::numeric_limits<std::uint32_t>::max() - kMemoHeaderSize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block;
    try {
        block.resize(kMemoHeaderSize + bound);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    uLongf packed = bound;
    // compress() wants a non-null source even for zero bytes.
    static const Bytef kNothing = 0;
    const Bytef* src = data.empty() ? &kNothing : data.data();
    if (compress(block.data() + kMemoHeaderSize, &packed, src, static_cast<uLong>(data.size())) !=
        Z_OK) {
        return std::nullopt;
    }
    block.resize(kMemoHeaderSize + packed);
    block.shrink_to_fit();
    std::memcpy(block.data(), kMagic, 4);
    StoreLe<32>(block.data() + 4, static_cast<std::uint32_t>(block.size()));
    StoreLe<32>(block.data() + 8, static_cast<std::uint32_t>(data.size()));
    return block;
}

std::optional<std::vector<std::uint8_t>> UnpackMemory(std::span<const std::uint8_t> block) {
    if (!HasMagic(block)) return std::nullopt;
    const std::uint32_t total = LoadLe<32>(block.data() + 4);
    const std::uint32_t unpacked = LoadLe<32>(block.data() + 8);
    if (total < kMemoHeaderSize || total > block.size()) return std::nullopt;
    const std::uint64_t streamSize = total - kMemoHeaderSize;
    if (unpacked > streamSize * kMaxRatio + 64) return std::nullopt;
    std::vector<std::uint8_t> out;
    try {
        // One spare byte so that a stream longer than announced is noticed
        // instead of silently cut.
        out.resize(static_cast<std::size_t>(unpacked) + 1);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    uLongf outSize = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &outSize, block.data() + kMemoHeaderSize,
                   static_cast<uLong>(streamSize)) != Z_OK ||
        outSize != unpacked) {
        return std::nullopt;
    }
    out.resize(unpacked);
    return out;
}

std::uint32_t PackedMemorySize(std::span<const std::uint8_t> block) {
    return HasMagic(block) ? LoadLe<32>(block.data() + 4) : 0;
}

std::uint32_t UnpackedMemorySize(std::span<const std::uint8_t> block) {
    return HasMagic(block) ? LoadLe<32>(block.data() + 8) : 0;
}

}  // namespace tamboro::base
