#include "console/panel/ConsolePanel.h"

#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "app/CMainFrame.h"
#include "console/layout/SkinImages.h"
#include "console/logic/BeatIndicator.h"
#include "console/panel/KnobWidget.h"
#include "console/widgets/SkinButton.h"
#include "gfx/Palette.h"
#include "platform/StringTable.h"

namespace tamboro::console {
namespace {

struct ButtonSpec {
    const char* base;  // picture name after the theme prefix, without U/D/X
    const char* text;  // the window text
    bool sibling;      // Drum and Audio: disabled when the program is missing
};
constexpr ButtonSpec kButtons[layout::kButtonCount] = {
    {"BTNFILE", "Files", false},    {"BTNDRUM", "Drum", true},  {"BTNAUDIO", "Audio", true},
    {"BTNPRO", "Tamboro", false},   {"BTNPLAY", "Play", false}, {"BTNSTOP", "Stop", false},
    {"BTNRECORD", "Record", false},
};

// The text panel's font: "ARIAL" 14 pixels, thin; Liberation Sans has its
// metrics.
QFont PanelFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(layout::kTextFontHeight);
    font.setWeight(QFont::Thin);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

}  // namespace

app::PanelWnd* ConsolePanel::Create(app::CMainFrame& frame, int proMode, QWidget* parent) {
    if (proMode != 0) return nullptr;
    return new ConsolePanel(frame, parent);
}

ConsolePanel::ConsolePanel(app::CMainFrame& frame, QWidget* parent)
    : PanelWnd(frame, parent), m_font(PanelFont()) {
    OpenDisplay(layout::kConsoleWidth, layout::kConsoleHeight, gfx::PixelFormat::Indexed8);
    SetScale(frame.Scale());
    m_controller = std::make_unique<ConsoleController>(frame.Song());
    m_controller->SetUndo(&frame.Steps());
    LoadSkin();
    for (int ch = 0; ch < kChannels; ++ch) {
        m_knobs[static_cast<std::size_t>(ch)] = new KnobWidget(*this, ch);
        m_knobs[static_cast<std::size_t>(ch)]->Place(Scale());
    }
    CreateButtons();
    Redraw();
    connect(&m_timer, &QTimer::timeout, this, &ConsolePanel::Tick);
    m_timer.start(kTickMs);
}

ConsolePanel::~ConsolePanel() {
    m_timer.stop();
    if (m_menu) m_menu->close();
    Frame().SetPalette(nullptr);
    FreeSkin();
}

// --- Skin -------------------------------------------------------------------------------

void ConsolePanel::FreeSkin() {
    m_skin.Free();
}

void ConsolePanel::LoadSkin() {
    m_skin.Load(Frame().Settings().colorTheme);
    if (!m_canvas) {
        m_canvas = std::make_unique<ConsoleCanvas>(m_skin, BackBuffer());
    } else {
        m_canvas->TakeSkinPalette();
    }
    Frame().SetPalette(m_canvas->BackBuffer().GetPalette());
}

void ConsolePanel::CreateButtons() {
    const std::string prefix =
        layout::ThemePrefix(layout::SkinSet::Main, Frame().Settings().colorTheme);
    for (int b = 0; b < layout::kButtonCount; ++b) {
        const ButtonSpec& spec = kButtons[b];
        auto* button = new SkinButton(this);
        button->setText(QString::fromUtf8(spec.text));
        button->setFocusPolicy(Qt::NoFocus);  // the keys belong to the pads
        const std::string base = prefix + spec.base;
        button->SetImages(base + "U", base + "D", {}, spec.sibling ? base + "X" : std::string());
        if (spec.sibling) {
            const auto which = b == static_cast<int>(ConsoleButton::Drum) ? app::Sibling::Drum
                                                                          : app::Sibling::Audio;
            button->setEnabled(Frame().SiblingAvailable(which));
            button->setToolTip(QString::fromStdString(Frame().SiblingTooltip(which)));
        }
        button->SetScale(Scale());
        const layout::Rect r = ButtonRect(static_cast<ConsoleButton>(b));
        button->move(r.x * Scale(), r.y * Scale());
        connect(button, &QAbstractButton::clicked, this,
                [this, b] { OnButton(static_cast<ConsoleButton>(b)); });
        m_buttons[static_cast<std::size_t>(b)] = button;
    }
}

// --- PanelWnd ---------------------------------------------------------------------------

void ConsolePanel::ReloadChannels(int channel) {
    // The meter follows the live engine's output; there are no meter voices
    // to rebuild.
    UpdateChannels(channel);
}

void ConsolePanel::UpdateChannels(int channel) {
    // The frame may have chosen the current channel (a file dropped on a
    // pad); the flush below hands the console's back to it.
    SyncCurrentFromFrame();
    m_controller->MarkChannelDirty(channel);
    Flush();
}

void ConsolePanel::Redraw() {
    m_controller->MarkAllDirty();
    Flush();
}

bool ConsolePanel::OnCommand(int command) {
    SyncCurrentFromFrame();
    const bool handled = command > 0 && m_controller->OnCommand(static_cast<unsigned>(command));
    Flush();
    return handled;
}

bool ConsolePanel::IsControlAt(const QPoint& pos) const {
    const QPoint p = ToConsole(pos);
    if (PadAt(p.x(), p.y()) >= 0) return true;
    for (int ch = 0; ch < kChannels; ++ch) {
        if (KnobRect(ch).Contains(p.x(), p.y())) return true;
    }
    return false;
}

int ConsolePanel::PadAtPoint(const QPoint& pos) const {
    const QPoint p = ToConsole(pos);
    return PadAt(p.x(), p.y());
}

void ConsolePanel::ShowNotice(const std::string& text) {
    m_notice = text;
    m_controller->MarkTextDirty();
    Flush();
}

// --- Painting ---------------------------------------------------------------------------

void ConsolePanel::SyncCurrentFromFrame() {
    m_controller->SetCurrentChannel(Frame().CurrentChannel());
    const app::Preferences& prefs = Frame().Settings();
    ConsoleSettings& s = m_controller->Settings();
    s.tooltips = prefs.tooltip != 0;
    s.levelMeter = prefs.levelMeter != 0;
    s.rightClickDelayStart = prefs.rclickDelayStart != 0;
}

void ConsolePanel::SyncCurrentToFrame() {
    Frame().SetCurrentChannel(m_controller->CurrentChannel());
}

void ConsolePanel::Flush() {
    if (!m_canvas) return;
    const ConsoleController::Dirty d = m_controller->TakeDirty();
    if (d.all) {
        m_canvas->DrawBackground();
        m_canvas->DrawPower(!m_powerAsking);
        m_beat = -2;
        DrawMeter();
    }
    for (int ch = 0; ch < kChannels; ++ch) {
        if (d.pads[static_cast<std::size_t>(ch)])
            m_canvas->DrawPad(ch, m_controller->PictureOf(ch));
    }
    if (d.modes) m_canvas->DrawModes(m_controller->Mode());
    if (d.master) m_canvas->DrawMaster(m_controller->MasterValue());
    if (d.text || d.all) DrawText();
    DrawBeat();
    for (int ch = 0; ch < kChannels; ++ch) {
        KnobWidget* knob = m_knobs[static_cast<std::size_t>(ch)];
        if (knob != nullptr && (d.knobs[static_cast<std::size_t>(ch)] || d.all)) knob->Repaint();
    }
    ShowDirty();
    SyncCurrentToFrame();
}

void ConsolePanel::ShowDirty() {
    for (const layout::Rect& r : m_canvas->TakeDirty())
        ShowBackBuffer(QRect(r.x, r.y, r.w, r.h));
}

void ConsolePanel::DrawText() {
    m_canvas->RestoreTextPanel();
    m_textLines = ComposeTextPanel(m_controller->TextState());
    if (!m_notice.empty()) {
        // A notice from the frame (such as running without sound) takes the
        // last line.
        std::erase_if(m_textLines, [](const TextItem& i) { return i.y == kTextLineTop[2]; });
        m_textLines.push_back({kTextLeft, kTextLineTop[2], m_notice});
    }
    const QFontMetrics metrics(m_font);
    const int height = metrics.height();
    for (const TextItem& item : m_textLines) {
        const int width = layout::kTextPanel.Right() - item.x;
        if (width <= 0) continue;
        QImage mask(width, height, QImage::Format_Grayscale8);
        mask.fill(0);
        {
            QPainter painter(&mask);
            painter.setFont(m_font);
            painter.setPen(Qt::white);
            painter.drawText(0, metrics.ascent(), QString::fromStdString(item.text));
        }
        m_canvas->DrawCoverage(item.x, item.y, mask.constBits(),
                               static_cast<int>(mask.bytesPerLine()), width, height, kTextColour);
    }
    m_beat = -2;  // the lights lie in the panel: draw them again
}

void ConsolePanel::DrawMeter() {
    if (!m_controller->Settings().levelMeter) return;
    m_canvas->DrawMeter(m_controller->MeterNow());
}

void ConsolePanel::DrawBeat() {
    const int beat = m_controller->BeatNow();
    if (beat == m_beat) return;
    m_beat = beat;
    m_canvas->DrawBeat(beat);
}

bool ConsolePanel::BlinkShowsSecond() const {
    return (m_controller->BlinkCounter() & 1u) != 0;
}

void ConsolePanel::Tick() {
    SyncCurrentFromFrame();
    m_controller->Tick();  // polls the live mix first
    DrawMeter();
    Flush();
    if (audio::OutputDevice* device = Frame().Device()) device->Service();
}

// --- Mouse --------------------------------------------------------------------------------

QPoint ConsolePanel::ToConsole(const QPointF& pos) const {
    const int k = std::max(Scale(), 1);
    return {static_cast<int>(pos.x()) / k, static_cast<int>(pos.y()) / k};
}

void ConsolePanel::mousePressEvent(QMouseEvent* event) {
    SyncCurrentFromFrame();
    const QPoint p = ToConsole(event->position());
    if (event->button() == Qt::LeftButton) {
        const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
        if (m_controller->OnLeftDown(p.x(), p.y(), shift) == ConsoleArea::Power) AskPower();
    } else if (event->button() == Qt::RightButton) {
        m_controller->OnRightDown(p.x(), p.y());
        OpenChannelMenu(p, event->globalPosition().toPoint());
    }
    Flush();
    event->accept();
}

void ConsolePanel::mouseMoveEvent(QMouseEvent* event) {
    if (!m_controller->MasterDragging()) return;
    m_controller->OnMasterDrag(ToConsole(event->position()).y());
    Flush();
}

void ConsolePanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_controller->OnLeftUp();
    Flush();
}

void ConsolePanel::OpenChannelMenu(const QPoint& p, const QPoint& globalPos) {
    if (!m_controller->PrepareChannelMenu(p.x(), p.y())) return;
    SyncCurrentToFrame();
    QMenu* menu = Frame().CreateChannelMenu(this);
    if (menu == nullptr) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_menu = menu;
    menu->popup(globalPos);
    emit channelMenuOpened(m_controller->CurrentChannel());
}

bool ConsolePanel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPoint p = ToConsole(help->pos());
        const std::string text = TooltipAt(p.x(), p.y());
        if (text.empty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), QString::fromStdString(text), this);
        }
        return true;
    }
    return PanelWnd::event(event);
}

std::string ConsolePanel::TooltipAt(int x, int y) const {
    if (Frame().Settings().tooltip == 0) return {};
    const int ch = PadAt(x, y);
    if (ch < 0) return {};
    return m_controller->TooltipOf(ch);
}

// --- Buttons and the power switch --------------------------------------------------------

void ConsolePanel::OnButton(ConsoleButton button) {
    SyncCurrentFromFrame();
    switch (button) {
        case ConsoleButton::Files:
            Frame().OpenFilesDialog();
            break;
        case ConsoleButton::Drum:
            Frame().LaunchSibling(app::Sibling::Drum);
            break;
        case ConsoleButton::Audio:
            Frame().LaunchSibling(app::Sibling::Audio);
            break;
        case ConsoleButton::Pro:
            Frame().RequestConsole(1);
            break;
        case ConsoleButton::Play:
            m_controller->Play();
            break;
        case ConsoleButton::Stop:
            m_controller->Stop();
            break;
        case ConsoleButton::Record:
            m_controller->Record();
            Frame().HistoryChanged();
            break;
    }
    Flush();
}

void ConsolePanel::AskPower() {
    m_powerAsking = true;
    m_canvas->DrawPower(false);
    ShowDirty();
    // Once the click is over, as a posted close request would be: the frame
    // asks "Vuoi terminare l'applicazione?" (or about unsaved changes) and
    // closes on Yes; otherwise the switch goes down again.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QPointer<ConsolePanel> self(this);
            const bool closed = Frame().close();
            if (closed || !self) return;
            m_powerAsking = false;
            m_canvas->DrawPower(true);
            ShowDirty();
        },
        Qt::QueuedConnection);
}

}  // namespace tamboro::console
