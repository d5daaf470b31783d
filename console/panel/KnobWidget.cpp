#include "console/panel/KnobWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include "console/layout/SkinImages.h"
#include "console/panel/ConsolePanel.h"
#include "console/widgets/SkinPicture.h"

namespace tamboro::console {

KnobWidget::KnobWidget(ConsolePanel& panel, int channel)
    : QWidget(&panel), m_panel(panel), m_channel(channel) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(LoadSkinCursor(layout::kKnobCursorName, 15, 15, Qt::SizeVerCursor));
    m_surface.Create(layout::kKnobSize, layout::kKnobSize, gfx::PixelFormat::Indexed8);
    Place(1);
}

KnobWidget::~KnobWidget() = default;

void KnobWidget::Place(int scale) {
    const layout::Rect r = KnobRect(m_channel);
    setGeometry(r.x * scale, r.y * scale, r.w * scale, r.h * scale);
    m_copy.Resize(r.w, r.h, scale);
    m_shown = -1;
    Repaint();
}

void KnobWidget::Repaint() {
    const int position = m_panel.Controller().KnobPositionOf(m_channel);
    m_panel.Canvas().DrawKnob(m_channel, position, m_surface);
    m_copy.Update(m_surface, layout::Rect{0, 0, layout::kKnobSize, layout::kKnobSize});
    m_shown = position;
    update();
}

void KnobWidget::paintEvent(QPaintEvent*) {
    const QImage image(reinterpret_cast<const uchar*>(m_copy.Pixels()), m_copy.Width(),
                       m_copy.Height(), static_cast<qsizetype>(m_copy.PitchBytes()),
                       QImage::Format_RGB32);
    QPainter(this).drawImage(0, 0, image);
}

int KnobWidget::ConsoleY(const QMouseEvent* event) const {
    // Screen rows, so a drag may leave the knob; in console pixels.
    return static_cast<int>(event->globalPosition().y()) / std::max(m_copy.Scale(), 1);
}

void KnobWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_dragging) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_pressY = ConsoleY(event);
    m_pressPosition = m_panel.Controller().BeginKnobDrag(m_channel);
    m_panel.Flush();
}

void KnobWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) return;
    const int position = KnobDragPosition(m_pressPosition, m_pressY, ConsoleY(event));
    m_panel.Controller().ApplyKnob(m_channel, position);
    m_panel.Flush();
}

void KnobWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    m_panel.Controller().EndKnobDrag(m_channel);
    m_panel.Flush();
}

}  // namespace tamboro::console
