// The pictures every theme shares: the dialogs' buttons, the splash picture,
// the cursors and the program icon.
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>
#include <sstream>

#include "tools/skins/Art.h"
#include "tools/skins/Pictures.h"

namespace tamboro::skins {
namespace {

namespace L = console::layout;

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
}

// A picture whose untouched pixels are transparent; partly covered edge
// pixels are laid over `under` so that they stay smooth on any background.
Picture Masked(const L::SkinImage& entry, const QImage& sprite, const QColor& under) {
    Picture pic;
    pic.entry = entry;
    QImage out(sprite.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(under);
    QPainter p(&out);
    p.drawImage(0, 0, sprite);
    p.end();
    pic.pixels = out.convertToFormat(QImage::Format_RGB32);
    pic.transparent.assign(static_cast<std::size_t>(sprite.width() * sprite.height()), 0);
    for (int y = 0; y < sprite.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(sprite.constScanLine(y));
        for (int x = 0; x < sprite.width(); ++x)
            pic.transparent[static_cast<std::size_t>(y * sprite.width() + x)] = qAlpha(row[x]) == 0;
    }
    return pic;
}

QImage DialogButton(char state) {
    QImage img = NewPicture(L::kDialogButtonWidth, L::kDialogButtonHeight);
    QPainter p(&img);
    Smooth(p);
    const QRectF r(0.5, 0.5, img.width() - 2.0, img.height() - 2.5);
    const QColor hi(0x8A, 0x92, 0x9C), body(0x46, 0x4C, 0x54), lo(0x1C, 0x1F, 0x23);
    if (state == 'X') {
        p.setPen(QPen(QColor(0x30, 0x32, 0x36), 1));
        p.setBrush(QColor(0x5E, 0x60, 0x64));
        p.drawPath(Rounded(r, 5));
    } else {
        const bool down = state == 'D';
        Raised(p, Rounded(down ? r.translated(0.5, 1) : r, 5), hi,
               down ? QColor(0x3A, 0x3F, 0x46) : body, lo, down ? 0.4 : 1.5);
        if (state == 'F') {
            // The keyboard focus: an amber ring and a soft inner light.
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0xFF, 0xB0, 0x20, 90), 3.0));
            p.drawPath(Rounded(r.adjusted(2, 2, -2, -2), 4));
            p.setPen(QPen(QColor(0xFF, 0xC0, 0x40), 1.2));
            p.drawPath(Rounded(r.adjusted(2, 2, -2, -2), 4));
        }
    }
    p.end();
    return img;
}

QImage Splash() {
    QImage img(L::kSplashWidth, L::kSplashHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    Smooth(p);
    QRadialGradient bg(QPointF(110, 60), 320);
    bg.setColorAt(0, QColor(0x3A, 0x24, 0x5E));
    bg.setColorAt(0.55, QColor(0x16, 0x12, 0x2A));
    bg.setColorAt(1, QColor(0x06, 0x06, 0x0C));
    p.fillRect(img.rect(), bg);
    // Pads in perspective along the bottom, lit in the four themes' colours.
    const QColor lights[4] = {QColor(0xFF, 0xB0, 0x20), QColor(0xFF, 0x6A, 0x2A),
                              QColor(0xFF, 0x2E, 0x9A), QColor(0x3F, 0xF0, 0xFF)};
    const Theme& t = ThemeFor(0);
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 8; ++col) {
            const double s = 30 - row * 4;
            const QRectF pad(14 + col * 37.5 + row * 6, 118 + row * 38, s + 2, s);
            const bool lit = (col * 3 + row * 5) % 4 == 1 || (col == 5 && row == 1);
            const QColor c = lights[(col + row) % 4];
            if (lit) {
                p.setPen(Qt::NoPen);
                p.setBrush(WithAlpha(c, 80));
                p.drawRoundedRect(pad.adjusted(-3, -3, 3, 3), 7, 7);
            }
            Raised(p, Rounded(pad, 5), lit ? Mix(c, Qt::white, 0.4) : QColor(0x4A, 0x4E, 0x58),
                   lit ? c : QColor(0x2A, 0x2D, 0x34),
                   lit ? Mix(c, Qt::black, 0.4) : QColor(0x12, 0x13, 0x16), lit ? 0.6 : 2.0);
            Light(p, QPointF(pad.center().x(), pad.top() + 6), 2.2, t, lit, &c);
        }
    }
    // The name.
    QFont f = SansFont(46, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    QPainterPath name;
    const QFontMetricsF fm(f);
    const QString text = QStringLiteral("TAMBORO");
    const double w = fm.horizontalAdvance(text);
    name.addText((L::kSplashWidth - w) / 2, 74, f, text);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 140));
    p.drawPath(name.translated(2, 3));
    QLinearGradient g(0, 30, 0, 76);
    g.setColorAt(0, QColor(0xFF, 0xF2, 0xC8));
    g.setColorAt(0.5, QColor(0xFF, 0xB0, 0x20));
    g.setColorAt(1, QColor(0xC0, 0x4A, 0x10));
    p.setBrush(g);
    p.drawPath(name);
    Label(p, QRectF(0, 80, L::kSplashWidth, 18), QStringLiteral("LOOP  CONSOLE  \u00B7  20"),
          SansFont(12, true), QColor(0xC8, 0xC0, 0xE0), Qt::AlignCenter, false);
    p.end();
    return img;
}

// Cursors: white with a black outline, 32 × 32.
QImage Cursor(int which) {
    QImage img = NewPicture(L::kCursorSize, L::kCursorSize);
    QPainter p(&img);
    Smooth(p);
    QPainterPath path;
    if (which == 0) {
        // A pointing hand, fingertip at (9, 1).
        path.addRoundedRect(QRectF(7, 1, 4.5, 14), 2.2, 2.2);
        path.addRoundedRect(QRectF(11, 8, 4.2, 8), 2, 2);
        path.addRoundedRect(QRectF(15, 9, 4.2, 8), 2, 2);
        path.addRoundedRect(QRectF(19, 10, 4, 8), 2, 2);
        path.addRoundedRect(QRectF(7, 12, 16, 12), 4, 4);
        QPainterPath thumb;
        thumb.moveTo(7.5, 14);
        thumb.lineTo(3, 11);
        thumb.quadTo(1, 11.5, 2.5, 14);
        thumb.lineTo(7.5, 21);
        thumb.closeSubpath();
        path.addPath(thumb);
        path = path.simplified();
    } else {
        // Double arrows: vertical (knob), horizontal (ruler); the drag
        // shape carries a grip bar.
        const bool vertical = which == 1;
        QPolygonF a;
        a << QPointF(15.5, 2) << QPointF(22, 9) << QPointF(18, 9) << QPointF(18, 22)
          << QPointF(22, 22) << QPointF(15.5, 29) << QPointF(9, 22) << QPointF(13, 22)
          << QPointF(13, 9) << QPointF(9, 9);
        path.addPolygon(a);
        path.closeSubpath();
        path = path.simplified();
        if (!vertical) {
            QTransform tr;
            tr.translate(15.5, 15.5);
            tr.rotate(90);
            tr.translate(-15.5, -15.5);
            path = tr.map(path);
        }
    }
    // The dragging shape is the hover shape in negative.
    p.setPen(
        QPen(which == 3 ? Qt::white : Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(which == 3 ? Qt::black : Qt::white);
    p.drawPath(path);
    if (which == 0) {
        p.setPen(QPen(QColor(0x60, 0x60, 0x60), 0.8));
        for (double x : {11.2, 15.2, 19.1})
            p.drawLine(QPointF(x, 13), QPointF(x, 16.5));
    }
    p.end();
    return img;
}

// The icon as a few rounded rectangles in unit coordinates, drawn by
// QPainter and written as SVG from the same numbers.
struct IconPart {
    double x, y, w, h, r;
    unsigned top, bottom;
};
constexpr IconPart kIcon[] = {
    {0.04, 0.04, 0.92, 0.92, 0.2, 0x3A3F48, 0x15171B},   // body
    {0.14, 0.14, 0.72, 0.14, 0.05, 0x0A0B0C, 0x0A0B0C},  // meter window
    {0.17, 0.18, 0.30, 0.06, 0.02, 0xFFD060, 0xFF9A00},  // meter, left
    {0.53, 0.18, 0.22, 0.06, 0.02, 0xFFD060, 0xFF9A00},  // meter, right
    {0.14, 0.36, 0.33, 0.24, 0.06, 0xFFC040, 0xE07800},  // pads
    {0.53, 0.36, 0.33, 0.24, 0.06, 0x5A606A, 0x30343A},
    {0.14, 0.65, 0.33, 0.24, 0.06, 0x5A606A, 0x30343A},
    {0.53, 0.65, 0.33, 0.24, 0.06, 0xFF5CB4, 0xD01870},
};

QColor Rgb(unsigned v) {
    return QColor((v >> 16) & 255, (v >> 8) & 255, v & 255);
}

}  // namespace

QImage PaintIcon(int size) {
    QImage img = NewPicture(size, size);
    QPainter p(&img);
    Smooth(p);
    p.setPen(Qt::NoPen);
    for (const IconPart& part : kIcon) {
        const QRectF r(part.x * size, part.y * size, part.w * size, part.h * size);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, Rgb(part.top));
        g.setColorAt(1, Rgb(part.bottom));
        p.setBrush(g);
        p.drawRoundedRect(r, part.r * size, part.r * size);
    }
    p.end();
    return img;
}

std::string IconSvg() {
    std::ostringstream s;
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 "
         "256\">\n"
      << "  <defs>\n";
    char buf[256];
    int i = 0;
    for (const IconPart& part : kIcon) {
        std::snprintf(
            buf, sizeof buf,
            "    <linearGradient id=\"g%d\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
            "<stop offset=\"0\" stop-color=\"#%06X\"/><stop offset=\"1\" stop-color=\"#%06X\"/>"
            "</linearGradient>\n",
            i++, part.top, part.bottom);
        s << buf;
    }
    s << "  </defs>\n";
    i = 0;
    for (const IconPart& part : kIcon) {
        std::snprintf(buf, sizeof buf,
                      "  <rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" rx=\"%.2f\" "
                      "fill=\"url(#g%d)\"/>\n",
                      part.x * 256, part.y * 256, part.w * 256, part.h * 256, part.r * 256, i++);
        s << buf;
    }
    s << "</svg>\n";
    return s.str();
}

std::vector<Picture> PaintShared() {
    std::vector<Picture> out;
    for (const L::SkinImage& entry : L::SharedImages()) {
        if (entry.name.rfind("GBUTTON", 0) == 0) {
            out.push_back(Masked(entry, DialogButton(entry.name.back()), QColor(0x28, 0x2A, 0x2E)));
        } else if (entry.name == L::kSplashName) {
            Picture pic;
            pic.entry = entry;
            pic.pixels = Splash().convertToFormat(QImage::Format_RGB32);
            out.push_back(pic);
        } else if (entry.name == L::kIconName) {
            out.push_back(Masked(entry, PaintIcon(entry.width), QColor(0x15, 0x17, 0x1B)));
        } else {
            const int which = entry.name == L::kButtonCursorName       ? 0
                              : entry.name == L::kKnobCursorName       ? 1
                              : entry.name == L::kRulerHoverCursorName ? 2
                                                                       : 3;
            out.push_back(Masked(entry, Cursor(which), Qt::black));
        }
    }
    return out;
}

}  // namespace tamboro::skins
