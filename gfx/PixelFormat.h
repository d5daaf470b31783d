#pragma once
// Pixel-format codes kept in every image, and the row rules of
// device-independent bitmaps (rows padded to a multiple of 4 bytes).
#include <cstdint>

namespace tamboro::gfx {

enum class PixelFormat : std::uint16_t {
    None = 0,      // empty image
    Indexed1 = 1,  // 2-colour palette
    Indexed2 = 2,  // 4-colour palette
    Indexed4 = 3,  // 16-colour palette
    Indexed8 = 4,  // 256-colour palette
    Other8 = 6,    // 8-bit code known to the bit-count table only
    Rgb555 = 7,    // red 0x7C00, green 0x03E0, blue 0x001F
    Bgr555 = 8,    // blue in the high field, red in the low field
    Rgb565 = 9,    // red 0xF800, green 0x07E0, blue 0x001F
    Bgr565 = 10,   // blue in the high field, red in the low field
    Bgr24 = 11,    // bytes blue, green, red
    Rgb24 = 12,    // bytes red, green, blue
    Bgrx32 = 13,   // bytes blue, green, red, unused
    Rgbx32 = 14,   // bytes red, green, blue, unused
};

static_assert(static_cast<int>(PixelFormat::Indexed8) == 4);
static_assert(static_cast<int>(PixelFormat::Rgb565) == 9);
static_assert(static_cast<int>(PixelFormat::Rgbx32) == 14);

// Bits per pixel of a code; 0 for None, 5 and anything above 14.
int BitsPerPixel(PixelFormat format);
inline int BitsPerPixel(std::uint16_t code) {
    return BitsPerPixel(static_cast<PixelFormat>(code));
}

// True for the formats that can be created: 1, 2, 3, 4, 7, 9, 11 and 13.
bool CanCreate(PixelFormat format);

// ceil(width * bits / 8) rounded up to a multiple of 4; 0 for formats
// without a bit count.
std::uint32_t RowBytes(PixelFormat format, std::uint32_t width);
std::uint32_t RowBytesForBits(int bits, std::uint32_t width);

// True for the 5-6-5 layouts (9 and 10), whose green field has 6 bits.
inline bool Is565(PixelFormat f) {
    return f == PixelFormat::Rgb565 || f == PixelFormat::Bgr565;
}

}  // namespace tamboro::gfx
