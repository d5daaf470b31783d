#include "console/logic/ConsoleCanvas.h"

#include <algorithm>

#include "gfx/Palette.h"

namespace tamboro::console {

using layout::Rect;

ConsoleCanvas::ConsoleCanvas(const ConsoleSkin& skin, gfx::DibSurface* back)
    : m_skin(skin),
      m_ownBack(back == nullptr ? std::make_unique<gfx::DibSurface>() : nullptr),
      m_back(back == nullptr ? m_ownBack.get() : back) {
    if (m_back->GetWidth() != layout::kConsoleWidth ||
        m_back->GetHeight() != layout::kConsoleHeight ||
        m_back->GetFormat() != gfx::PixelFormat::Indexed8) {
        m_back->Create(layout::kConsoleWidth, layout::kConsoleHeight, gfx::PixelFormat::Indexed8);
    }
    TakeSkinPalette();
}

void ConsoleCanvas::TakeSkinPalette() {
    if (gfx::Palette* palette = m_skin.ConsolePalette()) m_back->SetPalette(palette);
}

ConsoleCanvas::~ConsoleCanvas() = default;

std::uint8_t ConsoleCanvas::PixelAt(int x, int y) const {
    return static_cast<std::uint8_t>(m_back->GetPixel(x, y));
}

void ConsoleCanvas::MarkDirty(const Rect& r) {
    // Clip to the console; merge with a rectangle it overlaps so that a
    // tick's repaints stay a handful of rectangles.
    const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    const int x1 = std::min(r.Right(), layout::kConsoleWidth);
    const int y1 = std::min(r.Bottom(), layout::kConsoleHeight);
    if (x1 <= x0 || y1 <= y0) return;
    Rect c{x0, y0, x1 - x0, y1 - y0};
    for (auto it = m_dirty.begin(); it != m_dirty.end(); ++it) {
        if (it->Overlaps(c)) {
            const int ux0 = std::min(it->x, c.x), uy0 = std::min(it->y, c.y);
            const int ux1 = std::max(it->Right(), c.Right());
            const int uy1 = std::max(it->Bottom(), c.Bottom());
            m_dirty.erase(it);
            MarkDirty(Rect{ux0, uy0, ux1 - ux0, uy1 - uy0});
            return;
        }
    }
    m_dirty.push_back(c);
}

std::vector<Rect> ConsoleCanvas::TakeDirty() {
    std::vector<Rect> out;
    out.swap(m_dirty);
    return out;
}

void ConsoleCanvas::Copy(gfx::DibSurface* picture, int x, int y, bool masked) {
    if (picture == nullptr) return;
    const int w = picture->GetWidth(), h = picture->GetHeight();
    m_back->BlitFrom(x, y, w, h, picture, 0, 0, w, h, masked ? gfx::blit::kSourceKey : 0, {});
    MarkDirty(Rect{x, y, w, h});
}

void ConsoleCanvas::DrawBackground() {
    if (m_skin.Back() == nullptr) {
        m_back->FillRect(0, 0, layout::kConsoleWidth, layout::kConsoleHeight, 0);
        MarkDirty(layout::kConsole);
        return;
    }
    Copy(m_skin.Back(), 0, 0, false);
}

void ConsoleCanvas::DrawPad(int ch, PadPicture picture) {
    if (ch < 0 || ch >= kChannels) return;
    const Rect r = PadRect(ch);
    Copy(m_skin.Pad(ch, picture), r.x, r.y, true);
}

void ConsoleCanvas::DrawModes(KnobMode mode) {
    const bool volume = mode == KnobMode::Volume;
    Copy(m_skin.VolumeMode(volume), layout::kVolumeModePicture.x, layout::kVolumeModePicture.y,
         false);
    Copy(m_skin.PanMode(!volume), layout::kPanModePicture.x, layout::kPanModePicture.y, false);
}

void ConsoleCanvas::DrawMaster(int value) {
    // The pictures are masked: the background goes under them first, so a
    // lower step does not keep the lit parts of a higher one.
    const Rect r = layout::kMasterVolumePicture;
    if (m_skin.Back() != nullptr) {
        m_back->BlitFrom(r.x, r.y, r.w, r.h, m_skin.Back(), r.x, r.y, r.w, r.h, 0, {});
    }
    Copy(m_skin.Volume(MasterPictureIndex(value)), r.x, r.y, true);
    MarkDirty(r);
}

void ConsoleCanvas::DrawPower(bool down) {
    Copy(m_skin.Power(down), layout::kPowerSwitch.x, layout::kPowerSwitch.y, true);
}

void ConsoleCanvas::DrawMeter(const MeterLengths& lengths) {
    const Rect m = layout::kMeterWindow;
    Copy(m_skin.Meter(0), m.x, m.y, true);
    gfx::DibSurface* lit = m_skin.Meter(1);
    const int l = std::clamp(lengths.left, 0, kMeterHalfWidth);
    const int r = std::clamp(lengths.right, 0, kMeterHalfWidth);
    if (lit == nullptr || l + r == 0) return;
    const int sx = kMeterHalfWidth - l;
    m_back->BlitFrom(m.x + sx, m.y, l + r, lit->GetHeight(), lit, sx, 0, l + r, lit->GetHeight(),
                     gfx::blit::kSourceKey, {});
    MarkDirty(m);
}

void ConsoleCanvas::RestoreTextPanel() {
    const Rect r = layout::kTextPanel;
    if (m_skin.Back() != nullptr) {
        m_back->BlitFrom(r.x, r.y, r.w, r.h, m_skin.Back(), r.x, r.y, r.w, r.h, 0, {});
    }
    MarkDirty(r);
}

std::uint8_t NearestIndex(const gfx::DibSurface& surface, Rgb c) {
    gfx::Palette* palette = surface.GetPalette();
    const std::uint8_t* inverse = palette != nullptr ? palette->GetInverseTable() : nullptr;
    if (inverse == nullptr) return 0;
    return inverse[(c.red >> 3) << 10 | (c.green >> 3) << 5 | (c.blue >> 3)];
}

void DrawCoverageOn(gfx::DibSurface& surface, const Rect& clip, int x, int y,
                    const std::uint8_t* mask, int pitch, int width, int height, Rgb colour) {
    gfx::Palette* palette = surface.GetPalette();
    const std::uint8_t* inverse = palette != nullptr ? palette->GetInverseTable() : nullptr;
    if (inverse == nullptr || mask == nullptr) return;
    const gfx::PaletteEntry* entries = palette->Entries();
    const std::uint32_t count = palette->Count();
    std::uint8_t* bits = nullptr;
    std::uint32_t rowPitch = 0;
    if (surface.Lock(&bits, &rowPitch) != gfx::GfxResult::Ok) return;
    const int x0 = std::max(clip.x, 0), y0 = std::max(clip.y, 0);
    const int x1 = std::min(clip.Right(), surface.GetWidth());
    const int y1 = std::min(clip.Bottom(), surface.GetHeight());
    for (int j = 0; j < height; ++j) {
        const int py = y + j;
        if (py < y0 || py >= y1) continue;
        for (int i = 0; i < width; ++i) {
            const int px = x + i;
            const unsigned c = mask[static_cast<std::size_t>(j) * static_cast<std::size_t>(pitch) +
                                    static_cast<std::size_t>(i)];
            if (c == 0 || px < x0 || px >= x1) continue;
            std::uint8_t& dst =
                bits[static_cast<std::size_t>(py) * rowPitch + static_cast<std::size_t>(px)];
            const gfx::PaletteEntry under = dst < count ? entries[dst] : gfx::PaletteEntry{};
            const auto mix = [c](unsigned fg, unsigned bg) {
                return (fg * c + bg * (255 - c)) / 255;
            };
            const unsigned r = mix(colour.red, under.red);
            const unsigned g = mix(colour.green, under.green);
            const unsigned b = mix(colour.blue, under.blue);
            dst = inverse[(r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)];
        }
    }
    surface.Unlock();
}

std::uint8_t ConsoleCanvas::Nearest(Rgb c) const {
    return NearestIndex(*m_back, c);
}

void ConsoleCanvas::DrawCoverage(int x, int y, const std::uint8_t* mask, int pitch, int width,
                                 int height, Rgb colour) {
    DrawCoverageOn(*m_back, layout::kTextPanel, x, y, mask, pitch, width, height, colour);
    MarkDirty(Rect{x, y, width, height});
}

void ConsoleCanvas::DrawBeat(int beat) {
    const std::uint8_t lit = Nearest(kBeatLit), dark = Nearest(kBeatDark);
    for (int i = 0; i < 4; ++i) {
        const int x = kBeatLights.x + i * (kBeatLightSize + kBeatLightGap);
        m_back->FillRect(x, kBeatLights.y, kBeatLightSize, kBeatLightSize, i == beat ? lit : dark);
    }
    MarkDirty(kBeatLights);
}

void ConsoleCanvas::DrawKnob(int ch, int position, gfx::DibSurface& knob) const {
    const Rect r = KnobRect(ch);
    if (knob.GetWidth() != r.w || knob.GetHeight() != r.h) {
        knob.Create(r.w, r.h, gfx::PixelFormat::Indexed8);
    }
    if (gfx::Palette* palette = m_skin.ConsolePalette()) {
        if (knob.GetPalette() != palette) knob.SetPalette(palette);
    }
    if (m_skin.Back() != nullptr) {
        knob.BlitFrom(0, 0, r.w, r.h, m_skin.Back(), r.x, r.y, r.w, r.h, 0, {});
    }
    if (gfx::DibSurface* strip = m_skin.Knob()) {
        const int k = std::clamp(position, 0, kKnobMax);
        knob.BlitFrom(0, 0, r.w, r.h, strip, 0, layout::kKnobSize * k, layout::kKnobSize,
                      layout::kKnobSize, gfx::blit::kSourceKey, {});
    }
}

}  // namespace tamboro::console
