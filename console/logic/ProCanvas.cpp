#include "console/logic/ProCanvas.h"

#include <algorithm>
#include <string>

#include "console/layout/ProLayout.h"
#include "console/layout/SkinImages.h"
#include "gfx/Palette.h"

namespace tamboro::console {

using layout::Rect;

namespace {

// Without BACK: a grey ramp with the lane colours exact, so the console
// still shows its lanes and text.
gfx::Palette* FallbackPalette() {
    gfx::Palette* palette = gfx::Palette::New();
    palette->Create(256);
    gfx::PaletteEntry entries[256];
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        entries[i] = {v, v, v, 0};
    }
    const Rgb exact[] = {kProLaneEnabled, kProLaneDisabled, kProThumbnailBack,
                         kProLoopWave,    kProEffectWave,   kProNameText};
    int at = 200;
    for (const Rgb& c : exact)
        entries[at++] = {c.red, c.green, c.blue, 0};
    palette->SetEntries(entries, 0, 256);
    return palette;
}

}  // namespace

ProCanvas::ProCanvas(gfx::DibSurface* back)
    : m_ownBack(back == nullptr ? std::make_unique<gfx::DibSurface>() : nullptr),
      m_back(back == nullptr ? m_ownBack.get() : back) {
    if (m_back->GetWidth() != layout::kConsoleWidth ||
        m_back->GetHeight() != layout::kConsoleHeight ||
        m_back->GetFormat() != gfx::PixelFormat::Indexed8) {
        m_back->Create(layout::kConsoleWidth, layout::kConsoleHeight, gfx::PixelFormat::Indexed8);
    }
}

ProCanvas::~ProCanvas() = default;

bool ProCanvas::LoadSkin(int theme) {
    m_skin.reset();
    auto back = std::make_unique<gfx::DibSurface>();
    const std::string name = layout::ThemePrefix(layout::SkinSet::Pro, theme) + "BACK";
    const bool loaded =
        theme >= 0 && theme < layout::kThemeCount &&
        back->Load({name, layout::kBitmapType},
                   gfx::load::kFromResource | gfx::load::kDecompress) == gfx::GfxResult::Ok &&
        back->GetWidth() == layout::kConsoleWidth && back->GetHeight() == layout::kConsoleHeight &&
        back->GetPalette() != nullptr;
    if (loaded) {
        m_skin = std::move(back);
        m_back->SetPalette(m_skin->GetPalette());
    } else {
        gfx::Palette* palette = FallbackPalette();
        m_back->SetPalette(palette);
        palette->Release();
    }
    return loaded;
}

void ProCanvas::FreeSkin() {
    m_skin.reset();
}

std::uint8_t ProCanvas::PixelAt(int x, int y) const {
    return static_cast<std::uint8_t>(m_back->GetPixel(x, y));
}

Rect ProCanvas::DrawBackground() {
    return Restore(layout::kConsole);
}

Rect ProCanvas::Restore(const Rect& r) {
    if (m_skin != nullptr) {
        m_back->BlitFrom(r.x, r.y, r.w, r.h, m_skin.get(), r.x, r.y, r.w, r.h, 0, {});
    } else {
        m_back->FillRect(r.x, r.y, r.w, r.h, Nearest(kProBlack));
    }
    return r;
}

Rect ProCanvas::Fill(const Rect& r, Rgb colour) {
    m_back->FillRect(r.x, r.y, r.w, r.h, Nearest(colour));
    return r;
}

Rect ProCanvas::DrawText(const Rect& clip, int x, int y, const std::uint8_t* mask, int pitch,
                         int width, int height, Rgb colour) {
    DrawCoverageOn(*m_back, clip, x, y, mask, pitch, width, height, colour);
    return Rect{x, y, width, height};
}

std::unique_ptr<gfx::DibSurface> ProCanvas::MakeThumbnail(const audio::Wave* preview, int width,
                                                          bool effect) const {
    if (preview == nullptr || width <= 0) return nullptr;
    auto thumb = std::make_unique<gfx::DibSurface>();
    if (thumb->Create(width, layout::kProLaneHeight, gfx::PixelFormat::Indexed8) !=
        gfx::GfxResult::Ok)
        return nullptr;
    if (gfx::Palette* palette = m_back->GetPalette()) thumb->SetPalette(palette);
    thumb->FillRect(0, 0, width, layout::kProLaneHeight, Nearest(kProThumbnailBack));
    const std::uint8_t pen = Nearest(effect ? kProEffectWave : kProLoopWave);
    const std::vector<ThumbnailColumn> columns =
        ThumbnailColumns(*preview, width, layout::kProLaneHeight);
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
        const ThumbnailColumn& c = columns[static_cast<std::size_t>(x)];
        const int top = std::clamp(c.top, 0, layout::kProLaneHeight);
        const int bottom = std::clamp(c.bottom, 0, layout::kProLaneHeight);
        if (bottom > top) thumb->FillRect(x, top, 1, bottom - top, pen);
    }
    return thumb;
}

Rect ProCanvas::DrawLane(int ch, const ProTimeline& timeline, const LaneView& view) {
    const Rect lane = layout::ProLaneRect(ch);
    Fill(lane, view.enabled ? kProLaneEnabled : kProLaneDisabled);
    if (view.events != nullptr) {
        const std::uint8_t dark = Nearest(kProThumbnailBack);
        const std::uint8_t mark = Nearest(kProPeriodMark);
        auto* thumb = const_cast<gfx::DibSurface*>(view.thumbnail);
        const int thumbWidth = thumb != nullptr ? thumb->GetWidth() : 0;
        for (const SoundingPeriod& period : SoundingPeriods(*view.events)) {
            if (thumb != nullptr && view.loopMillis > 0) {
                for (const ThumbnailSpan& s :
                     ThumbnailSpans(timeline, period, view.loopMillis, view.effect, thumbWidth)) {
                    m_back->BlitFrom(lane.x + s.x, lane.y, s.width, lane.h, thumb, s.sourceX, 0,
                                     s.width, lane.h, 0, {});
                }
                continue;
            }
            // No loop in the channel: the period as a dark strip with the
            // red pen (2 pixels) through its middle.
            const int x0 = std::max(timeline.XAtTime(period.start), 0);
            const int x1 =
                period.end == kNoTime ? lane.w : std::min(timeline.XAtTime(period.end), lane.w);
            if (x1 <= x0) continue;
            m_back->FillRect(lane.x + x0, lane.y, x1 - x0, lane.h, dark);
            m_back->FillRect(lane.x + x0, lane.y + lane.h / 2 - 1, x1 - x0, 2, mark);
        }
    }
    if (view.playback) {
        if (const std::optional<int> x = timeline.PlaybackX(*view.playback)) {
            m_back->FillRect(lane.x + *x, lane.y, 1, lane.h, Nearest(kProPlaybackLine));
        }
    }
    return lane;
}

}  // namespace tamboro::console
