#pragma once
// Header rules of packed device-independent bitmaps, shared by the whole
// library. A packed bitmap is one block of bytes:
//
//   offset      size   content
//   0           14     optional file header, present when the block starts "BM"
//   +0          40     info header: size 40, width (s32), height (s32, positive:
//                      rows bottom-up), planes (u16), bit count (u16: 1, 2, 4,
//                      8, 16, 24, 32), compression (u32: 0 plain, 1 RLE8,
//                      3 masks, or a four-character code), image size (u32),
//                      x/y resolution, colours used, colours important
//   +40         4*n    colour table for 1..8 bits (blue, green, red, 0), n =
//                      colours used or 2^bits when 0
//   +40         12     red, green, blue masks for 16/24/32 bits with
//                      compression 3 or "PKC2"
//   +header     ...    pixel data (bottom-up rows padded to 4 bytes) or codec data
//
// All integers little-endian. Every field comes from outside and is checked
// by ParseBitmap before anything reads the pixels.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "gfx/GfxResult.h"
#include "gfx/PixelFormat.h"

namespace tamboro::gfx {

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

inline constexpr std::uint32_t kCompressionNone = 0;
inline constexpr std::uint32_t kCompressionRle8 = 1;
inline constexpr std::uint32_t kCompressionMasks = 3;
inline constexpr std::uint32_t kCodePkcc = FourCC('P', 'K', 'C', 'C');
inline constexpr std::uint32_t kCodePkc1 = FourCC('P', 'K', 'C', '1');
inline constexpr std::uint32_t kCodePkc2 = FourCC('P', 'K', 'C', '2');
inline constexpr std::uint32_t kCodeArle = FourCC('A', 'R', 'L', 'E');
inline constexpr std::uint32_t kCodePrle = FourCC('P', 'R', 'L', 'E');
inline constexpr std::uint32_t kCodeTrle = FourCC('T', 'R', 'L', 'E');

inline constexpr std::size_t kInfoHeaderSize = 40;
// Decoders whose output is not bounded by their input (a few bytes of runs,
// deltas or shared row offsets can describe 65535 × 65535 pixels) refuse to
// produce more pixel bytes than this.
inline constexpr std::uint64_t kMaxDecodedPixelBytes = 64u << 20;
inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kHeaderBufferSize = 1076;  // info + 256 colours + 3 masks

// Field offsets inside the info header.
namespace bih {
inline constexpr std::size_t kSize = 0;
inline constexpr std::size_t kWidth = 4;
inline constexpr std::size_t kHeight = 8;
inline constexpr std::size_t kPlanes = 12;
inline constexpr std::size_t kBitCount = 14;
inline constexpr std::size_t kCompression = 16;
inline constexpr std::size_t kImageSize = 20;
inline constexpr std::size_t kColoursUsed = 32;
}  // namespace bih

// The checked facts of one packed bitmap.
struct BitmapInfo {
    std::size_t infoOffset = 0;  // 14 after a file header, else 0
    int width = 0;               // 1..65535
    int height = 0;              // 1..65535
    int bits = 0;                // 1, 2, 4, 8, 16, 24 or 32
    std::uint32_t compression = 0;
    std::uint32_t imageSizeField = 0;
    std::uint32_t entryCount = 0;  // colour-table entries (0 above 8 bits)
    std::uint32_t headerSize = 0;  // info header to pixel data
    std::uint64_t imageSize = 0;   // bytes of pixel or codec data
    std::uint32_t rowBytes = 0;    // plain row size
    PixelFormat format = PixelFormat::None;
    std::uint32_t masks[3] = {0, 0, 0};  // read when present in the block

    bool Compressed() const {
        return compression != kCompressionNone && compression != kCompressionMasks;
    }
    // Offset of the pixel (or codec) data from the start of the block.
    std::size_t DataOffset() const { return infoOffset + headerSize; }
};

// Header size rule: 40 + 4 × entries at 1..8 bits; 52 at 16/24/32 bits with
// compression 3 or "PKC2", else 40; 0 for other bit counts.
std::uint32_t HeaderSizeFor(int bits, std::uint32_t compression, std::uint32_t entryCount);

// Pixel format of a header (bit count, compression, green mask).
PixelFormat FormatOf(int bits, std::uint32_t compression, std::uint32_t greenMask);

// Parses and checks a packed bitmap: a file header is skipped when the data
// starts "BM" (and `allowFileHeader`); the info header must be 40 bytes;
// width and height 1..65535 (top-down bitmaps with a negative height are
// refused); a known bit count; colours used not above 2^bits; header and
// image data inside `data`. Answers BadArgument (2) otherwise.
GfxResult ParseBitmap(std::span<const std::uint8_t> data, BitmapInfo& info,
                      bool allowFileHeader = true);

// Builds the info header (and zero colour table or masks) of a creatable
// format into `out` (kHeaderBufferSize bytes). Answers the bytes built, 0 for
// formats that cannot be created.
std::size_t BuildHeader(int width, int height, PixelFormat format, std::uint8_t* out);

}  // namespace tamboro::gfx
