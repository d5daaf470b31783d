#include "console/widgets/SkinButton.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <string>

#include "console/layout/SkinImages.h"
#include "console/widgets/SkinPicture.h"

namespace tamboro::console {

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(LoadSkinCursor(layout::kButtonCursorName, 9, 1, Qt::PointingHandCursor));
}

SkinButton::~SkinButton() = default;

bool SkinButton::SetImages(std::string_view up, std::string_view down, std::string_view focus,
                           std::string_view disabled, bool keyTransparent) {
    const std::string_view names[4] = {up, down, focus, disabled};
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
        m_images[static_cast<std::size_t>(i)] = QImage();
        if (names[i].empty()) continue;
        m_images[static_cast<std::size_t>(i)] = LoadSkinPicture(names[i], keyTransparent);
        if (m_images[static_cast<std::size_t>(i)].isNull()) ok = false;
    }
    if (m_images[Up].isNull()) ok = false;
    FitToPicture();
    update();
    return ok;
}

bool SkinButton::SetImagesFromText() {
    const std::string t = text().toStdString();
    static constexpr const char* kSuffix[4] = {"U", "D", "F", "X"};
    for (int i = 0; i < 4; ++i)
        m_images[static_cast<std::size_t>(i)] = LoadSkinPicture(t + kSuffix[i]);
    FitToPicture();
    update();
    return !m_images[Up].isNull();
}

void SkinButton::SetScale(int scale) {
    m_scale = std::clamp(scale, 1, 4);
    FitToPicture();
}

void SkinButton::FitToPicture() {
    if (m_images[Up].isNull()) return;
    setFixedSize(m_images[Up].size() * m_scale);
}

QSize SkinButton::sizeHint() const {
    return m_images[Up].isNull() ? QSize(16, 16) : m_images[Up].size() * m_scale;
}

SkinButton::State SkinButton::ShownState() const {
    if (isDown() && !m_images[Down].isNull()) return Down;
    if (hasFocus() && !m_images[Focus].isNull()) return Focus;
    if (!isEnabled() && !m_images[Disabled].isNull()) return Disabled;
    return Up;
}

void SkinButton::paintEvent(QPaintEvent*) {
    const QImage& image = m_images[ShownState()];
    if (image.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), image.size() * m_scale), image);
}

}  // namespace tamboro::console
