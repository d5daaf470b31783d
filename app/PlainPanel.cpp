#include "app/PlainPanel.h"

#include "app/CMainFrame.h"
#include "app/core/Accelerators.h"
#include "console/layout/ConsoleLayout.h"
#include "console/layout/SkinImages.h"
#include "console/logic/ConsoleLayout.h"
#include "gfx/Palette.h"

namespace tamboro::app {
namespace {

namespace layout = console::layout;

// Colour indexes of the plain palette.
constexpr std::uint32_t kBackground = 1;
constexpr std::uint32_t kPadEmpty = 2;
constexpr std::uint32_t kPadLoaded = 3;
constexpr std::uint32_t kPadSounding = 4;
constexpr std::uint32_t kPadEffect = 5;

gfx::Palette* PlainPalette() {
    gfx::Palette* palette = gfx::Palette::New();
    palette->Create(256);
    gfx::PaletteEntry entries[6] = {{0, 0, 0, 0},      {28, 30, 36, 0},  {52, 56, 66, 0},
                                    {120, 110, 70, 0}, {70, 220, 90, 0}, {90, 140, 210, 0}};
    palette->SetEntries(entries, 0, 6);
    return palette;
}

}  // namespace

PlainPanel::PlainPanel(CMainFrame& frame, int proMode, QWidget* parent)
    : PanelWnd(frame, parent), m_pro(proMode) {
    OpenDisplay(layout::kConsoleWidth, layout::kConsoleHeight, gfx::PixelFormat::Indexed8);
    SetScale(frame.Scale());
    LoadSkin();
    Redraw();
}

PlainPanel::~PlainPanel() {
    FreeSkin();
}

void PlainPanel::FreeSkin() {
    ++freeSkinCount;
    m_back.reset();
}

void PlainPanel::LoadSkin() {
    ++loadSkinCount;
    m_theme = Frame().Settings().colorTheme;
    const std::string name =
        layout::ThemePrefix(m_pro ? layout::SkinSet::Pro : layout::SkinSet::Main, m_theme) + "BACK";
    auto back = std::make_unique<gfx::DibSurface>();
    if (back->Load({name, layout::kBitmapType},
                   gfx::load::kFromResource | gfx::load::kDecompress) == gfx::GfxResult::Ok &&
        back->GetWidth() == layout::kConsoleWidth) {
        m_back = std::move(back);
    } else {
        m_back.reset();
    }
    gfx::DibSurface* buffer = BackBuffer();
    if (buffer == nullptr) return;
    if (m_back != nullptr && m_back->GetPalette() != nullptr) {
        buffer->SetPalette(m_back->GetPalette());
    } else {
        gfx::Palette* palette = PlainPalette();
        buffer->SetPalette(palette);
        palette->Release();
    }
    Frame().SetPalette(buffer->GetPalette());
}

void PlainPanel::ReloadChannels(int channel) {
    ++reloadCount;
    UpdateChannels(channel);
}

void PlainPanel::UpdateChannels(int channel) {
    ++updateCount;
    if (channel < 0) {
        for (int ch = 0; ch < layout::kChannelCount; ++ch)
            DrawPad(ch);
        ShowBackBuffer();
    } else if (channel < layout::kChannelCount) {
        DrawPad(channel);
        const layout::Rect r = layout::PadRect(channel);
        ShowBackBuffer(QRect(r.x, r.y, r.w, r.h));
    }
}

void PlainPanel::Redraw() {
    ++redrawCount;
    gfx::DibSurface* buffer = BackBuffer();
    if (buffer == nullptr) return;
    if (m_back != nullptr) {
        buffer->BlitFrom(0, 0, layout::kConsoleWidth, layout::kConsoleHeight, m_back.get(), 0, 0,
                         layout::kConsoleWidth, layout::kConsoleHeight, 0, {});
    } else {
        buffer->FillRect(0, 0, layout::kConsoleWidth, layout::kConsoleHeight, kBackground);
    }
    for (int ch = 0; ch < layout::kChannelCount; ++ch)
        DrawPad(ch);
    ShowBackBuffer();
}

void PlainPanel::DrawPad(int channel) {
    if (m_back != nullptr) return;  // the picture has its own pads
    gfx::DibSurface* buffer = BackBuffer();
    engine::Song& song = Frame().Song();
    std::uint32_t colour = kPadEmpty;
    if (!song.IsChannelEmpty(channel)) {
        colour = song.IsChannelPlaying(channel) != 0 ? kPadSounding
                 : song.IsEffect(channel)            ? kPadEffect
                                                     : kPadLoaded;
    }
    // The pads' cells overlap a little: an inset keeps them apart.
    const layout::Rect r = layout::PadRect(channel);
    buffer->FillRect(r.x + 4, r.y + 4, r.w - 8, r.h - 8, colour);
}

bool PlainPanel::OnCommand(int command) {
    lastCommand = command;
    int channel = -1;
    if (command >= kCmdChannelNow && command < kCmdChannelNow + kChannelKeyCount)
        channel = command - kCmdChannelNow;
    if (command >= kCmdChannelInTime && command < kCmdChannelInTime + kChannelKeyCount)
        channel = command - kCmdChannelInTime;
    if (channel < 0) return false;
    engine::Song& song = Frame().Song();
    if (song.IsChannelPlaying(channel) != 0)
        song.SwitchChannelOff(channel);
    else
        song.SwitchChannelOn(channel);
    UpdateChannels(channel);
    return true;
}

bool PlainPanel::IsControlAt(const QPoint& pos) const {
    const int x = pos.x() / Scale();
    const int y = pos.y() / Scale();
    for (int ch = 0; ch < layout::kChannelCount; ++ch) {
        if (layout::PadRect(ch).Contains(x, y) || layout::KnobRect(ch).Contains(x, y)) return true;
    }
    return false;
}

int PlainPanel::PadAtPoint(const QPoint& pos) const {
    return console::PadAt(pos.x() / Scale(), pos.y() / Scale());
}

}  // namespace tamboro::app
