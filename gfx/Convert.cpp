// Pixel format conversion of plain packed bitmaps.
#include <cstring>

#include "base/ByteOrder.h"
#include "gfx/ColorOctree.h"
#include "gfx/PackedImage.h"
#include "gfx/Palette.h"

namespace tamboro::gfx {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

bool Readable(PixelFormat f) {
    switch (f) {
        case PixelFormat::Indexed8:
        case PixelFormat::Rgb555:
        case PixelFormat::Bgr555:
        case PixelFormat::Rgb565:
        case PixelFormat::Bgr565:
        case PixelFormat::Bgr24:
        case PixelFormat::Rgb24:
        case PixelFormat::Bgrx32:
        case PixelFormat::Rgbx32:
            return true;
        default:
            return false;
    }
}

bool Writable(PixelFormat f) {
    return f == PixelFormat::Indexed8 || f == PixelFormat::Rgb555 || f == PixelFormat::Rgb565 ||
           f == PixelFormat::Bgr24 || f == PixelFormat::Bgrx32;
}

// 8-bit components of pixel x of a stored row. `table` is the source colour
// table with `entries` entries (indexes past it read black).
Rgb ReadPixel(PixelFormat f, const std::uint8_t* row, int x, const std::uint8_t* table,
              std::uint32_t entries) {
    Rgb c{};
    switch (f) {
        case PixelFormat::Indexed8: {
            const std::uint8_t i = row[x];
            if (i < entries) c = {table[4 * i + 2], table[4 * i + 1], table[4 * i]};
            break;
        }
        case PixelFormat::Rgb555:
        case PixelFormat::Bgr555: {
            const unsigned p = base::LoadLe<16>(row + 2 * x);
            c = {static_cast<std::uint8_t>((p >> 7) & 0xF8),
                 static_cast<std::uint8_t>((p >> 2) & 0xF8),
                 static_cast<std::uint8_t>((p << 3) & 0xFF)};
            break;
        }
        case PixelFormat::Rgb565:
        case PixelFormat::Bgr565: {
            const unsigned p = base::LoadLe<16>(row + 2 * x);
            c = {static_cast<std::uint8_t>((p >> 8) & 0xF8),
                 static_cast<std::uint8_t>((p >> 3) & 0xFC),
                 static_cast<std::uint8_t>((p << 3) & 0xFF)};
            break;
        }
        case PixelFormat::Bgr24:
        case PixelFormat::Rgb24:
            c = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
            break;
        case PixelFormat::Bgrx32:
        case PixelFormat::Rgbx32:
            c = {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
            break;
        default:
            break;
    }
    // The second layout of each size keeps red and blue the other way round.
    if (f == PixelFormat::Bgr555 || f == PixelFormat::Bgr565 || f == PixelFormat::Rgb24 ||
        f == PixelFormat::Rgbx32) {
        std::swap(c.r, c.b);
    }
    return c;
}

}  // namespace

std::optional<Bytes> ConvertBitmap(ByteView plain, PixelFormat target, const PaletteEntry* entries,
                                   const std::uint8_t* inverse) {
    BitmapInfo info;
    if (ParseBitmap(plain, info, false) != GfxResult::Ok || info.Compressed()) return std::nullopt;
    // A header can only tell 555 from 565; the layouts with red and blue
    // exchanged never come from a header, so the source format is the header's.
    const PixelFormat source = info.format;
    if (!Readable(source) || !Writable(target)) return std::nullopt;
    if (target == PixelFormat::Indexed8 && entries == nullptr) return std::nullopt;

    std::uint8_t header[kHeaderBufferSize];
    const std::size_t headerSize = BuildHeader(info.width, info.height, target, header);
    if (headerSize == 0) return std::nullopt;
    if (target == PixelFormat::Indexed8) {
        for (int i = 0; i < 256; ++i) {
            header[40 + 4 * i] = entries[i].blue;
            header[40 + 4 * i + 1] = entries[i].green;
            header[40 + 4 * i + 2] = entries[i].red;
            header[40 + 4 * i + 3] = 0;
        }
    }
    const std::uint32_t outRow = RowBytes(target, static_cast<std::uint32_t>(info.width));
    Bytes out;
    try {
        out.resize(headerSize + static_cast<std::size_t>(outRow) * info.height);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::memcpy(out.data(), header, headerSize);

    ColorOctree octree;
    if (target == PixelFormat::Indexed8 && inverse == nullptr) {
        for (int i = 0; i < 256; ++i) {
            if (entries[i].flags != 1)
                octree.Insert(entries[i].red, entries[i].green, entries[i].blue,
                              static_cast<std::uint32_t>(i));
        }
    }
    const std::uint8_t* table = plain.data() + kInfoHeaderSize;
    const std::uint8_t* in = plain.data() + info.headerSize;
    std::uint8_t* dst = out.data() + headerSize;
    for (int y = 0; y < info.height; ++y) {
        const std::uint8_t* srow = in + static_cast<std::size_t>(y) * info.rowBytes;
        std::uint8_t* drow = dst + static_cast<std::size_t>(y) * outRow;
        for (int x = 0; x < info.width; ++x) {
            Rgb c = ReadPixel(source, srow, x, table, info.entryCount);
            switch (target) {
                case PixelFormat::Indexed8:
                    if (inverse != nullptr) {
                        drow[x] = inverse[(c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3)];
                    } else if (auto leaf = octree.Find(c.r, c.g, c.b, false)) {
                        drow[x] = static_cast<std::uint8_t>(leaf->index);
                    }
                    break;
                case PixelFormat::Rgb555:
                    base::StoreLe<16>(drow + 2 * x,
                                      static_cast<std::uint16_t>((c.r & 0xF8) << 7 |
                                                                 (c.g & 0xF8) << 2 | c.b >> 3));
                    break;
                case PixelFormat::Rgb565:
                    base::StoreLe<16>(drow + 2 * x,
                                      static_cast<std::uint16_t>((c.r & 0xF8) << 8 |
                                                                 (c.g & 0xFC) << 3 | c.b >> 3));
                    break;
                case PixelFormat::Bgr24:
                    drow[3 * x] = c.b;
                    drow[3 * x + 1] = c.g;
                    drow[3 * x + 2] = c.r;
                    break;
                case PixelFormat::Bgrx32:
                    drow[4 * x] = c.b;
                    drow[4 * x + 1] = c.g;
                    drow[4 * x + 2] = c.r;
                    drow[4 * x + 3] = 0;
                    break;
                default:
                    break;
            }
        }
    }
    return out;
}

}  // namespace tamboro::gfx
