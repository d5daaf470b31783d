#pragma once
// A picture the way it lies in a bitmap file or resource: one block holding
// an info header, its colour table or masks, and the pixels (bottom-up rows)
// or codec data. The block can be compressed in place with "PKC1"/"PKC2"
// ("PKCC" picks), "ARLE", "PRLE" or "TRLE" (see Codecs.h); a compressed image
// cannot be locked or drawn until it is decompressed.
//
// Every block is checked when it is taken (see ParseBitmap): a damaged
// header is refused with BadArgument instead of being read. User-interface
// thread only.
#include <memory>

#include "base/Storage.h"
#include "gfx/BitmapHeader.h"
#include "gfx/Codecs.h"
#include "gfx/Image.h"

namespace tamboro::gfx {

class PackedImage : public Image {
  public:
    PackedImage();
    ~PackedImage() override;

    void Reset() override;
    // An uncompressed picture of a creatable format; pixels zero.
    GfxResult Create(int width, int height, PixelFormat format) override;
    // Mode (flags & 0xF): 0 file path, 1 embedded resource (name, type),
    // 2 the caller's storage wrapped without copying (it must stay alive and
    // addressable). kCopy takes a private copy; kDecompress decompresses a
    // compressed picture. BMP RLE8 pictures are expanded on load. Answers
    // BadArgument (2) for an unknown mode, a missing or damaged block.
    GfxResult Load(const ImageSource& source, std::uint32_t flags) override;
    // A packed source is copied whole (compressed or not); others by the
    // generic copy. BadArgument (2) for none, Empty (3) for an empty source.
    GfxResult CopyFrom(Image* source) override;
    // Converts between formats 4, 7, 9, 11 and 13 (sources also 8, 10, 12,
    // 14). To format 4 a palette of 256 entries is required; flags bit 0
    // then uses the palette's inverse table (fast), otherwise the octree.
    GfxResult Convert(PixelFormat format, Palette* palette, std::uint32_t flags) override;
    GfxResult Destroy() override;
    ImageKind GetKind() const override { return ImageKind::Packed; }
    GfxResult ApplyPalette() override;
    GfxResult SetPalette(Palette* palette) override;
    GfxResult Lock(std::uint8_t** bits, std::uint32_t* pitch) override;
    GfxResult Unlock() override;
    std::uint32_t GetOrientation() const override { return 1; }

    // Takes a block (checked first). `writable` allows ApplyPalette to write
    // the colour table into it.
    GfxResult SetBlock(std::unique_ptr<base::Storage> block, bool writable = true);
    GfxResult SetBlock(Bytes bytes);
    // The info header, or null.
    const std::uint8_t* GetHeader() const;
    // The packed bitmap from the info header to the end of its data.
    ByteView PackedData() const;
    const BitmapInfo& Info() const { return m_info; }

    // Stays usable on failure: Empty (3) no block, AlreadyCompressed (7),
    // Locked (4), UnknownCompression (5) for codes other than "PKCC",
    // "ARLE", "PRLE", "TRLE", BadArgument (2) when the codec refuses the
    // picture (ARLE and PRLE take 8-bit plain pictures, TRLE 8 to 32 bits).
    GfxResult Compress(std::uint32_t code);
    // Empty (3), NotCompressed (6), UnknownCompression (5), BadArgument (2)
    // for damaged codec data (the image is left as it was).
    GfxResult Decompress();
    bool IsCompressed() const { return m_compressed; }

  private:
    // Swaps in a new block of our own making, keeping size, format and
    // palette; false when it does not parse.
    bool ReplaceBlock(Bytes bytes);

    std::unique_ptr<base::Storage> m_block;
    std::uint8_t* m_data = nullptr;  // the block, locked for the image's life
    std::size_t m_size = 0;
    BitmapInfo m_info;
    bool m_compressed = false;
    bool m_writable = false;
    std::uint32_t m_appliedSerial = 0;
};

// A storage object that owns a byte vector.
class OwnedBytes final : public base::Storage {
  public:
    explicit OwnedBytes(Bytes bytes);

  private:
    Bytes m_bytes;
};

// Converts a plain packed bitmap (compression 0 or 3). `entries` holds 256
// palette entries (needed for target 4); with `inverse` (a palette's inverse
// table) the fast 8-bit conversion is used. Nothing for unsupported formats.
std::optional<Bytes> ConvertBitmap(ByteView plain, PixelFormat target,
                                   const struct PaletteEntry* entries, const std::uint8_t* inverse);

}  // namespace tamboro::gfx
