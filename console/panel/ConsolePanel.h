#pragma once
// The main console: twenty pads, their knobs, the master slider, the mode
// switch, the meter, the power switch, seven picture buttons, the text
// panel with its beat lights, tooltips and the channel menu.
//
// Everything is drawn through the graphics library into the window
// output's 8-bit back buffer with the theme's palette (ConsoleCanvas); the
// text is rasterised by the toolkit into a coverage mask and written as
// palette colours. What the console does lives in ConsoleController; this
// widget turns the toolkit's events into its calls (in console pixels: the
// window's whole zoom factor divided out) and paints what they changed.
//
// User-interface thread only.
#include <QFont>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <array>
#include <memory>

#include "app/PanelWnd.h"
#include "console/logic/ConsoleCanvas.h"
#include "console/logic/ConsoleController.h"
#include "console/logic/ConsoleSkin.h"

namespace tamboro::console {

class KnobWidget;
class SkinButton;

class ConsolePanel final : public app::PanelWnd {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 125;

    ConsolePanel(app::CMainFrame& frame, QWidget* parent);
    ~ConsolePanel() override;

    // The factory the program gives the frame: this console for form 0.
    static app::PanelWnd* Create(app::CMainFrame& frame, int proMode, QWidget* parent);

    // PanelWnd
    void FreeSkin() override;
    void LoadSkin() override;
    void ReloadChannels(int channel) override;
    void UpdateChannels(int channel) override;
    void Redraw() override;
    bool OnCommand(int command) override;
    bool BlinkShowsSecond() const override;
    bool IsControlAt(const QPoint& pos) const override;
    int PadAtPoint(const QPoint& pos) const override;
    void ShowNotice(const std::string& text) override;

    ConsoleController& Controller() { return *m_controller; }
    ConsoleCanvas& Canvas() { return *m_canvas; }
    const ConsoleSkin& Skin() const { return m_skin; }
    KnobWidget* Knob(int ch) const { return m_knobs[static_cast<std::size_t>(ch)]; }
    SkinButton* Button(ConsoleButton b) const { return m_buttons[static_cast<std::size_t>(b)]; }
    // The channel menu shown last (null once it closed).
    QMenu* ChannelMenu() const { return m_menu; }
    // The console timer's tick: the live mix's news, blinking, text, meter,
    // beat lights and the device's service call.
    void Tick();
    // Paints whatever the controller marked as changed and shows it.
    void Flush();
    // The tooltip a point (console pixels) shows; empty for none.
    std::string TooltipAt(int x, int y) const;
    // The text panel's lines as drawn last (for tests and screenshots).
    const std::vector<TextItem>& TextLines() const { return m_textLines; }

  signals:
    // A channel menu opened for `channel` (it is the frame's current one).
    void channelMenuOpened(int channel);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QPoint ToConsole(const QPointF& pos) const;
    void CreateButtons();
    void OnButton(ConsoleButton button);
    void AskPower();
    void DrawText();
    void DrawMeter();
    void DrawBeat();
    void ShowDirty();
    void SyncCurrentFromFrame();
    void SyncCurrentToFrame();
    void OpenChannelMenu(const QPoint& consolePos, const QPoint& globalPos);

    ConsoleSkin m_skin;
    std::unique_ptr<ConsoleCanvas> m_canvas;
    std::unique_ptr<ConsoleController> m_controller;
    std::array<KnobWidget*, kChannels> m_knobs{};
    std::array<SkinButton*, layout::kButtonCount> m_buttons{};
    QTimer m_timer;
    QFont m_font;
    QPointer<QMenu> m_menu;
    std::vector<TextItem> m_textLines;
    std::string m_notice;
    int m_beat = -2;
    bool m_powerAsking = false;
};

}  // namespace tamboro::console
