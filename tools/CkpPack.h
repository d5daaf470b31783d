#pragma once
// Writes "CKP" packed files: the content cut into 32 KB blocks, each packed
// with zlib's whole-buffer compress. The program itself only reads such
// files; this writer serves the tests, the fuzz seeds and the benchmarks.
//
//   offset  size    content
//   0       4       'C' 'K' 'P' 0
//   4       4       block size, 32768 (not read by the program)
//   8       4       number of blocks
//   12      4       0 (not read by the program)
//   16      4       total unpacked size
//   20      4       total packed size of the blocks (not read by the program)
//   24      4       file offset of the block table
//   ...             block table (B x 8: offset, size) and the blocks, in the
//                   order the options ask for
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ByteOrder.h"

namespace tamboro::tools {

struct CkpOptions {
    bool tableAtEnd = false;  // the table after the blocks instead of before
    int level = Z_DEFAULT_COMPRESSION;
};

// The packed file of `size` bytes at `data`; empty when zlib fails or the
// result would not fit the 32-bit fields.
inline std::vector<std::uint8_t> PackCkp(const std::uint8_t* data, std::size_t size,
                                         const CkpOptions& options = {}) {
    constexpr std::size_t kBlock = 32768;
    constexpr std::size_t kHeader = 28;
    if (size > 0xFFFFFFFFu) return {};
    const std::size_t blocks = (size + kBlock - 1) / kBlock;
    std::vector<std::vector<std::uint8_t>> packed(blocks);
    std::size_t packedTotal = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t n = size - i * kBlock < kBlock ? size - i * kBlock : kBlock;
        uLongf room = compressBound(static_cast<uLong>(n));
        packed[i].resize(room);
        if (compress2(packed[i].data(), &room, data + i * kBlock, static_cast<uLong>(n),
                      options.level) != Z_OK) {
            return {};
        }
        packed[i].resize(room);
        packedTotal += room;
    }
    const std::size_t tableSize = blocks * 8;
    std::vector<std::uint8_t> out(kHeader + tableSize + packedTotal);
    if (out.size() > 0xFFFFFFFFu) return {};
    const std::size_t tableOffset = options.tableAtEnd ? kHeader + packedTotal : kHeader;
    std::size_t at = options.tableAtEnd ? kHeader : kHeader + tableSize;
    out[0] = 'C';
    out[1] = 'K';
    out[2] = 'P';
    out[3] = 0;
    base::StoreLe<32>(out.data() + 4, kBlock);
    base::StoreLe<32>(out.data() + 8, static_cast<std::uint32_t>(blocks));
    base::StoreLe<32>(out.data() + 12, 0);
    base::StoreLe<32>(out.data() + 16, static_cast<std::uint32_t>(size));
    base::StoreLe<32>(out.data() + 20, static_cast<std::uint32_t>(packedTotal));
    base::StoreLe<32>(out.data() + 24, static_cast<std::uint32_t>(tableOffset));
    for (std::size_t i = 0; i < blocks; ++i) {
        base::StoreLe<32>(out.data() + tableOffset + i * 8, static_cast<std::uint32_t>(at));
        base::StoreLe<32>(out.data() + tableOffset + i * 8 + 4,
                          static_cast<std::uint32_t>(packed[i].size()));
        for (std::uint8_t b : packed[i])
            out[at++] = b;
    }
    return out;
}

inline std::vector<std::uint8_t> PackCkp(const std::vector<std::uint8_t>& content,
                                         const CkpOptions& options = {}) {
    return PackCkp(content.data(), content.size(), options);
}

}  // namespace tamboro::tools
