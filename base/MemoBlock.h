#pragma once
// "MEMO" compressed memory blocks: one contiguous block holding a zlib stream
// behind a 12-byte header. The packed image codecs "PKC1", "PKC2" and "PRLE"
// store their data this way.
//
//   offset  size  content
//   0       4     magic, the bytes "MEMO"
//   4       4     total size of the block, header included (stream size + 12)
//   8       4     size of the unpacked data in bytes
//   12      ...   the zlib stream (whole-buffer compress)
//
// All integers little-endian. Any thread; no shared state.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tamboro::base {

inline constexpr std::size_t kMemoHeaderSize = 12;

// Compresses `data` into a new "MEMO" block. Empty input gives a valid block
// that UnpackMemory reverses. Returns nothing when memory is short, the data
// is larger than the 32-bit size words allow, or zlib fails.
std::optional<std::vector<std::uint8_t>> PackMemory(std::span<const std::uint8_t> data);

// Expands a "MEMO" block. The block comes from outside and is checked before
// use: a wrong magic, a total size larger than `block` or below 12, an
// unpacked size larger than the stream can produce, a damaged stream or a
// stream that does not give exactly the unpacked size all answer nothing.
// Bytes of `block` beyond the total size are ignored.
std::optional<std::vector<std::uint8_t>> UnpackMemory(std::span<const std::uint8_t> block);

// The total size word of a block, or 0 when the block is shorter than its
// header or the magic is wrong.
std::uint32_t PackedMemorySize(std::span<const std::uint8_t> block);

// The unpacked size word of a block, or 0 when the magic is wrong.
std::uint32_t UnpackedMemorySize(std::span<const std::uint8_t> block);

}  // namespace tamboro::base
