#include "app/SplashWindow.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QTimer>

#include "console/layout/SkinImages.h"
#include "dialogs/GfxImage.h"
#include "gfx/DibSurface.h"

namespace tamboro::app {

SplashWindow* SplashWindow::Show(QWidget* owner) {
    gfx::DibSurface surface;
    namespace layout = console::layout;
    if (surface.Load({layout::kSplashName, layout::kBitmapType},
                     gfx::load::kFromResource | gfx::load::kDecompress) != gfx::GfxResult::Ok)
        return nullptr;
    QImage picture = dialogs::ToQImage(&surface);
    if (picture.isNull()) return nullptr;
    return new SplashWindow(owner, std::move(picture));
}

SplashWindow::SplashWindow(QWidget* owner, QImage picture)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(std::move(picture)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("splash"));
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_picture.size());
    if (owner != nullptr) {
        const QPoint centre = owner->geometry().center();
        move(centre - QPoint(width() / 2, height() / 2));
    }
    qApp->installEventFilter(this);
    QTimer::singleShot(kShowMs, this, &SplashWindow::Dismiss);
    show();
}

SplashWindow::~SplashWindow() {
    qApp->removeEventFilter(this);
}

void SplashWindow::Dismiss() {
    if (m_dismissed) return;
    m_dismissed = true;
    qApp->removeEventFilter(this);
    QWidget* owner = parentWidget();
    close();
    if (owner != nullptr) owner->repaint();
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter(this).drawImage(0, 0, m_picture);
}

bool SplashWindow::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
            Dismiss();
            return true;  // swallowed
        default:
            return false;
    }
}

}  // namespace tamboro::app
