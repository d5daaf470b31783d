#pragma once
// The PRO console (the mix editor): the song's recorded mix as twenty lanes
// of four bars, with the channel names, the time ruler, the status area and
// twelve picture buttons (scrolling, Play, Stop, the Files/Drum/Audio
// lights and the way back to the main console).
//
// Drawn through the graphics library into the window output's 8-bit back
// buffer with the PRO palette (ProCanvas); text is rasterised by the
// toolkit into coverage masks. The lanes edit the document's event lists
// with LaneDrag (never while the mix plays back); every edit is a step of
// the frame's MixHistory (the frame undoes and redoes them: Ctrl+Z,
// Ctrl+Shift+Z and the channel menu).
//
// User-interface thread only.
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "app/PanelWnd.h"
#include "console/layout/ProLayout.h"
#include "console/logic/LaneDrag.h"
#include "console/logic/MixHistory.h"
#include "console/logic/ProCanvas.h"
#include "console/logic/ProTimeline.h"
#include "engine/SongDocument.h"

namespace tamboro::console {

class SkinButton;

class ProPanel final : public app::PanelWnd {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 125;
    enum class Button {
        ScrollLeft1 = 0,
        ScrollLeft4,
        ScrollHome,
        ScrollRight1,
        ScrollRight4,
        ScrollEnd,
        Play,
        Stop,
        Files,
        Drum,
        Audio,
        Back,
    };

    ProPanel(app::CMainFrame& frame, QWidget* parent);
    ~ProPanel() override;

    // The factory for form 1; null for any other form.
    static app::PanelWnd* Create(app::CMainFrame& frame, int proMode, QWidget* parent);

    // PanelWnd
    void FreeSkin() override;
    void LoadSkin() override;
    void ReloadChannels(int channel) override;
    void UpdateChannels(int channel) override;
    void Redraw() override;
    bool IsControlAt(const QPoint& pos) const override;
    bool IsPro() const override { return true; }
    bool Editing() const override { return m_drag.IsDragging(); }
    void EndEdits() override;
    int PadAtPoint(const QPoint& pos) const override;

    ProCanvas& Canvas() { return *m_canvas; }
    const ProTimeline& Timeline() const { return m_timeline; }
    SkinButton* ButtonOf(Button b) const { return m_buttons[static_cast<std::size_t>(b)]; }
    QMenu* ChannelMenu() const { return m_menu; }
    bool Dragging() const { return m_drag.IsDragging(); }
    // The thumbnail of a channel (null for an empty channel).
    const gfx::DibSurface* Thumbnail(int ch) const;
    // The status line and ruler labels as drawn last (for tests).
    const std::string& StatusText() const { return m_statusText; }
    const std::array<std::string, 4>& RulerLabels() const { return m_rulerLabels; }

    // The timer's tick: the live mix's news, the playback follow, the
    // status area and the ruler.
    void Tick();

  signals:
    void channelMenuOpened(int channel);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QPoint ToConsole(const QPointF& pos) const;
    void CreateButtons();
    void OnButton(Button button);
    void Play();
    void Stop();
    void SyncTempo();
    bool MixBusy();
    void ShowRect(const layout::Rect& r);
    void DrawNames();
    void DrawRuler();
    void DrawStatus();
    void DrawLane(int ch);
    void DrawLanes();
    void RebuildThumbnail(int ch);
    void OnDragMove(int consoleX);
    void EndDrag(bool release);
    void OpenChannelMenu(int channel, const QPoint& globalPos);
    void UpdateCursor(const QPoint& consolePos);
    // The coverage mask of `text` in `font`: width, height and ascent
    // follow the font's metrics.
    QImage TextMask(const QFont& font, const QString& text) const;

    std::unique_ptr<ProCanvas> m_canvas;
    ProTimeline m_timeline;
    std::array<std::unique_ptr<gfx::DibSurface>, engine::kChannelCount> m_thumbnails;
    std::array<SkinButton*, layout::kProButtonCount> m_buttons{};

    // A lane drag: its channel, and the document before it began (a step
    // of the history when the drag changed it).
    LaneDrag m_drag;
    int m_dragChannel = -1;
    engine::SongDocument m_beforeDrag;
    // The ruler drag.
    bool m_rulerDragging = false;
    std::uint32_t m_rulerScroll = 0;
    int m_rulerX = 0;

    QCursor m_arrow;
    QCursor m_rulerHover;
    QCursor m_rulerDrag;
    QCursor m_laneCursor;
    QFont m_nameFont;    // "ARIAL" 14, thin
    QFont m_labelFont;   // "ARIAL" 10, thin
    QFont m_statusFont;  // "ARIAL" 18, bold
    QTimer m_timer;
    int m_ticks = 0;
    bool m_wasPlaying = false;
    QPointer<QMenu> m_menu;
    std::string m_statusText;
    std::array<std::string, 4> m_rulerLabels;
};

// The consoles of both forms: the main console for 0, the mix editor for 1.
app::PanelWnd* CreateConsolePanel(app::CMainFrame& frame, int proMode, QWidget* parent);

}  // namespace tamboro::console
