#pragma once
// A channel's knob: a 15 x 15 child window of the main console with its own
// drawing surface. Its picture is the console background under it with the
// knob strip's frame for the position on top; dragging up turns it up, four
// pixels a step.
#include <QImage>
#include <QWidget>

#include "console/logic/ScaledCopy.h"
#include "gfx/DibSurface.h"

namespace tamboro::console {

class ConsolePanel;

class KnobWidget final : public QWidget {
    Q_OBJECT
  public:
    KnobWidget(ConsolePanel& panel, int channel);
    ~KnobWidget() override;

    int Channel() const { return m_channel; }
    bool Dragging() const { return m_dragging; }
    // The position drawn last.
    int ShownPosition() const { return m_shown; }
    // Draws the knob for the song's present value and shows it.
    void Repaint();
    // Follows the console's scale and place.
    void Place(int scale);
    gfx::DibSurface& Surface() { return m_surface; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int ConsoleY(const QMouseEvent* event) const;

    ConsolePanel& m_panel;
    const int m_channel;
    gfx::DibSurface m_surface;
    ScaledCopy m_copy;
    bool m_dragging = false;
    int m_pressY = 0;
    int m_pressPosition = 0;
    int m_shown = -1;
};

}  // namespace tamboro::console
