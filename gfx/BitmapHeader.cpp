#include "gfx/BitmapHeader.h"

#include "base/ByteOrder.h"

namespace tamboro::gfx {

std::uint32_t HeaderSizeFor(int bits, std::uint32_t compression, std::uint32_t entryCount) {
    switch (bits) {
        case 1:
        case 2:
        case 4:
        case 8:
            return 40 + 4 * entryCount;
        case 16:
        case 24:
        case 32:
            return (compression == kCompressionMasks || compression == kCodePkc2) ? 52 : 40;
        default:
            return 0;
    }
}

PixelFormat FormatOf(int bits, std::uint32_t compression, std::uint32_t greenMask) {
    switch (bits) {
        case 1:
            return PixelFormat::Indexed1;
        case 2:
            return PixelFormat::Indexed2;
        case 4:
            return PixelFormat::Indexed4;
        case 8:
            return PixelFormat::Indexed8;
        case 16:
            if (compression == kCompressionNone || compression == kCodePkc1) {
                return PixelFormat::Rgb555;
            }
            return greenMask == 0x03E0 ? PixelFormat::Rgb555 : PixelFormat::Rgb565;
        case 24:
            return PixelFormat::Bgr24;
        case 32:
            return PixelFormat::Bgrx32;
        default:
            return PixelFormat::None;
    }
}

GfxResult ParseBitmap(std::span<const std::uint8_t> data, BitmapInfo& info, bool allowFileHeader) {
    info = BitmapInfo{};
    if (allowFileHeader && data.size() >= 2 && data[0] == 'B' && data[1] == 'M') {
        info.infoOffset = kFileHeaderSize;
    }
    if (data.size() < info.infoOffset + kInfoHeaderSize) return GfxResult::BadArgument;
    const std::uint8_t* h = data.data() + info.infoOffset;
    if (base::LoadLe<32>(h + bih::kSize) != kInfoHeaderSize) return GfxResult::BadArgument;
    const auto width = static_cast<std::int32_t>(base::LoadLe<32>(h + bih::kWidth));
    const auto height = static_cast<std::int32_t>(base::LoadLe<32>(h + bih::kHeight));
    if (width < 1 || width > 65535 || height < 1 || height > 65535) return GfxResult::BadArgument;
    info.width = width;
    info.height = height;
    info.bits = base::LoadLe<16>(h + bih::kBitCount);
    info.compression = base::LoadLe<32>(h + bih::kCompression);
    info.imageSizeField = base::LoadLe<32>(h + bih::kImageSize);
    switch (info.bits) {
        case 1:
        case 2:
        case 4:
        case 8: {
            const std::uint32_t full = 1u << info.bits;
            const std::uint32_t used = base::LoadLe<32>(h + bih::kColoursUsed);
            if (used > full) return GfxResult::BadArgument;
            info.entryCount = used == 0 ? full : used;
            break;
        }
        case 16:
        case 24:
        case 32:
            break;
        default:
            return GfxResult::BadArgument;
    }
    info.headerSize = HeaderSizeFor(info.bits, info.compression, info.entryCount);
    info.rowBytes = RowBytesForBits(info.bits, static_cast<std::uint32_t>(width));
    if (info.compression == kCompressionNone || info.compression == kCompressionMasks) {
        info.imageSize = static_cast<std::uint64_t>(info.rowBytes) * static_cast<unsigned>(height);
    } else {
        info.imageSize = info.imageSizeField;
    }
    const std::uint64_t end =
        info.infoOffset + static_cast<std::uint64_t>(info.headerSize) + info.imageSize;
    if (end > data.size()) return GfxResult::BadArgument;
    // Masks sit right after the info header (also where the TRLE prefix keeps them).
    if (info.bits >= 16 && data.size() >= info.infoOffset + 52) {
        for (int i = 0; i < 3; ++i)
            info.masks[i] = base::LoadLe<32>(h + 40 + 4 * i);
    }
    info.format = FormatOf(info.bits, info.compression, info.masks[1]);
    return GfxResult::Ok;
}

std::size_t BuildHeader(int width, int height, PixelFormat format, std::uint8_t* out) {
    if (!CanCreate(format)) return 0;
    const int bits = BitsPerPixel(format);
    std::size_t size = kInfoHeaderSize;
    std::memset(out, 0, kHeaderBufferSize);
    base::StoreLe<32>(out + bih::kSize, kInfoHeaderSize);
    base::StoreLe<32>(out + bih::kWidth, static_cast<std::uint32_t>(width));
    base::StoreLe<32>(out + bih::kHeight, static_cast<std::uint32_t>(height));
    base::StoreLe<16>(out + bih::kPlanes, 1);
    base::StoreLe<16>(out + bih::kBitCount, static_cast<std::uint16_t>(bits));
    if (bits <= 8) {
        size += 4u << bits;
    } else if (bits == 16) {
        base::StoreLe<32>(out + bih::kCompression, kCompressionMasks);
        const bool is565 = format == PixelFormat::Rgb565;
        base::StoreLe<32>(out + 40, is565 ? 0xF800 : 0x7C00);
        base::StoreLe<32>(out + 44, is565 ? 0x07E0 : 0x03E0);
        base::StoreLe<32>(out + 48, 0x001F);
        size += 12;
    }
    return size;
}

}  // namespace tamboro::gfx
