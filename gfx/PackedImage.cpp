#include "gfx/PackedImage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "gfx/Palette.h"
#include "gfx/Ref.h"

namespace tamboro::gfx {

OwnedBytes::OwnedBytes(Bytes bytes)
    : Storage(base::StorageKind::Global), m_bytes(std::move(bytes)) {
    m_data = m_bytes.data();
    m_size = m_bytes.size();
}

PackedImage::PackedImage() {
    PackedImage::Reset();
}

PackedImage::~PackedImage() {
    PackedImage::Destroy();
}

void PackedImage::Reset() {
    Image::Reset();
    m_data = nullptr;
    m_size = 0;
    m_info = BitmapInfo{};
    m_compressed = false;
    m_writable = false;
}

GfxResult PackedImage::Destroy() {
    SetPalette(nullptr);
    SetClip(nullptr);
    if (m_block) {
        m_block->Unlock();
        m_block.reset();
    }
    Reset();
    return GfxResult::Ok;
}

GfxResult PackedImage::Create(int width, int height, PixelFormat format) {
    Destroy();
    if (width < 1 || width > 65535 || height < 1 || height > 65535) return GfxResult::BadArgument;
    std::uint8_t header[kHeaderBufferSize];
    const std::size_t headerSize = BuildHeader(width, height, format, header);
    if (headerSize == 0) return GfxResult::BadArgument;
    Bytes bytes;
    try {
        bytes.resize(headerSize +
                     static_cast<std::size_t>(RowBytes(format, static_cast<std::uint32_t>(width))) *
                         static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return GfxResult::BadArgument;
    }
    std::memcpy(bytes.data(), header, headerSize);
    return SetBlock(std::move(bytes));
}

GfxResult PackedImage::SetBlock(Bytes bytes) {
    return SetBlock(std::make_unique<OwnedBytes>(std::move(bytes)), true);
}

GfxResult PackedImage::SetBlock(std::unique_ptr<base::Storage> block, bool writable) {
    Destroy();
    if (!block) return GfxResult::BadArgument;
    auto* data = static_cast<std::uint8_t*>(block->Lock());
    const std::size_t size = block->Size();
    BitmapInfo info;
    if (data == nullptr || size == 0 || ParseBitmap(ByteView(data, size), info) != GfxResult::Ok) {
        block->Unlock();
        return GfxResult::BadArgument;
    }
    if (info.compression == kCompressionRle8) {
        // The platform's loader expands RLE8 bitmaps; so do we, into a block of our own.
        auto plain = info.bits == 8
                         ? DecodeRle8(ByteView(data + info.infoOffset, size - info.infoOffset))
                         : std::nullopt;
        block->Unlock();
        if (!plain) return GfxResult::BadArgument;
        return SetBlock(std::move(*plain));
    }
    m_block = std::move(block);
    m_data = data;
    m_size = size;
    m_info = info;
    m_writable = writable && !m_block->ReadOnly();
    m_width = static_cast<std::uint16_t>(info.width);
    m_height = static_cast<std::uint16_t>(info.height);
    m_format = info.format;
    m_compressed = info.Compressed();
    if (info.bits <= 8) {
        Ref<Palette> pal = Ref<Palette>::Adopt(NewPalette());
        pal->Create(1u << info.bits);
        PaletteEntry entries[256];
        const std::uint8_t* table = m_data + info.infoOffset + kInfoHeaderSize;
        for (std::uint32_t i = 0; i < info.entryCount; ++i) {
            entries[i] = {table[4 * i + 2], table[4 * i + 1], table[4 * i], 0};
        }
        if (info.entryCount > 0) pal->SetEntries(entries, 0, info.entryCount);
        // The colours came from the block: nothing to write back (and the
        // caller's memory need not be writable).
        Image::SetPalette(pal.get());
        m_appliedSerial = pal->Serial();
    }
    return GfxResult::Ok;
}

const std::uint8_t* PackedImage::GetHeader() const {
    return m_data == nullptr ? nullptr : m_data + m_info.infoOffset;
}

ByteView PackedImage::PackedData() const {
    if (m_data == nullptr) return {};
    return ByteView(m_data + m_info.infoOffset,
                    m_info.headerSize + static_cast<std::size_t>(m_info.imageSize));
}

GfxResult PackedImage::Load(const ImageSource& source, std::uint32_t flags) {
    Destroy();
    std::unique_ptr<base::Storage> block;
    bool writable = false;
    switch (flags & 0xF) {
        case load::kFromFile:
            block = std::make_unique<base::GlobalStorage>(std::string(source.name));
            break;
        case load::kFromResource:
            block = std::make_unique<base::ResourceStorage>(source.name, source.type);
            break;
        case load::kFromMemory:
            if (source.memory == nullptr || source.memory->Data() == nullptr) {
                return GfxResult::BadArgument;
            }
            block = std::make_unique<base::BorrowedStorage>(source.memory->Data(),
                                                            source.memory->Size());
            writable = !source.memory->ReadOnly();
            break;
        default:
            return GfxResult::BadArgument;
    }
    if (block->Data() == nullptr || block->Size() == 0) return GfxResult::BadArgument;
    if (flags & load::kCopy) {
        const auto* p = static_cast<const std::uint8_t*>(block->Data());
        Bytes copy;
        try {
            copy.assign(p, p + block->Size());
        } catch (const std::bad_alloc&) {
            return GfxResult::BadArgument;
        }
        block = std::make_unique<OwnedBytes>(std::move(copy));
        writable = true;
    }
    const GfxResult r = SetBlock(std::move(block), writable);
    if (r == GfxResult::Ok && m_compressed && (flags & load::kDecompress)) Decompress();
    return r;
}

GfxResult PackedImage::CopyFrom(Image* source) {
    if (source == this) return GfxResult::BadArgument;
    Destroy();
    if (source == nullptr) return GfxResult::BadArgument;
    if (source->GetFormat() == PixelFormat::None) return GfxResult::Empty;
    if (source->GetKind() == ImageKind::Packed) {
        const ByteView data = static_cast<PackedImage*>(source)->PackedData();
        return SetBlock(Bytes(data.begin(), data.end()));
    }
    return Image::CopyFrom(source);
}

GfxResult PackedImage::ApplyPalette() {
    if (m_palette == nullptr || m_palette->Serial() == m_appliedSerial || !m_writable ||
        m_data == nullptr || m_info.bits > 8) {
        return GfxResult::Ok;
    }
    // Only the entries the header has room for: a short colour table is
    // followed directly by the pixels.
    const std::uint32_t n = std::min(m_palette->Count(), m_info.entryCount);
    std::uint8_t* table = m_data + m_info.infoOffset + kInfoHeaderSize;
    const PaletteEntry* e = m_palette->Entries();
    for (std::uint32_t i = 0; i < n; ++i) {
        table[4 * i] = e[i].blue;
        table[4 * i + 1] = e[i].green;
        table[4 * i + 2] = e[i].red;
        table[4 * i + 3] = 0;
    }
    m_appliedSerial = m_palette->Serial();
    return GfxResult::Ok;
}

GfxResult PackedImage::SetPalette(Palette* palette) {
    if (palette == nullptr) return Image::SetPalette(nullptr);
    if (const GfxResult fits = CheckPaletteFits(*palette); fits != GfxResult::Ok) return fits;
    Image::SetPalette(palette);
    m_appliedSerial = palette->Serial() - 1;
    return ApplyPalette();
}

GfxResult PackedImage::Lock(std::uint8_t** bits, std::uint32_t* pitch) {
    if (m_data == nullptr || m_format == PixelFormat::None) return GfxResult::Empty;
    if (m_compressed) return GfxResult::CompressedPixels;
    if (m_lockCount == 0) {
        m_lockedBits = m_data + m_info.DataOffset();
        m_lockedPitch = m_info.rowBytes;
    }
    ++m_lockCount;
    if (bits != nullptr) *bits = m_lockedBits;
    if (pitch != nullptr) *pitch = m_lockedPitch;
    return GfxResult::Ok;
}

GfxResult PackedImage::Unlock() {
    if (m_lockCount > 1) {
        --m_lockCount;
    } else if (m_lockCount == 1) {
        m_lockCount = 0;
        m_lockedBits = nullptr;
        m_lockedPitch = 0;
    }
    return GfxResult::Ok;
}

bool PackedImage::ReplaceBlock(Bytes bytes) {
    BitmapInfo info;
    if (ParseBitmap(bytes, info, false) != GfxResult::Ok) return false;
    if (m_block) m_block->Unlock();
    auto block = std::make_unique<OwnedBytes>(std::move(bytes));
    m_data = static_cast<std::uint8_t*>(block->Lock());
    m_size = block->Size();
    m_block = std::move(block);
    m_info = info;
    m_writable = true;
    m_compressed = info.Compressed();
    return true;
}

GfxResult PackedImage::Compress(std::uint32_t code) {
    if (m_data == nullptr) return GfxResult::Empty;
    if (m_compressed) return GfxResult::AlreadyCompressed;
    if (m_lockCount > 0) return GfxResult::Locked;
    std::optional<Bytes> out;
    const ByteView plain = PackedData();
    switch (code) {
        case kCodePkcc:
            out = EncodePkc(plain);
            break;
        case kCodeArle:
            out = EncodeArle(plain);
            break;
        case kCodePrle:
            if (auto arle = EncodeArle(plain)) out = EncodePrle(*arle);
            break;
        case kCodeTrle:
            out = EncodeTrle(plain);
            break;
        default:
            return GfxResult::UnknownCompression;
    }
    if (!out || !ReplaceBlock(std::move(*out))) return GfxResult::BadArgument;
    return GfxResult::Ok;
}

GfxResult PackedImage::Decompress() {
    if (m_data == nullptr) return GfxResult::Empty;
    if (!m_compressed) return GfxResult::NotCompressed;
    std::optional<Bytes> out;
    const ByteView packed = PackedData();
    switch (m_info.compression) {
        case kCodePkc1:
        case kCodePkc2:
            out = DecodePkc(packed);
            break;
        case kCodeArle:
            out = DecodeArle(packed);
            break;
        case kCodePrle:
            if (auto arle = DecodePrle(packed)) out = DecodeArle(*arle);
            break;
        case kCodeTrle:
            out = DecodeTrle(packed);
            break;
        default:
            return GfxResult::UnknownCompression;
    }
    if (!out) return GfxResult::BadArgument;
    BitmapInfo info;
    if (ParseBitmap(*out, info, false) != GfxResult::Ok || info.width != m_width ||
        info.height != m_height) {
        return GfxResult::BadArgument;
    }
    if (!ReplaceBlock(std::move(*out))) return GfxResult::BadArgument;
    m_format = m_info.format;
    return GfxResult::Ok;
}

GfxResult PackedImage::Convert(PixelFormat format, Palette* palette, std::uint32_t flags) {
    if (m_data == nullptr || m_format == PixelFormat::None) return GfxResult::Empty;
    if (m_compressed) return GfxResult::CompressedPixels;
    if (palette == nullptr && format == m_format) return GfxResult::Ok;
    PaletteEntry entries[256];
    const PaletteEntry* given = nullptr;
    if (palette != nullptr && palette->Count() > 0) {
        const std::uint32_t n = std::min<std::uint32_t>(palette->Count(), 256);
        palette->GetEntries(entries, 0, n);
        for (std::uint32_t i = n; i < 256; ++i)
            entries[i] = {};
        given = entries;
    }
    if (format == PixelFormat::Indexed8 && (palette == nullptr || palette->Count() != 256)) {
        return GfxResult::BadArgument;
    }
    const std::uint8_t* inverse = nullptr;
    if ((flags & 1) && format == PixelFormat::Indexed8) inverse = palette->GetInverseTable();
    auto out = ConvertBitmap(PackedData(), format, given, inverse);
    if (!out) return GfxResult::BadArgument;
    return SetBlock(std::move(*out));
}

}  // namespace tamboro::gfx
