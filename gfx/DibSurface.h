#pragma once
// The image the console draws on: a top-down pixel buffer (rows padded to 4
// bytes) with a 256-entry colour table. The blitter writes the pixels
// directly; the user interface reaches the same pixels through GetDC (a
// DrawContext) to draw text into the surface and to show it.
//
// A palette change reaches the colour table lazily: the next Lock, GetDC or
// SetPalette copies the colours when the palette's serial moved.
// User-interface thread only.
#include <array>
#include <memory>

#include "gfx/Image.h"

namespace tamboro::gfx {

class DibSurface : public Image {
  public:
    DibSurface();
    ~DibSurface() override;

    void Reset() override;
    // BadArgument (2) for sizes outside 1..65535 and for formats that cannot
    // be created (6, 8, 10, 12, 14); the surface is then empty. New pixels
    // are zero, the colour table black.
    GfxResult Create(int width, int height, PixelFormat format) override;
    // Loads through a temporary PackedImage (decompressed), then CopyFrom.
    GfxResult Load(const ImageSource& source, std::uint32_t flags) override;
    // Converts through a temporary PackedImage; answers the first failing
    // step's code.
    GfxResult Convert(PixelFormat format, Palette* palette, std::uint32_t flags) override;
    GfxResult Destroy() override;
    ImageKind GetKind() const override { return ImageKind::Dib; }
    GfxResult ApplyPalette() override;
    // Empty (3) when empty, PaletteEmpty (11) for a palette without entries,
    // PaletteSizeMismatch (10) when its count is not 2^bits; the old palette
    // then stays attached.
    GfxResult SetPalette(Palette* palette) override;
    GfxResult Lock(std::uint8_t** bits, std::uint32_t* pitch) override;
    GfxResult Unlock() override { return GfxResult::Ok; }
    // Null when empty; otherwise applies the palette and hands out the
    // surface's drawing context. Lock and GetDC nest freely; nothing needs
    // releasing.
    DrawContext* GetDC() override;
    void ReleaseDC(DrawContext*) override {}
    std::uint32_t GetOrientation() const override { return 0; }

    const RgbQuad* ColourTable() const { return m_colours.data(); }

  private:
    std::unique_ptr<std::uint8_t[]> m_bits;
    std::uint32_t m_pitch = 0;
    std::array<RgbQuad, 256> m_colours{};
    std::uint32_t m_appliedSerial = 0;
    DrawContext m_dc;
};

}  // namespace tamboro::gfx
