#include "gfx/Image.h"

#include <cstring>

#include "gfx/ClipRegion.h"
#include "gfx/GfxSystem.h"
#include "gfx/Palette.h"

namespace tamboro::gfx {

Image::Image() {
    if (GfxSystem* sys = GfxSystem::Current()) {
        m_system = sys;
        m_node = sys->m_images.insert(sys->m_images.end(), this);
    }
    Image::Reset();
}

Image::~Image() {
    Image::Destroy();
    if (m_system != nullptr) m_system->m_images.erase(m_node);
}

void Image::Reset() {
    m_width = 0;
    m_height = 0;
    m_format = PixelFormat::None;
    m_lockedBits = nullptr;
    m_lockedPitch = 0;
    m_lockCount = 0;
    sourceKey = 0;
    destKey = 0;
    m_palette = nullptr;
    m_clip = nullptr;
}

GfxResult Image::Create(int, int, PixelFormat) {
    return GfxResult::NotSupported;
}
GfxResult Image::Load(const ImageSource&, std::uint32_t) {
    return GfxResult::NotSupported;
}
GfxResult Image::Convert(PixelFormat, Palette*, std::uint32_t) {
    return GfxResult::NotSupported;
}
GfxResult Image::ApplyPalette() {
    return GfxResult::NotSupported;
}
GfxResult Image::Lock(std::uint8_t**, std::uint32_t*) {
    return GfxResult::NotSupported;
}
GfxResult Image::Unlock() {
    return GfxResult::NotSupported;
}

GfxResult Image::Destroy() {
    if (m_palette != nullptr) m_palette->Release();
    if (m_clip != nullptr) m_clip->Release();
    m_palette = nullptr;
    m_clip = nullptr;
    Reset();
    return GfxResult::Ok;
}

GfxResult Image::SetPalette(Palette* palette) {
    if (palette != nullptr) palette->AddRef();
    if (m_palette != nullptr) m_palette->Release();
    m_palette = palette;
    return GfxResult::Ok;
}

Palette* Image::NewPalette() {
    return Palette::New();
}

GfxResult Image::SetClip(ClipRegion* region) {
    if (region != nullptr) region->AddRef();
    if (m_clip != nullptr) m_clip->Release();
    m_clip = region;
    return GfxResult::Ok;
}

ClipRegion* Image::NewClip() {
    return ClipRegion::New();
}

GfxResult Image::BlitFrom(int dx, int dy, int dw, int dh, Image* source, int sx, int sy, int sw,
                          int sh, std::uint32_t flags, BlitExtra extra) {
    if (source == nullptr) return GfxResult::BadArgument;
    return source->DrawTo(this, dx, dy, dw, dh, sx, sy, sw, sh, flags, extra);
}

GfxResult Image::CopyFrom(Image* source) {
    if (source == nullptr) return GfxResult::BadArgument;
    if (source == this) return GfxResult::BadArgument;
    std::uint8_t* srcBits = nullptr;
    std::uint32_t srcPitch = 0;
    if (GfxResult r = source->Lock(&srcBits, &srcPitch); r != GfxResult::Ok) return r;
    Destroy();
    if (GfxResult r = Create(source->GetWidth(), source->GetHeight(), source->GetFormat());
        r != GfxResult::Ok) {
        source->Unlock();
        return r;
    }
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    if (GfxResult r = Lock(&bits, &pitch); r != GfxResult::Ok) {
        source->Unlock();
        return r;
    }
    const std::uint32_t rowBytes = RowBytes(m_format, m_width);
    const bool same = (GetOrientation() & 1) == (source->GetOrientation() & 1);
    for (int row = 0; row < m_height; ++row) {
        const int to = same ? row : m_height - 1 - row;
        std::memcpy(bits + static_cast<std::size_t>(to) * pitch,
                    srcBits + static_cast<std::size_t>(row) * srcPitch, rowBytes);
    }
    Unlock();
    source->Unlock();
    if (Palette* srcPal = source->GetPalette()) {
        Palette* pal = NewPalette();
        pal->CopyFrom(srcPal);
        SetPalette(pal);
        pal->Release();
    }
    return GfxResult::Ok;
}

GfxResult Image::CheckPaletteFits(const Palette& palette) const {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    if (palette.Count() == 0) return GfxResult::PaletteEmpty;
    const int bits = BitsPerPixel(m_format);
    if (bits == 0 || bits > 8 || (1u << bits) != palette.Count()) {
        return GfxResult::PaletteSizeMismatch;
    }
    return GfxResult::Ok;
}

}  // namespace tamboro::gfx
