#include "dialogs/GfxImage.h"

#include <QList>

namespace tamboro::dialogs {

QImage WrapPixels(const gfx::DrawContext& p) {
    if (p.pixels == nullptr || p.width <= 0 || p.height <= 0) return {};
    QImage::Format format = QImage::Format_Invalid;
    switch (p.format) {
        case gfx::PixelFormat::Indexed1:
            format = QImage::Format_Mono;
            break;
        case gfx::PixelFormat::Indexed8:
            format = QImage::Format_Indexed8;
            break;
        case gfx::PixelFormat::Rgb555:
            format = QImage::Format_RGB555;
            break;
        case gfx::PixelFormat::Rgb565:
            format = QImage::Format_RGB16;
            break;
        case gfx::PixelFormat::Bgr24:
            format = QImage::Format_BGR888;
            break;
        case gfx::PixelFormat::Rgb24:
            format = QImage::Format_RGB888;
            break;
        case gfx::PixelFormat::Bgrx32:
            format = QImage::Format_RGB32;
            break;
        default:
            return {};
    }
    QImage image(p.pixels, p.width, p.height, static_cast<qsizetype>(p.pitch), format);
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono) {
        QList<QRgb> table;
        for (int i = 0; i < p.colourCount && p.colours != nullptr; ++i) {
            const gfx::RgbQuad& c = p.colours[i];
            table.append(qRgb(c.red, c.green, c.blue));
        }
        while (table.size() < (format == QImage::Format_Mono ? 2 : 256))
            table.append(qRgb(0, 0, 0));
        image.setColorTable(table);
    }
    if (p.bottomUp) image = image.mirrored(false, true);
    return image;
}

QImage ToQImage(gfx::Image* image) {
    if (image == nullptr) return {};
    gfx::DrawContext* dc = image->GetDC();
    if (dc == nullptr) return {};
    QImage copy = WrapPixels(*dc).convertToFormat(QImage::Format_RGB32);
    image->ReleaseDC(dc);
    return copy;
}

}  // namespace tamboro::dialogs
