#include "console/panel/ProPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/CMainFrame.h"
#include "console/layout/SkinImages.h"
#include "console/panel/ConsolePanel.h"
#include "console/widgets/SkinButton.h"
#include "console/widgets/SkinPicture.h"
#include "platform/StringTable.h"

namespace tamboro::console {
namespace {

// "ARIAL": Liberation Sans has its metrics.
QFont ArialFont(int pixelHeight, QFont::Weight weight) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelHeight);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

std::uint64_t SteadyMillis() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

constexpr std::uint32_t kStatusText = 156;   // "Stò suonando....."
constexpr std::uint32_t kSecondsText = 158;  // "Sec"

}  // namespace

app::PanelWnd* ProPanel::Create(app::CMainFrame& frame, int proMode, QWidget* parent) {
    if (proMode != 1) return nullptr;
    return new ProPanel(frame, parent);
}

app::PanelWnd* CreateConsolePanel(app::CMainFrame& frame, int proMode, QWidget* parent) {
    if (proMode == 1) return ProPanel::Create(frame, proMode, parent);
    return ConsolePanel::Create(frame, proMode, parent);
}

ProPanel::ProPanel(app::CMainFrame& frame, QWidget* parent)
    : PanelWnd(frame, parent),
      m_timeline(frame.Song().GetTempo()),
      m_arrow(Qt::ArrowCursor),
      m_rulerHover(LoadSkinCursor(layout::kRulerHoverCursorName, 15, 15, Qt::SizeHorCursor)),
      m_rulerDrag(LoadSkinCursor(layout::kRulerDragCursorName, 15, 15, Qt::ClosedHandCursor)),
      m_laneCursor(Qt::IBeamCursor),
      m_nameFont(ArialFont(14, QFont::Thin)),
      m_labelFont(ArialFont(10, QFont::Thin)),
      m_statusFont(ArialFont(18, QFont::Bold)) {
    OpenDisplay(layout::kConsoleWidth, layout::kConsoleHeight, gfx::PixelFormat::Indexed8);
    SetScale(frame.Scale());
    m_canvas = std::make_unique<ProCanvas>(BackBuffer());
    LoadSkin();
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    CreateButtons();
    ReloadChannels(-1);
    Redraw();
    connect(&m_timer, &QTimer::timeout, this, &ProPanel::Tick);
    m_timer.start(kTickMs);
}

ProPanel::~ProPanel() {
    m_timer.stop();
    // A drag cut short by the swap keeps its last shape, and its step.
    if (m_drag.IsDragging()) EndDrag(false);
    if (m_menu) m_menu->close();
    Frame().SetPalette(nullptr);
    FreeSkin();
}

// --- Skin and buttons ----------------------------------------------------------------------

void ProPanel::FreeSkin() {
    m_canvas->FreeSkin();
}

void ProPanel::LoadSkin() {
    m_canvas->LoadSkin(Frame().Settings().colorTheme);
    Frame().SetPalette(m_canvas->BackBuffer().GetPalette());
    // The thumbnails carry the palette's indexes: paint them anew.
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        if (m_thumbnails[static_cast<std::size_t>(ch)]) RebuildThumbnail(ch);
}

void ProPanel::CreateButtons() {
    const std::string prefix =
        layout::ThemePrefix(layout::SkinSet::Pro, Frame().Settings().colorTheme);
    for (int b = 0; b < layout::kProButtonCount; ++b) {
        const layout::ProButton& spec = layout::kProButtons[static_cast<std::size_t>(b)];
        auto* button = new SkinButton(this);
        button->setText(QString::fromUtf8(spec.text.data(), static_cast<int>(spec.text.size())));
        button->setFocusPolicy(Qt::NoFocus);  // the keys belong to the console
        const std::string base = prefix + std::string(spec.suffix);
        const auto which = static_cast<Button>(b);
        const bool light =
            which == Button::Files || which == Button::Drum || which == Button::Audio;
        button->SetImages(base + "U", base + "D", {}, light ? base + "X" : std::string());
        if (which == Button::Drum || which == Button::Audio) {
            const auto sibling = which == Button::Drum ? app::Sibling::Drum : app::Sibling::Audio;
            button->setEnabled(Frame().SiblingAvailable(sibling));
            button->setToolTip(QString::fromStdString(Frame().SiblingTooltip(sibling)));
        }
        button->SetScale(Scale());
        button->move(spec.rect.x * Scale(), spec.rect.y * Scale());
        connect(button, &QAbstractButton::clicked, this, [this, which] { OnButton(which); });
        m_buttons[static_cast<std::size_t>(b)] = button;
    }
}

void ProPanel::OnButton(Button button) {
    bool scrolled = true;
    switch (button) {
        case Button::ScrollLeft1:
            m_timeline.ScrollLeft1();
            break;
        case Button::ScrollLeft4:
            m_timeline.ScrollLeft4();
            break;
        case Button::ScrollHome:
            m_timeline.ScrollHome();
            break;
        case Button::ScrollRight1:
            m_timeline.ScrollRight1();
            break;
        case Button::ScrollRight4:
            m_timeline.ScrollRight4();
            break;
        case Button::ScrollEnd:
            m_timeline.ScrollToEnd(Frame().Song().LatestEventTime());
            break;
        default:
            scrolled = false;
            break;
    }
    if (scrolled) {
        DrawRuler();
        DrawLanes();
        return;
    }
    switch (button) {
        case Button::Play:
            Play();
            break;
        case Button::Stop:
            Stop();
            break;
        case Button::Files:
            Frame().OpenFilesDialog();
            break;
        case Button::Drum:
            Frame().LaunchSibling(app::Sibling::Drum);
            break;
        case Button::Audio:
            Frame().LaunchSibling(app::Sibling::Audio);
            break;
        case Button::Back:
            Frame().RequestConsole(0);
            break;
        default:
            break;
    }
}

// --- Play and Stop -------------------------------------------------------------------------

void ProPanel::Play() {
    if (m_drag.IsDragging()) EndDrag(true);
    engine::Song& song = Frame().Song();
    if (song.IsRecording() || song.IsPlayingBack()) return;
    song.StartPlayback(m_timeline.PlayStart());
    Tick();
}

void ProPanel::Stop() {
    // Playback left the live levels where the mix had them: back to the
    // levels at rest, the master too, so the next play starts from them.
    Frame().Song().StopMixAtRest();
    m_wasPlaying = false;
    DrawStatus();
    DrawRuler();
    DrawLanes();
}

bool ProPanel::MixBusy() {
    const engine::Song& song = Frame().Song();
    return song.IsRecording() || song.IsPlayingBack();
}

void ProPanel::Tick() {
    ++m_ticks;
    engine::Song& song = Frame().Song();
    song.PollLive();
    const bool playing = song.IsPlayingBack();
    if (playing) {
        if (m_timeline.Follow(song.PlaybackTime())) DrawRuler();
        DrawLanes();
        DrawStatus();
        DrawRuler();
    } else if (m_wasPlaying) {
        // The playback has ended: once more without the line and the text.
        DrawLanes();
        DrawStatus();
        DrawRuler();
    }
    m_wasPlaying = playing;
    if (audio::OutputDevice* device = Frame().Device()) device->Service();
}

// --- PanelWnd ------------------------------------------------------------------------------

void ProPanel::SyncTempo() {
    const double tempo = Frame().Song().GetTempo();
    if (tempo != m_timeline.Tempo()) m_timeline = ProTimeline(tempo, m_timeline.Scroll());
}

void ProPanel::RebuildThumbnail(int ch) {
    engine::Song& song = Frame().Song();
    auto& thumb = m_thumbnails[static_cast<std::size_t>(ch)];
    thumb.reset();
    if (song.IsChannelEmpty(ch)) return;
    const int width = ThumbnailWidth(song.GetPreparedLength(ch), song.GetTempo());
    thumb = m_canvas->MakeThumbnail(Frame().Preview(ch), width, song.IsEffect(ch));
}

const gfx::DibSurface* ProPanel::Thumbnail(int ch) const {
    if (ch < 0 || ch >= engine::kChannelCount) return nullptr;
    return m_thumbnails[static_cast<std::size_t>(ch)].get();
}

void ProPanel::ReloadChannels(int channel) {
    SyncTempo();
    if (channel < 0) {
        for (int ch = 0; ch < engine::kChannelCount; ++ch)
            RebuildThumbnail(ch);
    } else if (channel < engine::kChannelCount) {
        RebuildThumbnail(channel);
    }
    UpdateChannels(channel);
}

void ProPanel::UpdateChannels(int channel) {
    SyncTempo();
    DrawNames();
    if (channel < 0) {
        DrawLanes();
    } else if (channel < engine::kChannelCount) {
        DrawLane(channel);
    }
}

void ProPanel::Redraw() {
    SyncTempo();
    ShowRect(m_canvas->DrawBackground());
    DrawNames();
    DrawRuler();
    DrawLanes();
    DrawStatus();
}

bool ProPanel::IsControlAt(const QPoint& pos) const {
    // The names take the right button (the channel menu); so do the lanes,
    // which have no menu of their own.
    return PadAtPoint(pos) >= 0;
}

// --- Drawing -------------------------------------------------------------------------------

void ProPanel::ShowRect(const layout::Rect& r) {
    ShowBackBuffer(QRect(r.x, r.y, r.w, r.h));
}

QImage ProPanel::TextMask(const QFont& font, const QString& text) const {
    const QFontMetrics metrics(font);
    const int width = std::max(1, metrics.horizontalAdvance(text));
    QImage mask(width, metrics.height(), QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter painter(&mask);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(0, metrics.ascent(), text);
    return mask;
}

void ProPanel::DrawNames() {
    const layout::Rect column = layout::kProNameColumn;
    m_canvas->Restore(column);
    engine::Song& song = Frame().Song();
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        const QString name =
            QString::fromStdString(song.GetChannelName(ch)).toUpper().left(layout::kProNameLength);
        if (name.isEmpty()) continue;
        const QImage mask = TextMask(m_nameFont, name);
        const layout::Point at = layout::ProNameText(ch);
        // Written on black, as text with a background colour is.
        const layout::Rect cell{at.x, at.y, mask.width(), mask.height()};
        const layout::Rect row = layout::ProNameRect(ch);
        m_canvas->Fill({cell.x, cell.y, std::min(cell.w, row.Right() - cell.x),
                        std::min(cell.h, row.Bottom() - cell.y)},
                       kProBlack);
        m_canvas->DrawText(row, at.x, at.y, mask.constBits(), static_cast<int>(mask.bytesPerLine()),
                           mask.width(), mask.height(), kProNameText);
    }
    ShowRect(column);
}

void ProPanel::DrawRuler() {
    // The labels stand one row above the drag strip.
    const layout::Rect strip = layout::kProRuler;
    const layout::Rect area{strip.x, strip.y - 1, strip.w + 8, strip.h + 1};
    m_canvas->Restore(area);
    for (int i = 0; i < 4; ++i) {
        m_rulerLabels[static_cast<std::size_t>(i)] = m_timeline.RulerLabel(i);
        const QImage mask = TextMask(m_labelFont, QString::fromStdString(m_timeline.RulerLabel(i)));
        const layout::Point at = layout::ProRulerLabel(i);
        m_canvas->DrawText(area, at.x, at.y, mask.constBits(),
                           static_cast<int>(mask.bytesPerLine()), mask.width(), mask.height(),
                           kProBlack);
    }
    ShowRect(area);
}

void ProPanel::DrawStatus() {
    const layout::Rect status = layout::kProStatus;
    m_canvas->Restore(status);
    m_statusText.clear();
    engine::Song& song = Frame().Song();
    if (song.IsPlayingBack()) {
        const std::string& playing = platform::LoadString(kStatusText);
        char time[64];
        std::snprintf(time, sizeof time, "%.2f %s", song.PlaybackTime() * 0.001,
                      platform::LoadString(kSecondsText).c_str());
        m_statusText = playing + " " + time;
        const QImage left = TextMask(m_statusFont, QString::fromStdString(playing));
        const QImage right = TextMask(m_statusFont, QString::fromUtf8(time));
        const layout::Point at = layout::kProStatusText;
        // The text starts a row above the area: that row stays as it is.
        const layout::Rect clip{status.x, at.y, status.w, status.Bottom() - at.y};
        m_canvas->DrawText(clip, at.x, at.y, left.constBits(),
                           static_cast<int>(left.bytesPerLine()), left.width(), left.height(),
                           kProNameText);
        m_canvas->DrawText(clip, layout::kProStatusTimeRight - right.width(), at.y,
                           right.constBits(), static_cast<int>(right.bytesPerLine()), right.width(),
                           right.height(), kProNameText);
    }
    ShowRect(status);
}

void ProPanel::DrawLane(int ch) {
    engine::Song& song = Frame().Song();
    LaneView view;
    view.enabled = !song.IsPlayingBack();
    view.events = song.GetEvents(ch);
    view.loopMillis = song.IsChannelEmpty(ch) ? 0 : song.GetPreparedLength(ch);
    view.effect = song.IsEffect(ch);
    view.thumbnail = m_thumbnails[static_cast<std::size_t>(ch)].get();
    if (song.IsPlayingBack()) view.playback = song.PlaybackTime();
    ShowRect(m_canvas->DrawLane(ch, m_timeline, view));
}

void ProPanel::DrawLanes() {
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        DrawLane(ch);
}

// --- Mouse ---------------------------------------------------------------------------------

QPoint ProPanel::ToConsole(const QPointF& pos) const {
    const int k = std::max(Scale(), 1);
    // Floor, not truncation: a drag can leave the window to the left.
    const auto floorDiv = [k](double v) {
        const int i = static_cast<int>(std::floor(v));
        return i >= 0 ? i / k : -((-i + k - 1) / k);
    };
    return {floorDiv(pos.x()), floorDiv(pos.y())};
}

void ProPanel::mousePressEvent(QMouseEvent* event) {
    const QPoint p = ToConsole(event->position());
    event->accept();
    if (event->button() == Qt::RightButton) {
        // Not during a drag: a channel command could take the events the
        // drag holds places in.
        if (m_drag.IsDragging()) return;
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            if (layout::ProNameRect(ch).Contains(p.x(), p.y())) {
                OpenChannelMenu(ch, event->globalPosition().toPoint());
                return;
            }
        }
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    // A press while a drag still runs: its release was lost (the window
    // lost the mouse), as a lost capture the drag ends with its last shape.
    if (m_drag.IsDragging()) EndDrag(false);
    m_rulerDragging = false;
    if (layout::kProRuler.Contains(p.x(), p.y())) {
        m_rulerDragging = true;
        m_rulerScroll = m_timeline.Scroll();
        m_rulerX = p.x();
        setCursor(m_rulerDrag);
        return;
    }
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        const layout::Rect lane = layout::ProLaneRect(ch);
        if (!lane.Contains(p.x(), p.y())) continue;
        // The mix plays back from its own copy of the events, but a drag
        // while it sounds is refused: the lanes would not show what plays.
        if (MixBusy()) return;
        engine::Song& song = Frame().Song();
        engine::EventList* events = song.Events(ch);
        if (events == nullptr) return;
        m_beforeDrag = song.Document();
        if (!m_drag.Press(*events, ch, m_timeline, p.x() - lane.x, SteadyMillis())) return;
        m_dragChannel = ch;
        OnDragMove(p.x());
        return;
    }
}

void ProPanel::OnDragMove(int consoleX) {
    const int x = std::max(consoleX - layout::ProLaneRect(m_dragChannel).x, 0);
    const AutoScroll scroll = m_drag.Move(m_timeline, x, SteadyMillis());
    if (scroll == AutoScroll::None) {
        DrawLane(m_dragChannel);
        return;
    }
    if (scroll == AutoScroll::Right) m_timeline.ScrollRight1();
    if (scroll == AutoScroll::Left) m_timeline.ScrollLeft1();
    DrawRuler();
    DrawLanes();
}

void ProPanel::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = ToConsole(event->position());
    if (m_drag.IsDragging()) {
        OnDragMove(p.x());
        return;
    }
    if (m_rulerDragging) {
        if (m_timeline.RulerDrag(m_rulerScroll, m_rulerX, p.x())) {
            DrawRuler();
            DrawLanes();
        }
        return;
    }
    UpdateCursor(p);
}

void ProPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (m_drag.IsDragging()) {
        EndDrag(true);
        return;
    }
    if (m_rulerDragging) {
        m_rulerDragging = false;
        UpdateCursor(ToConsole(event->position()));
    }
}

void ProPanel::EndDrag(bool release) {
    if (release) {
        m_drag.Release();
    } else {
        m_drag.Abandon();
    }
    const int ch = m_dragChannel;
    m_dragChannel = -1;
    engine::Song& song = Frame().Song();
    if (song.Document() != m_beforeDrag) {
        Frame().History().Record(m_beforeDrag);
        Frame().HistoryChanged();
    }
    m_beforeDrag = {};
    if (ch >= 0) DrawLane(ch);
}

void ProPanel::EndEdits() {
    if (m_drag.IsDragging()) EndDrag(false);
    m_rulerDragging = false;
}

void ProPanel::changeEvent(QEvent* event) {
    // Another window took over: the release will not come here.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) EndEdits();
    PanelWnd::changeEvent(event);
}

int ProPanel::PadAtPoint(const QPoint& pos) const {
    // A file dropped on a channel's name or lane loads into that channel.
    const QPoint p = ToConsole(pos);
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        if (layout::ProNameRect(ch).Contains(p.x(), p.y()) ||
            layout::ProLaneRect(ch).Contains(p.x(), p.y()))
            return ch;
    }
    return -1;
}

void ProPanel::UpdateCursor(const QPoint& p) {
    if (layout::kProRuler.Contains(p.x(), p.y())) {
        setCursor(m_rulerHover);
        return;
    }
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        if (layout::ProLaneRect(ch).Contains(p.x(), p.y())) {
            setCursor(m_laneCursor);
            return;
        }
    }
    setCursor(m_arrow);
}

// --- The channel menu ----------------------------------------------------------------------

void ProPanel::OpenChannelMenu(int channel, const QPoint& globalPos) {
    // Unlike the main console's, also while channels sound.
    Frame().SetCurrentChannel(channel);
    QMenu* menu = Frame().CreateChannelMenu(this);
    if (menu == nullptr) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_menu = menu;
    menu->popup(globalPos);
    emit channelMenuOpened(channel);
}

}  // namespace tamboro::console
