#include "gfx/DibSurface.h"

#include <new>

#include "gfx/PackedImage.h"
#include "gfx/Palette.h"

namespace tamboro::gfx {

DibSurface::DibSurface() {
    DibSurface::Reset();
}

DibSurface::~DibSurface() {
    DibSurface::Destroy();
}

void DibSurface::Reset() {
    Image::Reset();
    m_bits.reset();
    m_pitch = 0;
    m_dc = DrawContext{};
}

GfxResult DibSurface::Destroy() {
    SetPalette(nullptr);
    SetClip(nullptr);
    m_colours.fill(RgbQuad{});
    Reset();
    return GfxResult::Ok;
}

GfxResult DibSurface::Create(int width, int height, PixelFormat format) {
    Destroy();
    if (width < 1 || width > 65535 || height < 1 || height > 65535 || !CanCreate(format)) {
        return GfxResult::BadArgument;
    }
    const std::uint32_t pitch = RowBytes(format, static_cast<std::uint32_t>(width));
    m_bits.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(pitch) * height]());
    if (!m_bits) {
        Destroy();
        return GfxResult::BadArgument;
    }
    m_pitch = pitch;
    m_width = static_cast<std::uint16_t>(width);
    m_height = static_cast<std::uint16_t>(height);
    m_format = format;
    return GfxResult::Ok;
}

GfxResult DibSurface::Load(const ImageSource& source, std::uint32_t flags) {
    PackedImage temp;
    const GfxResult r = temp.Load(source, flags);
    if (r != GfxResult::Ok) return r;
    if (temp.IsCompressed()) temp.Decompress();
    return CopyFrom(&temp);
}

GfxResult DibSurface::Convert(PixelFormat format, Palette* palette, std::uint32_t flags) {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    PackedImage temp;
    if (GfxResult r = temp.CopyFrom(this); r != GfxResult::Ok) return r;
    if (GfxResult r = temp.Convert(format, palette, flags); r != GfxResult::Ok) return r;
    if (GfxResult r = CopyFrom(&temp); r != GfxResult::Ok) return r;
    if (palette != nullptr && BitsPerPixel(m_format) <= 8) return SetPalette(palette);
    return GfxResult::Ok;
}

GfxResult DibSurface::ApplyPalette() {
    if (m_palette == nullptr || m_palette->Serial() == m_appliedSerial) return GfxResult::Ok;
    const PaletteEntry* e = m_palette->Entries();
    const std::uint32_t n = std::min<std::uint32_t>(m_palette->Count(), 256);
    for (std::uint32_t i = 0; i < n; ++i)
        m_colours[i] = {e[i].blue, e[i].green, e[i].red, 0};
    m_appliedSerial = m_palette->Serial();
    return GfxResult::Ok;
}

GfxResult DibSurface::SetPalette(Palette* palette) {
    if (palette == nullptr) return Image::SetPalette(nullptr);
    if (const GfxResult fits = CheckPaletteFits(*palette); fits != GfxResult::Ok) return fits;
    Image::SetPalette(palette);
    m_appliedSerial = palette->Serial() - 1;
    return ApplyPalette();
}

GfxResult DibSurface::Lock(std::uint8_t** bits, std::uint32_t* pitch) {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    ApplyPalette();
    if (bits != nullptr) *bits = m_bits.get();
    if (pitch != nullptr) *pitch = m_pitch;
    return GfxResult::Ok;
}

DrawContext* DibSurface::GetDC() {
    if (m_format == PixelFormat::None) return nullptr;
    ApplyPalette();
    const int bits = BitsPerPixel(m_format);
    m_dc = DrawContext{m_bits.get(), m_pitch, m_width,          m_height,
                       m_format,     false,   m_colours.data(), bits <= 8 ? 1 << bits : 0};
    return &m_dc;
}

}  // namespace tamboro::gfx
