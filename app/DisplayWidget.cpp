#include "app/DisplayWidget.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "dialogs/GfxImage.h"
#include "gfx/GfxSystem.h"

namespace tamboro::app {

DisplayWidget::DisplayWidget(QWidget* parent) : QWidget(parent) {
    auto* system = gfx::GfxSystem::Current();
    m_display = system != nullptr ? system->NewDisplay() : std::make_unique<gfx::Display>();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

DisplayWidget::~DisplayWidget() = default;

gfx::GfxResult DisplayWidget::OpenDisplay(int width, int height, gfx::PixelFormat format,
                                          std::uint32_t flags) {
    const gfx::GfxResult r = m_display->Open(width, height, format, this, flags);
    FitToBackBuffer();
    return r;
}

void DisplayWidget::SetScale(int scale) {
    m_scale = std::clamp(scale, 1, 4);
    FitToBackBuffer();
}

void DisplayWidget::FitToBackBuffer() {
    gfx::DibSurface* back = m_display->BackBuffer();
    if (back == nullptr || back->GetWidth() == 0) return;
    setFixedSize(back->GetWidth() * m_scale, back->GetHeight() * m_scale);
}

void DisplayWidget::ShowBackBuffer() {
    m_display->Paint();
}

void DisplayWidget::ShowBackBuffer(const QRect& dirty) {
    gfx::DibSurface* back = m_display->BackBuffer();
    if (back == nullptr) return;
    const QRect r = dirty.intersected(QRect(0, 0, back->GetWidth(), back->GetHeight()));
    if (r.isEmpty()) return;
    m_display->Screen()->BlitFrom(r.x(), r.y(), r.width(), r.height(), back, r.x(), r.y(),
                                  r.width(), r.height(), 0, {});
}

void DisplayWidget::Present(const gfx::DrawContext& pixels, int dx, int dy, int dw, int dh, int sx,
                            int sy, int sw, int sh) {
    if (m_picture.size() != size()) {
        QImage next(size(), QImage::Format_RGB32);
        next.fill(Qt::black);
        if (!m_picture.isNull()) QPainter(&next).drawImage(0, 0, m_picture);
        m_picture = std::move(next);
    }
    const QImage source = dialogs::WrapPixels(pixels);
    if (source.isNull()) return;
    const QRect target(dx * m_scale, dy * m_scale, dw * m_scale, dh * m_scale);
    {
        QPainter painter(&m_picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target, source, QRect(sx, sy, sw, sh));
    }
    update(target);
}

void DisplayWidget::Fill(int x, int y, int w, int h, std::uint32_t colour) {
    if (m_picture.size() != size()) {
        m_picture = QImage(size(), QImage::Format_RGB32);
        m_picture.fill(Qt::black);
    }
    const QColor c(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    const QRect target(x * m_scale, y * m_scale, w * m_scale, h * m_scale);
    QPainter(&m_picture).fillRect(target, c);
    update(target);
}

bool DisplayWidget::SetFullScreen(bool on) {
    QWidget* top = window();
    if (on)
        top->showFullScreen();
    else
        top->showNormal();
    return true;
}

void DisplayWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    painter.drawImage(event->rect(), m_picture, event->rect());
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_display->Size(width() / m_scale, height() / m_scale);
}

}  // namespace tamboro::app
