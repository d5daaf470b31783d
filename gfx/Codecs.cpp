#include "gfx/Codecs.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ByteOrder.h"
#include "base/MemoBlock.h"
#include "gfx/BitmapHeader.h"

namespace tamboro::gfx {
namespace {

constexpr int kMaxPacket = 16383;  // 14-bit packet lengths

bool Parse(ByteView in, BitmapInfo& info) {
    return ParseBitmap(in, info, false) == GfxResult::Ok;
}

// The plain picture's pixel bytes, when a decoder may make that many.
bool DecodedSizeAllowed(const BitmapInfo& info) {
    return static_cast<std::uint64_t>(info.rowBytes) * static_cast<unsigned>(info.height) <=
           kMaxDecodedPixelBytes;
}

// A new block holding the header (and colour table or masks) of `in` with
// compression and image size replaced, plus `dataSize` zero bytes after it.
std::optional<Bytes> StartOutput(ByteView in, std::size_t headerBytes, std::uint32_t compression,
                                 std::uint32_t imageSize, std::size_t dataSize) {
    Bytes out;
    try {
        out.resize(headerBytes + dataSize);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::memcpy(out.data(), in.data(), std::min(headerBytes, in.size()));
    base::StoreLe<32>(out.data() + bih::kCompression, compression);
    base::StoreLe<32>(out.data() + bih::kImageSize, imageSize);
    return out;
}

const std::uint8_t* StoredRow(const std::uint8_t* pixels, const BitmapInfo& info, int topRow) {
    return pixels + static_cast<std::size_t>(info.height - 1 - topRow) * info.rowBytes;
}

void EmitLength(Bytes& out, std::uint8_t shortTag, std::uint8_t longTag, int length) {
    if (length >= 64) {
        out.push_back(static_cast<std::uint8_t>(longTag | (length >> 8)));
        out.push_back(static_cast<std::uint8_t>(length & 0xFF));
    } else {
        out.push_back(static_cast<std::uint8_t>(shortTag | length));
    }
}

void EncodeArleRow(const std::uint8_t* p, int width, Bytes& out) {
    int x = 0;
    while (x < width - 3) {
        if (p[x] == p[x + 1] && p[x] == p[x + 2] && p[x] == p[x + 3]) {
            int end = x + 4;
            while (end < width && p[end] == p[x] && end - x < kMaxPacket)
                ++end;
            EmitLength(out, 0x40, 0xC0, end - x);
            out.push_back(p[x]);
            x = end;
        } else {
            int y = x + 1;
            while (y < width - 3 && !(p[y] == p[y + 1] && p[y] == p[y + 2] && p[y] == p[y + 3])) {
                ++y;
            }
            if (y >= width - 3) y = width;
            const int length = std::min(y - x, kMaxPacket);
            EmitLength(out, 0x00, 0x80, length);
            out.insert(out.end(), p + x, p + x + length);
            x += length;
        }
    }
    if (x < width) {
        out.push_back(static_cast<std::uint8_t>(width - x));
        out.insert(out.end(), p + x, p + width);
    }
}

// Decodes one ARLE row from codes[pos, end) into exactly `width` bytes.
bool DecodeArleRow(const std::uint8_t* codes, std::size_t pos, std::size_t end, std::uint8_t* row,
                   int width) {
    int x = 0;
    while (x < width) {
        if (pos >= end) return false;
        const std::uint8_t head = codes[pos++];
        int length = head & 0x3F;
        if (head & 0x80) {
            if (pos >= end) return false;
            length = length << 8 | codes[pos++];
        }
        if (length > width - x) return false;
        if (head & 0x40) {
            if (pos >= end) return false;
            std::memset(row + x, codes[pos++], static_cast<std::size_t>(length));
        } else {
            if (static_cast<std::size_t>(length) > end - pos) return false;
            std::memcpy(row + x, codes + pos, static_cast<std::size_t>(length));
            pos += static_cast<std::size_t>(length);
        }
        x += length;
    }
    return true;
}

}  // namespace

std::optional<Bytes> EncodeArle(ByteView plain) {
    BitmapInfo info;
    if (!Parse(plain, info) || info.bits != 8 || info.compression != kCompressionNone) {
        return std::nullopt;
    }
    const std::uint8_t* pixels = plain.data() + info.headerSize;
    const std::size_t table = static_cast<std::size_t>(info.height) * 4;
    Bytes codes;
    try {
        codes.reserve(table + static_cast<std::size_t>(info.height) * (info.rowBytes + 2));
        codes.resize(table);
        for (int row = 0; row < info.height; ++row) {
            base::StoreLe<32>(codes.data() + static_cast<std::size_t>(row) * 4,
                              static_cast<std::uint32_t>(codes.size()));
            EncodeArleRow(StoredRow(pixels, info, row), info.width, codes);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (codes.size() > 0xFFFFFFFFu) return std::nullopt;
    auto out = StartOutput(plain, info.headerSize, kCodeArle,
                           static_cast<std::uint32_t>(codes.size()), codes.size());
    if (out) std::memcpy(out->data() + info.headerSize, codes.data(), codes.size());
    return out;
}

std::optional<Bytes> DecodeArle(ByteView arle) {
    BitmapInfo info;
    if (!Parse(arle, info) || info.bits != 8 || info.compression != kCodeArle) {
        return std::nullopt;
    }
    if (!DecodedSizeAllowed(info)) return std::nullopt;
    const std::uint8_t* codes = arle.data() + info.headerSize;
    const std::size_t size = static_cast<std::size_t>(info.imageSize);
    const std::size_t table = static_cast<std::size_t>(info.height) * 4;
    if (size < table) return std::nullopt;
    const std::size_t pixelBytes = static_cast<std::size_t>(info.rowBytes) * info.height;
    auto out = StartOutput(arle, info.headerSize, kCompressionNone, 0, pixelBytes);
    if (!out) return std::nullopt;
    std::uint8_t* pixels = out->data() + info.headerSize;
    for (int i = 0; i < info.height; ++i) {
        const std::uint32_t offset = base::LoadLe<32>(codes + static_cast<std::size_t>(i) * 4);
        if (offset < table || offset >= size) return std::nullopt;
        std::uint8_t* row = pixels + static_cast<std::size_t>(info.height - 1 - i) * info.rowBytes;
        if (!DecodeArleRow(codes, offset, size, row, info.width)) return std::nullopt;
    }
    return out;
}

std::optional<Bytes> EncodePrle(ByteView arle) {
    BitmapInfo info;
    if (!Parse(arle, info) || info.bits != 8 || info.compression != kCodeArle) {
        return std::nullopt;
    }
    auto block = base::PackMemory(arle.subspan(info.headerSize, info.imageSize));
    if (!block) return std::nullopt;
    auto out = StartOutput(arle, info.headerSize, kCodePrle,
                           static_cast<std::uint32_t>(block->size()), block->size());
    if (out) std::memcpy(out->data() + info.headerSize, block->data(), block->size());
    return out;
}

std::optional<Bytes> DecodePrle(ByteView prle) {
    BitmapInfo info;
    if (!Parse(prle, info) || info.bits != 8 || info.compression != kCodePrle) {
        return std::nullopt;
    }
    auto codes = base::UnpackMemory(prle.subspan(info.headerSize, info.imageSize));
    if (!codes) return std::nullopt;
    auto out = StartOutput(prle, info.headerSize, kCodeArle,
                           static_cast<std::uint32_t>(codes->size()), codes->size());
    if (out) std::memcpy(out->data() + info.headerSize, codes->data(), codes->size());
    return out;
}

std::optional<Bytes> EncodePkc(ByteView plain) {
    BitmapInfo info;
    if (!Parse(plain, info) ||
        (info.compression != kCompressionNone && info.compression != kCompressionMasks)) {
        return std::nullopt;
    }
    const std::uint32_t code = info.compression == kCompressionMasks ? kCodePkc2 : kCodePkc1;
    auto block = base::PackMemory(plain.subspan(info.headerSize, info.imageSize));
    if (!block) return std::nullopt;
    auto out = StartOutput(plain, info.headerSize, code, static_cast<std::uint32_t>(block->size()),
                           block->size());
    if (out) std::memcpy(out->data() + info.headerSize, block->data(), block->size());
    return out;
}

std::optional<Bytes> DecodePkc(ByteView pkc) {
    BitmapInfo info;
    if (!Parse(pkc, info) || (info.compression != kCodePkc1 && info.compression != kCodePkc2)) {
        return std::nullopt;
    }
    if (!DecodedSizeAllowed(info)) return std::nullopt;
    auto pixels = base::UnpackMemory(pkc.subspan(info.headerSize, info.imageSize));
    if (!pixels) return std::nullopt;
    // The plain picture's size follows from its header; anything else would
    // leave rows unreadable or hide bytes.
    if (pixels->size() != static_cast<std::uint64_t>(info.rowBytes) * info.height) {
        return std::nullopt;
    }
    const std::uint32_t plainCode =
        info.compression == kCodePkc2 ? kCompressionMasks : kCompressionNone;
    auto out = StartOutput(pkc, info.headerSize, plainCode, 0, pixels->size());
    if (out) std::memcpy(out->data() + info.headerSize, pixels->data(), pixels->size());
    return out;
}

std::optional<Bytes> EncodeTrle(ByteView plain) {
    BitmapInfo info;
    if (!Parse(plain, info) || info.bits < 8 ||
        (info.compression != kCompressionNone && info.compression != kCompressionMasks) ||
        (info.bits == 8 && info.compression != kCompressionNone)) {
        return std::nullopt;
    }
    const std::size_t bpp = static_cast<std::size_t>(info.bits / 8);
    const std::uint8_t* pixels = plain.data() + info.headerSize;
    const std::size_t prefixAt = info.bits == 8 ? info.headerSize : kInfoHeaderSize;
    const std::size_t table = 16 + static_cast<std::size_t>(info.height) * 8;
    Bytes data;
    try {
        data.reserve(table + static_cast<std::size_t>(info.rowBytes) * info.height);
        data.resize(table);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (info.bits > 8) {
        for (int i = 0; i < 3; ++i)
            base::StoreLe<32>(data.data() + 4 * i, info.masks[i]);
    }
    base::StoreLe<32>(data.data() + 12, info.compression);
    auto isZero = [&](const std::uint8_t* p) {
        for (std::size_t k = 0; k < bpp; ++k) {
            if (p[k] != 0) return false;
        }
        return true;
    };
    for (int row = 0; row < info.height; ++row) {
        const std::uint8_t* p = StoredRow(pixels, info, row);
        int skip = 0;
        while (skip < info.width && isZero(p + static_cast<std::size_t>(skip) * bpp))
            ++skip;
        int trail = 0;
        if (skip < info.width) {
            while (isZero(p + static_cast<std::size_t>(info.width - 1 - trail) * bpp))
                ++trail;
        }
        const int count = info.width - skip - trail;
        std::uint8_t* entry = data.data() + 16 + static_cast<std::size_t>(row) * 8;
        base::StoreLe<32>(entry, static_cast<std::uint32_t>(data.size()));
        base::StoreLe<16>(entry + 4, static_cast<std::uint16_t>(skip));
        base::StoreLe<16>(entry + 6, static_cast<std::uint16_t>(count));
        const std::uint8_t* from = p + static_cast<std::size_t>(skip) * bpp;
        data.insert(data.end(), from, from + static_cast<std::size_t>(count) * bpp);
    }
    if (data.size() > 0xFFFFFFFFu) return std::nullopt;
    auto out = StartOutput(plain, prefixAt, kCodeTrle, static_cast<std::uint32_t>(data.size()),
                           data.size());
    if (out) std::memcpy(out->data() + prefixAt, data.data(), data.size());
    return out;
}

std::optional<Bytes> DecodeTrle(ByteView trle) {
    BitmapInfo info;
    if (!Parse(trle, info) || info.bits < 8 || info.compression != kCodeTrle) {
        return std::nullopt;
    }
    if (!DecodedSizeAllowed(info)) return std::nullopt;
    const std::size_t bpp = static_cast<std::size_t>(info.bits / 8);
    const std::uint8_t* data = trle.data() + info.headerSize;
    const std::size_t size = static_cast<std::size_t>(info.imageSize);
    const std::size_t table = 16 + static_cast<std::size_t>(info.height) * 8;
    if (size < table) return std::nullopt;
    const std::uint32_t plainCode = base::LoadLe<32>(data + 12);
    if (plainCode != kCompressionNone && plainCode != kCompressionMasks) return std::nullopt;
    if (info.bits == 8 && plainCode != kCompressionNone) return std::nullopt;
    const std::size_t outHeader =
        info.bits == 8 ? info.headerSize : (plainCode == kCompressionMasks ? 52 : 40);
    const std::size_t pixelBytes = static_cast<std::size_t>(info.rowBytes) * info.height;
    auto out = StartOutput(
        trle, info.bits == 8 ? info.headerSize : kInfoHeaderSize, plainCode, 0,
        (outHeader - (info.bits == 8 ? info.headerSize : kInfoHeaderSize)) + pixelBytes);
    if (!out) return std::nullopt;
    if (outHeader == 52) std::memcpy(out->data() + 40, data, 12);
    std::uint8_t* pixels = out->data() + outHeader;
    for (int i = 0; i < info.height; ++i) {
        const std::uint8_t* entry = data + 16 + static_cast<std::size_t>(i) * 8;
        const std::uint32_t offset = base::LoadLe<32>(entry);
        const int skip = base::LoadLe<16>(entry + 4);
        const int count = base::LoadLe<16>(entry + 6);
        if (skip + count > info.width) return std::nullopt;
        const std::size_t bytes = static_cast<std::size_t>(count) * bpp;
        if (offset > size || bytes > size - offset) return std::nullopt;
        std::uint8_t* row = pixels + static_cast<std::size_t>(info.height - 1 - i) * info.rowBytes;
        std::memcpy(row + static_cast<std::size_t>(skip) * bpp, data + offset, bytes);
    }
    return out;
}

std::optional<Bytes> EncodeRle8(ByteView plain) {
    BitmapInfo info;
    if (!Parse(plain, info) || info.bits != 8 || info.compression != kCompressionNone) {
        return std::nullopt;
    }
    const std::uint8_t* pixels = plain.data() + info.headerSize;
    Bytes codes;
    // Stored rows in storage order (bottom-up), each ended by 00 00; the
    // picture by 00 01. Runs of three or more equal bytes become encoded
    // runs; what lies between goes out as absolute runs of at least three
    // bytes (shorter ones as runs of one or two, since 00 01 and 00 02 are
    // escapes), padded to an even length.
    for (int row = 0; row < info.height; ++row) {
        const std::uint8_t* p = pixels + static_cast<std::size_t>(row) * info.rowBytes;
        const int width = info.width;
        int x = 0;
        auto runAt = [&](int at) {
            int n = 1;
            while (at + n < width && p[at + n] == p[at] && n < 255)
                ++n;
            return n;
        };
        while (x < width) {
            const int run = runAt(x);
            if (run >= 3) {
                codes.push_back(static_cast<std::uint8_t>(run));
                codes.push_back(p[x]);
                x += run;
                continue;
            }
            int end = x;
            while (end < width && end - x < 255 && runAt(end) < 3)
                ++end;
            const int n = end - x;
            if (n < 3) {
                for (int i = 0; i < n; ++i) {
                    codes.push_back(1);
                    codes.push_back(p[x + i]);
                }
            } else {
                codes.push_back(0);
                codes.push_back(static_cast<std::uint8_t>(n));
                codes.insert(codes.end(), p + x, p + end);
                if (n & 1) codes.push_back(0);
            }
            x = end;
        }
        codes.push_back(0);
        codes.push_back(row + 1 == info.height ? 1 : 0);
    }
    auto out = StartOutput(plain, info.headerSize, kCompressionRle8,
                           static_cast<std::uint32_t>(codes.size()), codes.size());
    if (out) std::memcpy(out->data() + info.headerSize, codes.data(), codes.size());
    return out;
}

std::optional<Bytes> DecodeRle8(ByteView rle8) {
    BitmapInfo info;
    if (!Parse(rle8, info) || info.bits != 8 || info.compression != kCompressionRle8) {
        return std::nullopt;
    }
    if (!DecodedSizeAllowed(info)) return std::nullopt;
    const std::uint8_t* codes = rle8.data() + info.headerSize;
    // Writers commonly leave the image size 0; then the codes run to the end.
    std::size_t size = rle8.size() - info.headerSize;
    if (info.imageSizeField != 0) size = std::min<std::size_t>(size, info.imageSizeField);
    const std::size_t rowBytes = info.rowBytes;
    auto out = StartOutput(rle8, info.headerSize, kCompressionNone, 0,
                           rowBytes * static_cast<std::size_t>(info.height));
    if (!out) return std::nullopt;
    std::uint8_t* pixels = out->data() + info.headerSize;
    // Rows bottom-up as stored; pixels not reached stay index 0.
    std::size_t pos = 0;
    int x = 0;
    int y = 0;
    auto put = [&](std::uint8_t v) {
        if (x < info.width) {
            pixels[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x)] = v;
            ++x;
        }
    };
    while (pos + 1 < size && y < info.height) {
        const std::uint8_t count = codes[pos];
        const std::uint8_t value = codes[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(value);
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (pos + 1 >= size) break;
            x = std::min(x + codes[pos], info.width);
            y += codes[pos + 1];
            pos += 2;
        } else {  // absolute run, padded to an even length
            const std::size_t n = value;
            if (n > size - pos) return std::nullopt;
            for (std::size_t i = 0; i < n; ++i)
                put(codes[pos + i]);
            pos += n + (n & 1);
        }
    }
    return out;
}

}  // namespace tamboro::gfx
