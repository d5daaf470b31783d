#pragma once
// The console the frame shows when the program registers none (tests, and
// builds without the consoles): the theme's background picture when it is
// embedded, else a plain one, with the twenty pads as rectangles that show
// whether a channel holds a loop and whether it sounds.
#include "app/PanelWnd.h"
#include "gfx/DibSurface.h"

namespace tamboro::app {

class PlainPanel final : public PanelWnd {
    Q_OBJECT
  public:
    PlainPanel(CMainFrame& frame, int proMode, QWidget* parent);
    ~PlainPanel() override;

    void FreeSkin() override;
    void LoadSkin() override;
    void ReloadChannels(int channel) override;
    void UpdateChannels(int channel) override;
    void Redraw() override;
    bool OnCommand(int command) override;
    bool IsControlAt(const QPoint& pos) const override;
    int PadAtPoint(const QPoint& pos) const override;
    void ShowNotice(const std::string& text) override { m_notice = text; }
    bool IsPro() const override { return m_pro != 0; }

    // How often each operation ran (tests check what the frame asks).
    int loadSkinCount = 0;
    int freeSkinCount = 0;
    int reloadCount = 0;
    int updateCount = 0;
    int redrawCount = 0;
    int lastCommand = 0;
    const std::string& Notice() const { return m_notice; }
    int Theme() const { return m_theme; }

  private:
    void DrawPad(int channel);

    int m_pro;
    int m_theme = -1;
    std::unique_ptr<gfx::DibSurface> m_back;
    std::string m_notice;
};

}  // namespace tamboro::app
