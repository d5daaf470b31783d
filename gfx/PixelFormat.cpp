#include "gfx/PixelFormat.h"

#include "gfx/GfxResult.h"

namespace tamboro::gfx {

int BitsPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::Indexed1:
            return 1;
        case PixelFormat::Indexed2:
            return 2;
        case PixelFormat::Indexed4:
            return 4;
        case PixelFormat::Indexed8:
        case PixelFormat::Other8:
            return 8;
        case PixelFormat::Rgb555:
        case PixelFormat::Bgr555:
        case PixelFormat::Rgb565:
        case PixelFormat::Bgr565:
            return 16;
        case PixelFormat::Bgr24:
        case PixelFormat::Rgb24:
            return 24;
        case PixelFormat::Bgrx32:
        case PixelFormat::Rgbx32:
            return 32;
        case PixelFormat::None:
            break;
    }
    return 0;
}

bool CanCreate(PixelFormat format) {
    switch (format) {
        case PixelFormat::Indexed1:
        case PixelFormat::Indexed2:
        case PixelFormat::Indexed4:
        case PixelFormat::Indexed8:
        case PixelFormat::Rgb555:
        case PixelFormat::Rgb565:
        case PixelFormat::Bgr24:
        case PixelFormat::Bgrx32:
            return true;
        default:
            return false;
    }
}

std::uint32_t RowBytesForBits(int bits, std::uint32_t width) {
    if (bits <= 0) return 0;
    const std::uint64_t bytes =
        (static_cast<std::uint64_t>(width) * static_cast<unsigned>(bits) + 31) / 32 * 4;
    return static_cast<std::uint32_t>(bytes);
}

std::uint32_t RowBytes(PixelFormat format, std::uint32_t width) {
    return RowBytesForBits(BitsPerPixel(format), width);
}

const char* GfxResultText(GfxResult result) {
    switch (result) {
        case GfxResult::Ok:
            return "done";
        case GfxResult::NotSupported:
            return "not supported";
        case GfxResult::BadArgument:
            return "bad argument or failure to create";
        case GfxResult::Empty:
            return "the image is empty or the palette already has entries";
        case GfxResult::Locked:
            return "the image is locked";
        case GfxResult::UnknownCompression:
            return "unknown compression";
        case GfxResult::NotCompressed:
            return "the image is not compressed";
        case GfxResult::AlreadyCompressed:
            return "the image is already compressed";
        case GfxResult::PaletteSizeMismatch:
            return "palette size does not match the bit count";
        case GfxResult::PaletteEmpty:
            return "the palette has no entries";
        case GfxResult::CompressedPixels:
            return "the image is compressed";
        case GfxResult::Count_:
            break;
    }
    return "";
}

}  // namespace tamboro::gfx
