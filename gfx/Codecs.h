#pragma once
// The packed-image codecs. Each takes a packed bitmap (info header first, no
// file header) and returns a new packed bitmap, or nothing when the input
// does not qualify (wrong bit count or compression) or is damaged. Decoders
// read outside data: every table entry, offset and run length is checked
// against the data's end and the picture's size before it is used.
//
// ARLE data (8 bits; after header and colour table; length = image size):
//   row table   height × u32: offset of each row's codes from the table
//               start, top picture row first
//   row codes   packets until the row holds `width` pixels; first byte:
//               00nnnnnn               n literal bytes follow
//               01nnnnnn v             n copies of v
//               10nnnnnn mmmmmmmm      literal of n*256+m bytes
//               11nnnnnn mmmmmmmm v    run of n*256+m copies of v
//
// PRLE data: a "MEMO" block whose content is the ARLE data.
// PKC1/PKC2 data: a "MEMO" block whose content is the plain pixel data
//   ("PKC2" when the plain picture had compression 3 and keeps its masks).
//
// TRLE data (pixel value 0 transparent; after the colour table at 8 bits,
// right after the 40-byte info header otherwise):
//   +0    12        red, green, blue masks (16/24/32 bits only)
//   +12   4         compression of the plain picture (0 or 3)
//   +16   height×8  per row, top first: offset of its kept pixels from +0
//                   (u32), skip (u16, leading zeros), count (u16, kept pixels)
//   ...             the kept pixels of every row
//
// BMP RLE8 (compression 1): the platform's own run-length form of 8-bit
// bitmaps, decoded when a bitmap is loaded.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tamboro::gfx {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

std::optional<Bytes> EncodeArle(ByteView plain);  // 8 bits, compression 0
std::optional<Bytes> DecodeArle(ByteView arle);   // "ARLE" → compression 0
std::optional<Bytes> EncodePrle(ByteView arle);   // "ARLE" → "PRLE"
std::optional<Bytes> DecodePrle(ByteView prle);   // "PRLE" → "ARLE"
std::optional<Bytes> EncodePkc(ByteView plain);   // compression 0 or 3 → "PKC1"/"PKC2"
std::optional<Bytes> DecodePkc(ByteView pkc);     // "PKC1"/"PKC2" → 0/3
std::optional<Bytes> EncodeTrle(ByteView plain);  // 8/16/24/32 bits, compression 0 or 3
std::optional<Bytes> DecodeTrle(ByteView trle);   // "TRLE" → the prefix's compression
std::optional<Bytes> EncodeRle8(ByteView plain);  // 8 bits, compression 0 → 1
std::optional<Bytes> DecodeRle8(ByteView rle8);   // compression 1 → 0

}  // namespace tamboro::gfx
