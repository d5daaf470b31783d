#include "gfx/Display.h"

#include "gfx/GfxSystem.h"
#include "gfx/Palette.h"

namespace tamboro::gfx {

PixelFormat ScreenFormat(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
            return PixelFormat::Indexed1;
        case 2:
            return PixelFormat::Indexed2;
        case 4:
            return PixelFormat::Indexed4;
        case 8:
            return PixelFormat::Indexed8;
        case 16:
            return PixelFormat::Rgb555;
        case 24:
            return PixelFormat::Bgr24;
        case 32:
            return PixelFormat::Bgrx32;
        default:
            return PixelFormat::None;
    }
}

WindowSurface::~WindowSurface() = default;

GfxResult WindowSurface::Attach(DisplayWindow* window, bool background) {
    Destroy();
    m_window = window;
    m_background = background;
    m_format = window != nullptr ? ScreenFormat(window->ScreenBits()) : PixelFormat::None;
    return GfxResult::Ok;
}

GfxResult WindowSurface::Destroy() {
    Image::Destroy();
    m_window = nullptr;
    return GfxResult::Ok;
}

int WindowSurface::GetWidth() const {
    return m_window != nullptr ? m_window->ClientWidth() : 0;
}

int WindowSurface::GetHeight() const {
    return m_window != nullptr ? m_window->ClientHeight() : 0;
}

GfxResult WindowSurface::DrawTo(Image*, int, int, int, int, int, int, int, int, std::uint32_t,
                                BlitExtra) {
    return GfxResult::BadArgument;
}

GfxResult WindowSurface::BlitFrom(int dx, int dy, int dw, int dh, Image* source, int sx, int sy,
                                  int sw, int sh, std::uint32_t, BlitExtra) {
    if (source == nullptr || m_window == nullptr) return GfxResult::BadArgument;
    DrawContext* dc = source->GetDC();
    if (dc == nullptr || dc->pixels == nullptr) return GfxResult::BadArgument;
    m_window->Present(*dc, dx, dy, dw, dh, sx, sy, sw, sh);
    source->ReleaseDC(dc);
    return GfxResult::Ok;
}

GfxResult WindowSurface::FillRect(int x, int y, int w, int h, std::uint32_t colour) {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    if (m_window == nullptr) return GfxResult::BadArgument;
    m_window->Fill(x, y, w, h, colour);
    return GfxResult::Ok;
}

GfxResult WindowSurface::Lock(std::uint8_t**, std::uint32_t*) {
    return GfxResult::NotSupported;
}

Display::~Display() {
    Close();
}

GfxResult Display::Open(int width, int height, PixelFormat format, DisplayWindow* window,
                        std::uint32_t flags) {
    Close();
    if (window == nullptr) return GfxResult::BadArgument;
    m_window = window;
    m_screen = std::make_unique<WindowSurface>();
    m_screen->Attach(window, (flags & display::kPaletteManaged) != 0);
    m_backBuffer = GfxSystem::Current() != nullptr ? GfxSystem::Current()->NewSurface()
                                                   : std::make_unique<DibSurface>();
    m_backBuffer->Create(width, height, format);
    m_paletteManaged = (flags & display::kPaletteManaged) != 0;
    const bool fullScreen =
        (flags & display::kFullScreen) != 0 && (flags & display::kPaletteManaged) != 0;
    m_resizable = !fullScreen && (flags & display::kResizable) != 0;
    m_fullScreen = fullScreen && window->SetFullScreen(true);
    return GfxResult::Ok;
}

GfxResult Display::Close() {
    if (m_window == nullptr) return GfxResult::Ok;
    if (m_fullScreen) m_window->SetFullScreen(false);
    m_screen.reset();
    m_backBuffer.reset();
    m_window = nullptr;
    m_fullScreen = false;
    m_resizable = false;
    m_paletteManaged = false;
    return GfxResult::Ok;
}

int Display::QueryNewPalette() {
    return 0;
}

int Display::PaletteChanged() {
    return m_paletteManaged ? QueryNewPalette() : 0;
}

void Display::Paint() {
    if (m_window == nullptr || m_backBuffer == nullptr) return;
    const int w = m_backBuffer->GetWidth();
    const int h = m_backBuffer->GetHeight();
    if (w == 0 || h == 0) return;
    m_screen->BlitFrom(0, 0, w, h, m_backBuffer.get(), 0, 0, w, h, 0, {});
}

void Display::Size(int cx, int cy) {
    if (!m_resizable || m_window == nullptr || m_backBuffer == nullptr) return;
    Palette* palette = m_backBuffer->GetPalette();
    if (palette != nullptr) palette->AddRef();
    m_backBuffer->Create(cx, cy, m_backBuffer->GetFormat());
    if (palette != nullptr) {
        m_backBuffer->SetPalette(palette);
        palette->Release();
    }
}

}  // namespace tamboro::gfx
