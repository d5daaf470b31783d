#pragma once
// Result codes of every graphics operation. 0 is success; the values are
// fixed because callers compare them as plain integers.
#include <cstdint>

namespace tamboro::gfx {

enum class GfxResult : std::uint8_t {
    Ok = 0,
    NotSupported = 1,          // not supported by this class, or a missing pointer argument
    BadArgument = 2,           // bad argument or failure to create (also damaged input)
    Empty = 3,                 // the image is empty, or the palette already has entries
    Locked = 4,                // the image is locked and cannot be compressed
    UnknownCompression = 5,    // unknown compression code
    NotCompressed = 6,         // the image is not compressed
    AlreadyCompressed = 7,     // the image is already compressed
    PaletteSizeMismatch = 10,  // entry count is not 2 to the power of the bit count
    PaletteEmpty = 11,         // the palette has no entries
    CompressedPixels = 12,     // the image is compressed; its pixels cannot be reached
    Count_                     // stays last
};

static_assert(static_cast<int>(GfxResult::BadArgument) == 2);
static_assert(static_cast<int>(GfxResult::AlreadyCompressed) == 7);
static_assert(static_cast<int>(GfxResult::PaletteSizeMismatch) == 10);
static_assert(static_cast<int>(GfxResult::CompressedPixels) == 12);

// A short English description of a code for logs and tests; empty for values
// that are not codes (8, 9 and anything from Count_ on).
const char* GfxResultText(GfxResult result);

}  // namespace tamboro::gfx
