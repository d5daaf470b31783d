#pragma once
// The base of every picture. Holds size, pixel format, lock state, colour
// keys, the attached palette and clip region (both counted references), and
// the generic operations; the concrete classes are DibSurface (top-down rows
// in memory) and PackedImage (a bottom-up bitmap block, possibly compressed).
//
// Pixel rows follow the device-independent-bitmap rules: each row is padded
// to a multiple of 4 bytes. GetOrientation bit 0 set means rows are stored
// bottom-up. The blitter addresses rows in storage order.
//
// User-interface thread only.
#include <cstdint>
#include <list>
#include <string_view>

#include "gfx/GfxResult.h"
#include "gfx/PixelFormat.h"
#include "gfx/kernels/BlitFlags.h"

namespace tamboro::base {
class Storage;
}

namespace tamboro::gfx {

class GfxSystem;
class Palette;
class ClipRegion;

enum class ImageKind : std::uint32_t { Image = 0, Packed = 1, Dib = 2, Window = 5 };

// Blit flags: gfx/kernels/BlitFlags.h.
class Image;

// The last argument of a blit: a level (0 to 256) for dissolve and blend, or
// an 8-bit mask image (format 4, at least the source's size) for the mask modes.
struct BlitExtra {
    BlitExtra() = default;
    BlitExtra(int l) : level(l) {}    // NOLINT: plain levels read naturally
    BlitExtra(Image* m) : mask(m) {}  // NOLINT
    int level = 0;
    Image* mask = nullptr;
};

// Where Load takes a picture from; the low 4 bits of the load flags choose.
struct ImageSource {
    std::string_view name;             // file path (mode 0) or resource name (mode 1)
    std::string_view type = "BITMAP";  // resource type (mode 1)
    base::Storage* memory = nullptr;   // mode 2: wrapped without copying; caller keeps it
};

// Load flags.
namespace load {
inline constexpr std::uint32_t kFromFile = 0;
inline constexpr std::uint32_t kFromResource = 1;
inline constexpr std::uint32_t kFromMemory = 2;
inline constexpr std::uint32_t kCopy = 0x10000;        // copy the data into an owned block
inline constexpr std::uint32_t kDecompress = 0x20000;  // decompress a compressed picture
}  // namespace load

// Colour-table entry in DIB order.
struct RgbQuad {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};

// What GetDC hands out: the drawing hook through which the user interface
// draws text into an image and shows it. Valid until the image is destroyed
// or re-created.
struct DrawContext {
    std::uint8_t* pixels = nullptr;
    std::uint32_t pitch = 0;  // bytes from one stored row to the next
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::None;
    bool bottomUp = false;
    const RgbQuad* colours = nullptr;  // colour table of 1- to 8-bit images
    int colourCount = 0;
};

class Image {
  public:
    Image();
    virtual ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Clears size, format, lock state, keys, palette and clip (without
    // releasing them).
    virtual void Reset();
    // The software blitter: draws (sx, sy, sw, sh) of this image into (dx, dy,
    // dw, dh) of dest. See Blitter.cpp for the rules.
    virtual GfxResult DrawTo(Image* dest, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                             int sh, std::uint32_t flags, BlitExtra extra);
    virtual GfxResult Create(int width, int height, PixelFormat format);
    virtual GfxResult Load(const ImageSource& source, std::uint32_t flags);
    // The generic copy: the same size, format, rows and palette; rows are
    // flipped when the orientations differ, so the picture keeps its look.
    virtual GfxResult CopyFrom(Image* source);
    virtual GfxResult Convert(PixelFormat format, Palette* palette, std::uint32_t flags);
    // Releases palette and clip, then Reset.
    virtual GfxResult Destroy();
    virtual ImageKind GetKind() const { return ImageKind::Image; }
    virtual int GetWidth() const { return m_width; }
    virtual int GetHeight() const { return m_height; }
    PixelFormat GetFormat() const { return m_format; }
    virtual Palette* GetPalette() const { return m_palette; }
    virtual GfxResult ApplyPalette();
    // Attaches a palette (adds a reference, releases the old one).
    virtual GfxResult SetPalette(Palette* palette);
    // A new empty palette holding one reference, not attached.
    virtual Palette* NewPalette();
    virtual ClipRegion* GetClip() const { return m_clip; }
    virtual GfxResult SetClip(ClipRegion* region);
    virtual ClipRegion* NewClip();
    // BadArgument (2) without a source; otherwise source->DrawTo(this, ...).
    virtual GfxResult BlitFrom(int dx, int dy, int dw, int dh, Image* source, int sx, int sy,
                               int sw, int sh, std::uint32_t flags, BlitExtra extra);
    // Fills a rectangle with a pixel value (clipped to the image).
    virtual GfxResult FillRect(int x, int y, int w, int h, std::uint32_t colour);
    // A line from (x1, y1) towards (x2, y2), the end point left out.
    virtual GfxResult DrawLine(int x1, int y1, int x2, int y2, std::uint32_t colour);
    // The pixel value at picture coordinates; 0 outside, when empty, and for
    // 1-, 2- and 4-bit images.
    virtual std::uint32_t GetPixel(int x, int y);
    virtual GfxResult SetPixel(int x, int y, std::uint32_t colour);
    // Hands out the pixels (first stored row) and the row pitch.
    virtual GfxResult Lock(std::uint8_t** bits, std::uint32_t* pitch);
    virtual GfxResult Unlock();
    virtual DrawContext* GetDC() { return nullptr; }
    virtual void ReleaseDC(DrawContext*) {}
    // Bit 0 set: rows are stored bottom-up.
    virtual std::uint32_t GetOrientation() const { return 0; }

    // Public by design: owners set them directly.
    std::uint32_t sourceKey = 0;  // transparent colour as a blit source
    std::uint32_t destKey = 0;    // colour a destination-key blit may overwrite

  protected:
    // Whether `palette` can colour a picture of this image's format: one
    // entry for every pixel value of a 1- to 8-bit format. Empty for no
    // format, PaletteEmpty, PaletteSizeMismatch, or Ok.
    GfxResult CheckPaletteFits(const Palette& palette) const;
    std::uint16_t m_width = 0;
    std::uint16_t m_height = 0;
    PixelFormat m_format = PixelFormat::None;
    std::uint8_t* m_lockedBits = nullptr;
    std::uint32_t m_lockedPitch = 0;
    std::uint16_t m_lockCount = 0;
    Palette* m_palette = nullptr;
    ClipRegion* m_clip = nullptr;

  private:
    friend class GfxSystem;
    GfxSystem* m_system = nullptr;
    std::list<Image*>::iterator m_node;
};

}  // namespace tamboro::gfx
