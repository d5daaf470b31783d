#include "tools/skins/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"
#include "tools/skins/Art.h"

namespace tamboro::skins {
namespace {

namespace L = console::layout;
using L::PadState;
using L::SkinImage;

QRect ToQRect(const L::Rect& r) {
    return QRect(r.x, r.y, r.w, r.h);
}
QRectF ToQRectF(const L::Rect& r) {
    return QRectF(r.x, r.y, r.w, r.h);
}

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// ---- Where the visible shapes sit --------------------------------------------

// Pads: a regular grid of bodies inside the (irregular) layout rectangles.
constexpr double kPadBodyW = 38, kPadBodyH = 42;
QPointF PadCentre(int channel) {
    const int col = channel % 5, row = channel / 5;
    return {207 + 22.2 * (2 * col + 1), 261.0 + 49.0 * row};
}
QRectF PadBody(int channel) {
    const QPointF c = PadCentre(channel);
    return {c.x() - kPadBodyW / 2, c.y() - kPadBodyH / 2, kPadBodyW, kPadBodyH};
}

// Master fader: the track's centre line and the cap's centre for a step.
constexpr double kFaderX = 606;
double FaderY(int step) {
    return 391.0 - (step * 5 + 2.5) * 63.0 / 100.0;
}
constexpr int kFaderDots = 10;
double FaderDotY(int i) {
    return 392.0 - i * 6.6;
}
constexpr double kFaderDotX = 584;

// Meter segments: 13 a side, 7 pixels apart, growing from the middle.
constexpr int kMeterSegments = 13;
constexpr double kMeterTop = 5, kMeterBottom = 17;
QRectF MeterSegment(int side, int k) {  // side -1 left, +1 right
    const double mid = L::kMeterWindow.x + L::kMeterHalfWidth;
    const double x = side > 0 ? mid + 1.5 + 7.0 * k : mid - 1.5 - 7.0 * k - 5.0;
    return {x, kMeterTop, 5.0, kMeterBottom - kMeterTop};
}
QColor MeterColour(const Theme& t, int k) {
    struct Ramp {
        unsigned low, mid, high;
    };
    static const Ramp ramps[4] = {{0x9CFF3A, 0xFFB020, 0xFF3B1F},
                                  {0xC8E86A, 0xFF9A2A, 0xE8321E},
                                  {0x3FF0FF, 0xB06CFF, 0xFF2E9A},
                                  {0x3DFF5A, 0xFFE53A, 0xFF3030}};
    const Ramp& r = ramps[t.index];
    const unsigned v = k < 8 ? r.low : k < 11 ? r.mid : r.high;
    return QColor((v >> 16) & 255, (v >> 8) & 255, v & 255);
}

// Text panel bezel and the display module around meter, switch and panel.
const QRectF kDisplayModule(219, 0, 196, 126);

// ---- Composition helpers ---------------------------------------------------------

QImage ToRgb(const QImage& img) {
    return img.convertToFormat(QImage::Format_RGB32);
}

// A sprite (ARGB, local coordinates) over the background at `at`: opaque
// pixels, and the pixels the sprite does not touch recorded as transparent
// when `masked`.
Picture Compose(const SkinImage& entry, const QImage& back, QPoint at, const QImage& sprite,
                bool masked) {
    Picture pic;
    pic.entry = entry;
    if (back.size() == QSize(L::kConsoleWidth, L::kConsoleHeight)) {
        pic.placeX = at.x();
        pic.placeY = at.y();
    }
    QImage out =
        back.copy(QRect(at, sprite.size())).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&out);
        p.drawImage(0, 0, sprite);
    }
    pic.pixels = ToRgb(out);
    if (masked) {
        pic.transparent.assign(static_cast<std::size_t>(sprite.width() * sprite.height()), 0);
        for (int y = 0; y < sprite.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(sprite.constScanLine(y));
            for (int x = 0; x < sprite.width(); ++x) {
                pic.transparent[static_cast<std::size_t>(y * sprite.width() + x)] =
                    qAlpha(row[x]) == 0 ? 1 : 0;
            }
        }
    }
    return pic;
}

// A painter on a fresh sprite whose origin is the console point `origin`.
struct SpritePainter {
    QImage image;
    QPainter p;
    SpritePainter(int w, int h, QPointF origin) : image(NewPicture(w, h)), p(&image) {
        Smooth(p);
        p.translate(-origin);
    }
};

// ---- Pieces shared by both consoles -----------------------------------------------

void Tray(QPainter& p, const Theme& t, const QRectF& r, double radius, bool dark = false) {
    const QColor fill = dark ? t.trayLo : t.tray;
    if (t.material == Material::Disco) {
        Sunken(p, Rounded(r, radius), fill, 2.5);
        Neon(p, Rounded(r.adjusted(-2.5, -2.5, 2.5, 2.5), radius + 2.5), t.rim, 1.0);
        return;
    }
    if (t.material == Material::Walnut && !dark) {
        // Cream panel framed in brass.
        p.save();
        p.setPen(QPen(QColor(0, 0, 0, 90), 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(Rounded(r.adjusted(-2, -1, 3, 3), radius + 2));
        QLinearGradient brass(r.topLeft(), r.bottomRight());
        brass.setColorAt(0, QColor(0xF4, 0xD9, 0x8A));
        brass.setColorAt(0.5, QColor(0xB8, 0x8A, 0x30));
        brass.setColorAt(1, QColor(0x7A, 0x56, 0x18));
        p.setPen(QPen(QBrush(brass), 3.0));
        p.drawPath(Rounded(r.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5));
        p.restore();
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, Mix(t.tray, Qt::white, 0.25));
        g.setColorAt(1, t.tray);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(Rounded(r, radius));
        p.restore();
        return;
    }
    if (t.material == Material::Plastic && !dark) {
        Raised(p, Rounded(r, radius), t.tray.lighter(118), t.tray, t.trayLo, 3.0);
        return;
    }
    Sunken(p, Rounded(r, radius), fill, 2.5);
}

void Rivets(QPainter& p, const Theme& t, const QRectF& r, double inset, double size, int seed) {
    const QPointF pts[4] = {
        r.topLeft() + QPointF(inset, inset), r.topRight() + QPointF(-inset, inset),
        r.bottomLeft() + QPointF(inset, -inset), r.bottomRight() + QPointF(-inset, -inset)};
    for (int i = 0; i < 4; ++i)
        Screw(p, pts[i], size, t, seed + i);
}

QColor InkFor(const Theme& t, bool onTray) {
    return onTray ? t.inkOnTray : t.ink;
}

// The big nameplate.
void Logo(QPainter& p, const Theme& t, const QRectF& r, double size) {
    const QFont f = t.serifLogo ? SerifFont(size) : SansFont(size, true);
    QFont spaced = f;
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, t.material == Material::Steel ? 2.0 : 1.0);
    const QString name = QStringLiteral("TAMBORO");
    p.save();
    p.setFont(spaced);
    switch (t.material) {
        case Material::Steel: {
            p.setPen(QColor(255, 255, 255, 150));
            p.drawText(r.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter, name);
            p.setPen(QColor(0x2A, 0x2F, 0x35));
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, name);
            break;
        }
        case Material::Walnut: {
            p.setPen(QColor(0, 0, 0, 160));
            p.drawText(r.translated(1, 1.5), Qt::AlignLeft | Qt::AlignVCenter, name);
            QLinearGradient g(r.topLeft(), r.bottomLeft());
            g.setColorAt(0.2, QColor(0xFF, 0xEC, 0xA8));
            g.setColorAt(0.6, QColor(0xD0, 0xA0, 0x40));
            g.setColorAt(1.0, QColor(0x9A, 0x70, 0x20));
            p.setPen(QPen(QBrush(g), 1));
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, name);
            break;
        }
        case Material::Disco: {
            QPainterPath path;
            const QFontMetricsF fm(spaced);
            path.addText(r.left(), r.center().y() + fm.ascent() / 2 - fm.descent() / 2, spaced,
                         name);
            Neon(p, path, t.accent, 1.2);
            break;
        }
        case Material::Plastic: {
            QPainterPath path;
            const QFontMetricsF fm(spaced);
            path.addText(r.left(), r.center().y() + fm.ascent() / 2 - fm.descent() / 2, spaced,
                         name);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x0D, 0x35, 0x78));
            p.drawPath(path.translated(1.5, 2.5));
            const QColor letters[] = {QColor(0xFF, 0xD2, 0x3A), QColor(0xE8, 0x33, 0x2E),
                                      QColor(0x2D, 0xB8, 0x4B), QColor(0xFF, 0xFF, 0xFF)};
            // Each letter its own colour, like toy blocks.
            double x = r.left();
            for (int i = 0; i < name.size(); ++i) {
                QPainterPath letter;
                letter.addText(x, r.center().y() + fm.ascent() / 2 - fm.descent() / 2, spaced,
                               name.mid(i, 1));
                p.setPen(QPen(QColor(0x0D, 0x35, 0x78), 1.2));
                p.setBrush(letters[i % 4]);
                p.drawPath(letter);
                x += fm.horizontalAdvance(name.mid(i, 1));
            }
            break;
        }
    }
    p.restore();
}

// A speaker grille, the theme's centrepiece on either side.
void Grille(QPainter& p, const Theme& t, QPointF c, double r, int seed) {
    p.save();
    switch (t.material) {
        case Material::Steel: {
            Sunken(
                p,
                [&] {
                    QPainterPath e;
                    e.addEllipse(c, r, r);
                    return e;
                }(),
                t.tray, 3);
            p.setPen(Qt::NoPen);
            for (int y = -12; y <= 12; ++y) {
                for (int x = -12; x <= 12; ++x) {
                    const double ox = x * 5.6 + (y % 2 ? 2.8 : 0), oy = y * 4.9;
                    if (std::hypot(ox, oy) > r - 5) continue;
                    p.setBrush(QColor(0, 0, 0, 200));
                    p.drawEllipse(c + QPointF(ox, oy), 1.7, 1.7);
                    p.setBrush(QColor(255, 255, 255, 40));
                    p.drawEllipse(c + QPointF(ox + 0.6, oy + 1.0), 1.2, 0.6);
                }
            }
            // Ring with four rivets.
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(t.rim, 3));
            p.drawEllipse(c, r + 1.5, r + 1.5);
            p.setPen(QPen(QColor(255, 255, 255, 90), 1));
            p.drawEllipse(c + QPointF(0.5, 0.8), r + 3, r + 3);
            for (int i = 0; i < 4; ++i) {
                const double a = M_PI / 4 + i * M_PI / 2;
                Screw(p, c + QPointF(std::cos(a), std::sin(a)) * (r + 1.5), 2.6, t, seed + i);
            }
            break;
        }
        case Material::Walnut: {
            QPainterPath e;
            e.addEllipse(c, r, r);
            // Woven cloth.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x4E, 0x3A, 0x26));
            p.drawPath(e);
            p.setClipPath(e);
            // Basket weave: short threads alternating over and under.
            for (int y = -int(r); y < int(r); y += 3) {
                for (int x = -int(r); x < int(r); x += 3) {
                    const bool across = ((x + y) / 3) % 2 == 0;
                    p.setPen(
                        QPen(across ? QColor(0x9A, 0x80, 0x5C, 200) : QColor(0x2A, 0x1C, 0x10, 170),
                             1.2));
                    if (across) {
                        p.drawLine(QPointF(c.x() + x, c.y() + y + 1),
                                   QPointF(c.x() + x + 2.5, c.y() + y + 1));
                    } else {
                        p.drawLine(QPointF(c.x() + x + 1, c.y() + y),
                                   QPointF(c.x() + x + 1, c.y() + y + 2.5));
                    }
                }
            }
            QRadialGradient shade(c - QPointF(r * 0.3, r * 0.35), r * 1.3);
            shade.setColorAt(0, QColor(255, 240, 200, 40));
            shade.setColorAt(1, QColor(0, 0, 0, 110));
            p.setPen(Qt::NoPen);
            p.setBrush(shade);
            p.drawPath(e);
            p.setClipping(false);
            QLinearGradient brass(c - QPointF(r, r), c + QPointF(r, r));
            brass.setColorAt(0, QColor(0xFF, 0xEC, 0xA8));
            brass.setColorAt(0.5, QColor(0xC0, 0x90, 0x38));
            brass.setColorAt(1, QColor(0x6A, 0x48, 0x12));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0, 0, 0, 100), 5));
            p.drawEllipse(c + QPointF(0.8, 1.2), r + 2, r + 2);
            p.setPen(QPen(QBrush(brass), 4.5));
            p.drawEllipse(c, r + 2, r + 2);
            break;
        }
        case Material::Disco: {
            // A mirror ball: facets in a sphere, sparkles around it.
            QPainterPath e;
            e.addEllipse(c, r * 0.78, r * 0.78);
            p.setClipPath(e);
            const double rr = r * 0.78;
            for (int row = -9; row <= 9; ++row) {
                for (int col = -12; col <= 12; ++col) {
                    const double lat = row * M_PI / 20, lon = col * M_PI / 24;
                    const double x = c.x() + rr * std::cos(lat) * std::sin(lon);
                    const double y = c.y() + rr * std::sin(lat);
                    const double light = 0.5 + 0.5 * (-std::sin(lon) * 0.6 - std::sin(lat) * 0.7 +
                                                      std::cos(lat) * std::cos(lon) * 0.4);
                    const double sparkle = Hash(row, col, seed);
                    QColor f = Mix(QColor(0x30, 0x18, 0x58), QColor(0xE8, 0xE0, 0xFF), light);
                    if (sparkle > 0.9) f = Mix(f, t.led, 0.6);
                    if (sparkle < 0.08) f = Mix(f, t.accent, 0.6);
                    const double fw = rr * std::cos(lat) * M_PI / 24 * 0.9 + 0.6;
                    p.fillRect(
                        QRectF(x - fw / 2, y - rr * M_PI / 40 * 0.9, fw, rr * M_PI / 20 * 0.9), f);
                }
            }
            p.setClipping(false);
            QRadialGradient shine(c - QPointF(rr * 0.35, rr * 0.4), rr * 0.5);
            shine.setColorAt(0, QColor(255, 255, 255, 170));
            shine.setColorAt(1, QColor(255, 255, 255, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(shine);
            p.drawEllipse(c, rr, rr);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0, 0, 0, 120), 1.2));
            p.drawEllipse(c, rr, rr);
            p.setPen(QPen(QColor(0xC0, 0xC0, 0xD0), 1.4));
            p.drawLine(c - QPointF(0, rr), c - QPointF(0, r + 6));
            // Rays.
            for (int i = 0; i < 10; ++i) {
                const double a = i * 2 * M_PI / 10 + 0.3;
                const QPointF from = c + QPointF(std::cos(a), std::sin(a)) * (rr + 4);
                const QPointF to = c + QPointF(std::cos(a), std::sin(a)) * (r + 10);
                QLinearGradient g(from, to);
                const QColor col = i % 2 ? t.accent : t.led;
                g.setColorAt(0, WithAlpha(col, 150));
                g.setColorAt(1, WithAlpha(col, 0));
                p.setPen(QPen(QBrush(g), 1.6, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(from, to);
            }
            break;
        }
        case Material::Plastic: {
            QPainterPath e;
            e.addEllipse(c, r, r);
            Raised(p, e, QColor(0xFF, 0xE6, 0x80), QColor(0xFF, 0xD2, 0x3A),
                   QColor(0xD8, 0x98, 0x00), 3.5);
            p.setPen(Qt::NoPen);
            for (int ring = 0; ring < 4; ++ring) {
                const double rr = ring * r * 0.22;
                const int n = ring == 0 ? 1 : ring * 7;
                for (int i = 0; i < n; ++i) {
                    const double a = i * 2 * M_PI / n;
                    const QPointF h = c + QPointF(std::cos(a), std::sin(a)) * rr;
                    p.setBrush(QColor(0x8A, 0x5A, 0x00));
                    p.drawEllipse(h, r * 0.075, r * 0.075);
                    p.setBrush(QColor(255, 255, 255, 110));
                    p.drawEllipse(h + QPointF(0.5, 1.2), r * 0.05, r * 0.03);
                }
            }
            break;
        }
    }
    p.restore();
}

// The seat of a small button: a recess a pixel larger than the button.
void ButtonSeat(QPainter& p, const Theme& t, const QRectF& r, double radius) {
    Sunken(p, Rounded(r.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1), t.trayLo, 1.5);
}

// Black glass flush with `r` (exactly the background the consoles write
// text on), in a bezel of the theme's rim colour `margin` pixels wide
// (`bottom` below) with a soft shadow.
void Glass(QPainter& p, const Theme& t, const L::Rect& r, double margin, double bottom) {
    const QRectF g = ToQRectF(r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawRoundedRect(g.adjusted(-margin - 1, -margin - 1, margin + 1, bottom + 1), margin + 2,
                      margin + 2);
    p.setBrush(t.material == Material::Walnut ? QColor(0xB8, 0x8A, 0x30) : t.rim);
    p.drawRoundedRect(g.adjusted(-margin, -margin, margin, bottom), margin + 1, margin + 1);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(ToQRect(r), Qt::black);
    p.setRenderHint(QPainter::Antialiasing, true);
}

// ---- The main console's background ---------------------------------------------------

QImage PaintMainBack(const Theme& t) {
    QImage back(L::kConsoleWidth, L::kConsoleHeight, QImage::Format_ARGB32_Premultiplied);
    FillMaterial(back, t, back.rect(), 100 + t.index);
    QPainter p(&back);
    Smooth(p);

    const bool steel = t.material == Material::Steel;
    const bool walnut = t.material == Material::Walnut;
    const bool disco = t.material == Material::Disco;

    // Disco: a scatter of stars on the velvet.
    if (disco) {
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 140; ++i) {
            const QPointF s(Hash(i, 1, 5) * 640, Hash(i, 2, 5) * 480);
            const double a = 40 + Hash(i, 3, 5) * 120;
            p.setBrush(WithAlpha(i % 3 ? QColor(0xFF, 0xFF, 0xFF) : t.led, static_cast<int>(a)));
            p.drawEllipse(s, 0.7, 0.7);
        }
    }
    // Steel: plate seams with rivets.
    if (steel) {
        p.setPen(QPen(QColor(0, 0, 0, 80), 1));
        p.drawLine(QPointF(0, 140.5), QPointF(200, 140.5));
        p.drawLine(QPointF(200.5, 0), QPointF(200.5, 480));
        p.drawLine(QPointF(440.5, 0), QPointF(440.5, 480));
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.drawLine(QPointF(0, 141.5), QPointF(200, 141.5));
        p.drawLine(QPointF(201.5, 0), QPointF(201.5, 480));
        p.drawLine(QPointF(441.5, 0), QPointF(441.5, 480));
        Rivets(p, t, QRectF(0, 0, 200, 141), 7, 2.6, 1);
        Rivets(p, t, QRectF(0, 141, 200, 339), 7, 2.6, 5);
        Rivets(p, t, QRectF(441, 0, 199, 480), 7, 2.6, 9);
        Rivets(p, t, QRectF(201, 440, 239, 40), 7, 2.4, 13);
    }

    // Logo and model line, top left.
    Logo(p, t, QRectF(18, 14, 190, 40), t.material == Material::Plastic ? 34 : 32);
    Label(p, QRectF(20, 52, 190, 14), QStringLiteral("LOOP  CONSOLE  \u00B7  20"),
          SansFont(10.5, true),
          walnut  ? QColor(0xE8, 0xD4, 0xA0)
          : disco ? t.led
                  : t.ink,
          Qt::AlignLeft | Qt::AlignVCenter, !disco);

    // Speakers.
    Grille(p, t, QPointF(110, 190), 64, 20);
    Grille(p, t, QPointF(528, 108), 64, 30);

    // Display module: meter, power switch and text panel.
    {
        const QRectF m = kDisplayModule;
        if (disco) {
            Sunken(p, Rounded(m, 8), t.tray, 3);
            Neon(p, Rounded(m.adjusted(-2, -2, 2, 2), 10), t.accent, 1.0);
        } else if (walnut) {
            Tray(p, t, m, 6, false);
        } else {
            Sunken(p, Rounded(m, 7), t.material == Material::Plastic ? t.faceLo : t.tray, 3);
        }
        // Meter strip: a dark glass with unlit segments and L/R marks.
        const QRectF strip(L::kMeterWindow.x + 2, 2, L::kMeterWindow.w - 4, 18);
        Sunken(p, Rounded(strip, 3), QColor(0x0A, 0x0B, 0x0C), 1.5);
        p.setPen(Qt::NoPen);
        for (int side : {-1, 1}) {
            for (int k = 0; k < kMeterSegments; ++k) {
                p.setBrush(Mix(MeterColour(t, k), Qt::black, 0.82));
                p.drawRoundedRect(MeterSegment(side, k), 1, 1);
            }
        }
        Label(p, QRectF(222, 26, 22, 20), "L", SansFont(12, true), t.inkOnTray, Qt::AlignCenter,
              false);
        Label(p, QRectF(392, 26, 22, 20), "R", SansFont(12, true), t.inkOnTray, Qt::AlignCenter,
              false);
        // The power switch's seat.
        Sunken(p, Rounded(ToQRectF(L::kPowerSwitch).adjusted(-2, -1, 2, 2), t.radius + 2),
               QColor(0x08, 0x08, 0x0A), 2);
        // The text panel: black glass, exactly the text background, with a bezel.
        Glass(p, t, L::kTextPanel, 2, 2);
    }

    // Transport tray.
    {
        const QRectF tray(207, 156, 223, 49);
        Tray(p, t, tray, 7, !walnut && t.material != Material::Plastic);
        for (int b = 4; b < 7; ++b) {
            ButtonSeat(p, t, ToQRectF(L::ButtonRect(static_cast<L::ConsoleButton>(b))), t.radius);
        }
    }

    // Pad tray with a well for every pad.
    {
        const QRectF tray(199, 229, 238, 212);
        Tray(p, t, tray, 9, !walnut && t.material != Material::Plastic);
        for (int c = 0; c < L::kChannelCount; ++c) {
            const QRectF well = PadBody(c).adjusted(-2.5, -2.5, 2.5, 2.5);
            Sunken(p, Rounded(well, t.radius + 2), Mix(t.trayLo, Qt::black, 0.35), 2.0);
        }
    }

    // Knob tray: mode switches, a seat for every knob.
    {
        const QRectF tray(36, 268, 124, 194);
        Tray(p, t, tray, 9, !walnut && t.material != Material::Plastic);
        for (int c = 0; c < L::kChannelCount; ++c) {
            const L::Rect k = L::KnobRect(c);
            QPainterPath seat;
            seat.addEllipse(QPointF(k.x + 7.5, k.y + 7.5), 7.4, 7.4);
            Sunken(p, seat, QColor(0x0C, 0x0C, 0x0E), 1.2);
        }
        // The mode switches' seats (drawn again by the mode pictures).
        for (const L::Rect& s : {L::kVolumeModeSwitch, L::kPanModeSwitch}) {
            QPainterPath seat;
            seat.addEllipse(QPointF(s.x + s.w / 2.0, s.y + s.h / 2.0), 8.8, 8.8);
            Sunken(p, seat, QColor(0x0C, 0x0C, 0x0E), 1.5);
        }
        // Row and column marks: channel numbers of the first column.
        const QColor ink = InkFor(t, true);
        for (int row = 0; row < 4; ++row) {
            const L::Rect k = L::KnobRect(row * 5);
            Label(p, QRectF(k.x - 22, k.y + 1, 19, 13), QString::number(row * 5 + 1),
                  SansFont(9.5, true), ink, Qt::AlignRight | Qt::AlignVCenter, false);
        }
    }

    // Small buttons with their names.
    {
        const QRectF tray(494, 202, 72, 99);
        Tray(p, t, tray, 6, !walnut && t.material != Material::Plastic);
        const char* names[4] = {"FILES", "DRUM", "AUDIO", "PRO"};
        for (int b = 0; b < 4; ++b) {
            const L::Rect r = L::ButtonRect(static_cast<L::ConsoleButton>(b));
            ButtonSeat(p, t, ToQRectF(r), 2);
            Label(p, QRectF(r.Right() + 4, r.y, 44, r.h), names[b], SansFont(10, true),
                  InkFor(t, true), Qt::AlignLeft | Qt::AlignVCenter, false);
        }
    }

    // Master: a fader track with a scale and its unlit level lights.
    {
        const QRectF tray(566, 236, 70, 177);
        Tray(p, t, tray, 7, !walnut && t.material != Material::Plastic);
        const QColor ink = InkFor(t, true);
        Label(p, QRectF(568, 240, 66, 14), "MASTER", SansFont(10.5, true), ink, Qt::AlignCenter,
              false);
        p.setBrush(ink);
        p.setPen(Qt::NoPen);
        p.drawPath(SymbolPath(Symbol::Speaker, QRectF(596, 258, 20, 16)));
        const QRectF track(kFaderX - 2.5, 322, 5, 76);
        Sunken(p, Rounded(track, 2.5), QColor(0x05, 0x05, 0x06), 1.5);
        for (int i = 0; i <= 10; ++i) {
            const double y = 391.0 - i * 6.3;
            const double len = i % 5 == 0 ? 6 : 3;
            p.setPen(QPen(ink, i % 5 == 0 ? 1.2 : 0.8));
            p.drawLine(QPointF(kFaderX + 8, y), QPointF(kFaderX + 8 + len, y));
        }
        Label(p, QRectF(kFaderX + 16, 321, 16, 10), "10", SansFont(8.5, true), ink,
              Qt::AlignLeft | Qt::AlignVCenter, false);
        Label(p, QRectF(kFaderX + 16, 386, 16, 10), "0", SansFont(8.5, true), ink,
              Qt::AlignLeft | Qt::AlignVCenter, false);
        for (int i = 0; i < kFaderDots; ++i) {
            Light(p, QPointF(kFaderDotX, FaderDotY(i)), 1.9, t, false, nullptr);
        }
    }

    // Bottom line, right: a small maker's plate.
    Label(p, QRectF(452, 446, 170, 16), QStringLiteral("TAMBORO  TM-20"), SansFont(10, true),
          walnut  ? QColor(0xE8, 0xD4, 0xA0)
          : disco ? t.accent
                  : t.ink,
          Qt::AlignRight | Qt::AlignVCenter, !disco);
    if (!steel) {
        Screw(p, QPointF(12, 468), 3, t, 40);
        Screw(p, QPointF(628, 468), 3, t, 41);
        Screw(p, QPointF(12, 12), 3, t, 42);
        Screw(p, QPointF(628, 12), 3, t, 43);
    }
    p.end();
    return ToRgb(back);
}

// ---- Main console sprites ---------------------------------------------------------------

QImage PadSprite(const Theme& t, int channel, PadState state) {
    const L::Rect r = L::PadRect(channel);
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    const bool sounding = state == PadState::Sounding || state == PadState::SoundingBlink;
    QRectF body = PadBody(channel);
    const double radius = t.radius + 1;
    const QString number = QString::number(channel + 1);
    const QPointF ledAt(body.center().x(), body.top() + 8);

    if (state == PadState::Empty) {
        // Empty: a flat, dim cap sitting low in its well; a hollow ring where
        // a loaded pad has its light.
        QColor flat = Mix(Mix(t.pad, QColor(128, 128, 128), 0.55), t.trayLo, 0.35);
        p.setPen(Qt::NoPen);
        QLinearGradient g(body.topLeft(), body.bottomLeft());
        g.setColorAt(0, Mix(flat, Qt::black, 0.15));
        g.setColorAt(1, Mix(flat, Qt::white, 0.05));
        p.setBrush(g);
        p.drawPath(Rounded(body.adjusted(0.5, 0.5, -0.5, -0.5), radius));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(WithAlpha(Mix(flat, Qt::black, 0.5), 200), 1.0, Qt::DashLine));
        p.drawPath(Rounded(body.adjusted(3.5, 3.5, -3.5, -3.5), radius - 2));
        p.setPen(QPen(WithAlpha(Mix(flat, Qt::white, 0.35), 200), 1.0));
        p.drawEllipse(ledAt, 3, 3);
        Label(p, body.adjusted(0, 16, 0, -2), number, SansFont(13, true),
              Mix(flat, t.material == Material::Walnut ? Qt::black : Qt::white, 0.35),
              Qt::AlignCenter, false);
        p.end();
        return sp.image;
    }

    if (sounding) body.translate(0.5, 1.0);  // pressed in
    const QColor lit = t.padLit;
    QColor bodyCol = t.pad, hi = t.padHi, lo = t.padLo;
    if (state == PadState::Sounding) {
        bodyCol = Mix(lit, t.pad, 0.28);
        hi = Mix(lit, Qt::white, 0.3);
        lo = Mix(lit, Qt::black, 0.4);
    } else if (state == PadState::SoundingBlink) {
        bodyCol = Mix(t.pad, lit, 0.18);
        hi = Mix(t.padHi, lit, 0.2);
    }
    if (sounding) {
        // The light spills around the pad.
        QPainterPath glow = Rounded(body.adjusted(-2.5, -2.5, 2.5, 2.5), radius + 2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(WithAlpha(state == PadState::Sounding ? lit : t.pending, 90));
        p.drawPath(glow);
    }
    Raised(p, Rounded(body, radius), hi, bodyCol, lo, sounding ? 0.6 : 2.2);
    if (sounding) {
        // Pressed: a darker band along the top edge inside the cap.
        p.save();
        p.setClipPath(Rounded(body, radius));
        p.setPen(QPen(QColor(0, 0, 0, 70), 2.0));
        p.drawLine(body.topLeft() + QPointF(0, 0.5), body.topRight() + QPointF(0, 0.5));
        p.restore();
    }
    if (state == PadState::Sounding) {
        // Lit from within: a bright centre.
        QRadialGradient inner(body.center() + QPointF(0, 3), body.width() * 0.6);
        inner.setColorAt(0, WithAlpha(Mix(lit, Qt::white, 0.45), 160));
        inner.setColorAt(1, WithAlpha(lit, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(inner);
        p.drawPath(Rounded(body.adjusted(2, 2, -2, -2), radius - 1));
    }
    if (state == PadState::SoundingBlink) {
        // Waiting to switch: a bright ring in the second light colour.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(t.pending, 2.0));
        p.drawPath(Rounded(body.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1));
    }
    Light(p, ledAt + (sounding ? QPointF(0, 0) : QPointF(0, 0)), 3.0, t,
          state == PadState::Sounding, nullptr);
    const bool darkText = bodyCol.lightness() > 140;
    const QColor ink =
        state == PadState::Sounding
            ? (darkText ? Mix(lo, Qt::black, 0.5) : Qt::white)
            : (darkText ? Mix(t.padLo, Qt::black, 0.45) : Mix(t.padHi, Qt::white, 0.5));
    Label(p, body.adjusted(0, 16, 0, -2), number, SansFont(13, true), ink, Qt::AlignCenter, true);
    p.end();
    return sp.image;
}

// A knob's dome: lit from the top left, its own spread and middle stop per material.
void Dome(QPainter& p, QPointF c, double r, const QColor& hi, const QColor& mid, const QColor& lo,
          double spread, double midStop) {
    QRadialGradient g(c - QPointF(r * 0.35, r * 0.45), r * spread);
    g.setColorAt(0, hi);
    g.setColorAt(midStop, mid);
    g.setColorAt(1, lo);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, r, r);
}

void KnobCap(QPainter& p, const Theme& t, QPointF c, double r, double angleDeg) {
    const double a = angleDeg * M_PI / 180;
    const QPointF dir(std::sin(a), -std::cos(a));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawEllipse(c + QPointF(0.4, 0.7), r, r);
    switch (t.material) {
        case Material::Steel:
            Dome(p, c, r, t.knobHi, t.knob, t.knobLo, 1.6, 0.5);
            // Knurled edge.
            p.setPen(QPen(QColor(0, 0, 0, 70), 0.6));
            for (int i = 0; i < 16; ++i) {
                const QPointF d(std::sin(i * M_PI / 8), -std::cos(i * M_PI / 8));
                p.drawLine(c + d * (r - 1.2), c + d * r);
            }
            p.setPen(Qt::NoPen);
            p.setBrush(Mix(t.knob, Qt::white, 0.25));
            p.drawEllipse(c, r * 0.55, r * 0.55);
            break;
        case Material::Walnut:
            Dome(p, c, r, t.knobHi, t.knob, t.knobLo, 1.7, 0.45);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0x5A, 0x3C, 0x10, 160), 0.7));
            p.drawEllipse(c, r * 0.62, r * 0.62);
            break;
        case Material::Disco:
            Dome(p, c, r, t.knobHi, t.knob, t.knobLo, 1.6, 0.5);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(WithAlpha(t.accent, 200), 0.9));
            p.drawEllipse(c, r - 0.5, r - 0.5);
            break;
        case Material::Plastic:
            Dome(p, c, r, Qt::white, t.knob, t.knobLo, 1.5, 0.6);
            break;
    }
    // The pointer.
    if (t.material == Material::Plastic) {
        p.setPen(Qt::NoPen);
        p.setBrush(t.pointer);
        p.drawEllipse(c + dir * (r * 0.55), r * 0.28, r * 0.28);
    } else {
        if (t.material == Material::Disco) {
            p.setPen(QPen(WithAlpha(t.pointer, 90), 2.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c + dir * (r * 0.15), c + dir * (r * 0.9));
        }
        p.setPen(QPen(t.pointer, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + dir * (r * 0.15), c + dir * (r * 0.9));
    }
    p.restore();
}

QImage KnobStrip(const Theme& t) {
    QImage strip = NewPicture(L::kKnobSize, L::kKnobSize * L::kKnobPositions);
    QPainter p(&strip);
    Smooth(p);
    for (int k = 0; k < L::kKnobPositions; ++k) {
        const double angle =
            L::kKnobFirstAngleDegrees +
            (L::kKnobLastAngleDegrees - L::kKnobFirstAngleDegrees) * k / (L::kKnobPositions - 1.0);
        KnobCap(p, t, QPointF(7.5, 7.5 + L::kKnobSize * k), 6.1, angle);
    }
    p.end();
    return strip;
}

QImage VolumeSprite(const Theme& t, int step) {
    const L::Rect r = L::kMasterVolumePicture;
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    // Level lights up to the fader.
    const int lit = (step + 2) / 2;
    for (int i = 0; i < lit; ++i) {
        const QColor c = MeterColour(t, i < 7 ? 0 : i < 9 ? 9 : 12);
        Light(p, QPointF(kFaderDotX, FaderDotY(i)), 1.9, t, true, &c);
    }
    // The fader cap.
    const double y = FaderY(step);
    const QRectF cap(kFaderX - 15, y - 6.5, 30, 13);
    switch (t.material) {
        case Material::Walnut:
            Raised(p, Rounded(cap, 2.5), t.knobHi, t.knob, t.knobLo, 2.5);
            break;
        case Material::Disco:
            Raised(p, Rounded(cap, 3), t.buttonHi, t.button, t.buttonLo, 2.5);
            break;
        case Material::Plastic:
            Raised(p, Rounded(cap, 5), t.buttonHi, t.button, t.buttonLo, 2.5);
            break;
        case Material::Steel:
            Raised(p, Rounded(cap, 2), QColor(0x6A, 0x70, 0x78), QColor(0x30, 0x34, 0x3A),
                   QColor(0x15, 0x17, 0x1A), 2.5);
            break;
    }
    // Grip ridges and the index line.
    p.setPen(QPen(QColor(0, 0, 0, 80), 0.8));
    for (int i = -2; i <= 2; ++i) {
        if (i == 0) continue;
        p.drawLine(QPointF(cap.left() + 4, y + i * 2.2), QPointF(cap.right() - 4, y + i * 2.2));
    }
    p.setPen(QPen(t.material == Material::Disco ? t.led : t.pointer, 1.4));
    p.drawLine(QPointF(cap.left() + 2, y), QPointF(cap.right() - 2, y));
    p.end();
    return sp.image;
}

QImage MeterSprite(const Theme& t, bool lit) {
    const L::Rect r = L::kMeterWindow;
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    p.setPen(Qt::NoPen);
    for (int side : {-1, 1}) {
        for (int k = 0; k < kMeterSegments; ++k) {
            const QRectF seg = MeterSegment(side, k);
            const QColor c = MeterColour(t, k);
            if (lit) {
                p.setBrush(WithAlpha(c, 70));
                p.drawRoundedRect(seg.adjusted(-1, -1, 1, 1), 2, 2);
                QLinearGradient g(seg.topLeft(), seg.bottomLeft());
                g.setColorAt(0, Mix(c, Qt::white, 0.55));
                g.setColorAt(0.5, c);
                g.setColorAt(1, Mix(c, Qt::black, 0.15));
                p.setBrush(g);
            } else {
                QLinearGradient g(seg.topLeft(), seg.bottomLeft());
                g.setColorAt(0, Mix(c, Qt::black, 0.7));
                g.setColorAt(1, Mix(c, Qt::black, 0.85));
                p.setBrush(g);
            }
            p.drawRoundedRect(seg, 1, 1);
        }
    }
    p.end();
    return sp.image;
}

QImage PowerSprite(const Theme& t, bool asking) {
    const L::Rect r = L::kPowerSwitch;
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    const QRectF body = ToQRectF(r).adjusted(1, 1, -1, -2).translated(0, asking ? 0 : 1);
    const QColor hi = asking ? t.buttonHi : Mix(t.buttonHi, t.button, 0.5);
    Raised(p, Rounded(body, t.radius + 1), hi, asking ? t.button : Mix(t.button, Qt::black, 0.12),
           t.buttonLo, asking ? 2.5 : 0.7);
    // Light, symbol and the rocker's two halves.
    const QColor on = MeterColour(t, 0);
    Light(p, QPointF(body.left() + 14, body.center().y()), 3.6, t, !asking,
          asking ? &t.accent : &on);
    if (asking) Light(p, QPointF(body.left() + 14, body.center().y()), 3.6, t, true, &t.accent);
    p.setPen(Qt::NoPen);
    p.setBrush(asking ? t.accent : t.glyph);
    p.drawPath(
        SymbolPath(Symbol::Power, QRectF(body.center().x() - 9, body.center().y() - 9, 18, 18)));
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.drawLine(QPointF(body.left() + 28, body.top() + 4),
               QPointF(body.left() + 28, body.bottom() - 4));
    p.drawLine(QPointF(body.right() - 28, body.top() + 4),
               QPointF(body.right() - 28, body.bottom() - 4));
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(0, 0, 0, 55), 1));
        p.drawLine(QPointF(body.right() - 22 + i * 4, body.top() + 7),
                   QPointF(body.right() - 22 + i * 4, body.bottom() - 7));
    }
    p.end();
    return sp.image;
}

QImage ModeSprite(const Theme& t, bool volume, bool on) {
    const L::Rect r = volume ? L::kVolumeModePicture : L::kPanModePicture;
    const L::Rect sw = volume ? L::kVolumeModeSwitch : L::kPanModeSwitch;
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    const QPointF c(sw.x + sw.w / 2.0, sw.y + sw.h / 2.0);
    QPainterPath cap;
    cap.addEllipse(c + QPointF(0, on ? 0.6 : 0), 7.2, 7.2);
    Raised(p, cap, t.buttonHi, on ? Mix(t.button, Qt::black, 0.1) : t.button, t.buttonLo,
           on ? 0.6 : 2.0);
    Light(p, c + QPointF(0, on ? 0.6 : 0), 3.0, t, on, nullptr);
    // The label to the left of the switch.
    const QColor ink = InkFor(t, true);
    const QRectF text(r.x + 4, sw.y + 1, sw.x - r.x - 8, sw.h - 2);
    if (volume) {
        Label(p, text, "VOLUME", SansFont(11, true), on ? Mix(ink, t.led, 0.0) : ink,
              Qt::AlignRight | Qt::AlignVCenter, false);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        Label(p, text.adjusted(0, 0, -22, 0), "PAN", SansFont(11, true), ink,
              Qt::AlignRight | Qt::AlignVCenter, false);
        p.setBrush(ink);
        p.drawPath(
            SymbolPath(Symbol::Balance, QRectF(text.right() - 18, text.center().y() - 4, 16, 8)));
    }
    p.end();
    return sp.image;
}

// A console button's cap: raised (up), pressed (down), with a focus ring,
// or flat and faded (disabled). `glyphBox` in console coordinates.
enum class Look { Up, Down, Focus, Disabled };

void ButtonCap(QPainter& p, const Theme& t, const QRectF& rect, double radius, Look look,
               Symbol symbol, const QRectF& glyphBox, const QColor& glyphColour, bool glowGlyph) {
    const bool down = look == Look::Down;
    QRectF body = rect.adjusted(0.5, 0.5, -1.0, -1.5);
    if (down) body.translate(0.5, 1.0);
    if (look == Look::Disabled) {
        p.setPen(Qt::NoPen);
        p.setBrush(Mix(t.button, QColor(128, 128, 128), 0.6));
        p.drawPath(Rounded(body, radius));
    } else {
        Raised(p, Rounded(body, radius), t.buttonHi,
               down ? Mix(t.button, Qt::black, 0.12) : t.button, t.buttonLo, down ? 0.5 : 1.5);
    }
    QColor g = glyphColour;
    if (look == Look::Disabled) g = WithAlpha(Mix(glyphColour, QColor(128, 128, 128), 0.6), 150);
    const QRectF gb = glyphBox.translated(down ? 0.5 : 0, down ? 1.0 : 0);
    if (down && glowGlyph) {
        p.setPen(QPen(WithAlpha(g, 90), 2.5));
        p.setBrush(WithAlpha(g, 90));
        p.drawPath(SymbolPath(symbol, gb));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(SymbolPath(symbol, gb));
    if (look == Look::Focus) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(t.material == Material::Disco ? t.led : t.accent, 1.2, Qt::DotLine));
        p.drawPath(Rounded(body.adjusted(1.6, 1.6, -1.6, -1.6), std::max(1.0, radius - 1.5)));
    }
}

QImage MainButton(const Theme& t, L::ConsoleButton b, Look look) {
    const L::Rect r = L::ButtonRect(b);
    SpritePainter sp(r.w, r.h, QPointF(r.x, r.y));
    QPainter& p = sp.p;
    const QRectF rect = ToQRectF(r);
    static const Symbol symbols[7] = {Symbol::Folder, Symbol::Drum, Symbol::Wave,  Symbol::Lanes,
                                      Symbol::Play,   Symbol::Stop, Symbol::Record};
    const int i = static_cast<int>(b);
    const bool small = i < 4;
    QRectF glyph;
    if (small) {
        glyph = QRectF(rect.center().x() - 4.5, rect.center().y() - 4.5, 9, 8);
    } else {
        const double s = 15;
        glyph = QRectF(rect.center().x() - s / 2, rect.center().y() - s / 2 - 0.5, s, s);
    }
    QColor colour = t.glyph;
    if (b == L::ConsoleButton::Record) colour = QColor(0xFF, 0x30, 0x28);
    if (b == L::ConsoleButton::Play && look == Look::Down) colour = MeterColour(t, 0);
    ButtonCap(p, t, rect, small ? 2.5 : t.radius + 1, look, symbols[i], glyph, colour, !small);
    p.end();
    return sp.image;
}

// ---- The PRO console -------------------------------------------------------------------

QImage PaintProBack(const Theme& t) {
    QImage back(L::kConsoleWidth, L::kConsoleHeight, QImage::Format_ARGB32_Premultiplied);
    FillMaterial(back, t, back.rect(), 200 + t.index);
    // The editor is a calmer, darker plate.
    Shade(back, back.rect(), t.material == Material::Plastic ? 0.85 : 0.78);
    QPainter p(&back);
    Smooth(p);
    const bool walnut = t.material == Material::Walnut;
    // Names: black glass.
    Glass(p, t, L::kProNameColumn, 3, 2);
    // Lanes: a dark field with the bar grid showing between the lanes.
    const QRectF field(142, 5, 484, 398);
    Sunken(p, Rounded(field, 4), QColor(0x14, 0x16, 0x14), 2);
    for (int i = 0; i <= 16; ++i) {
        const double x = 144 + i * 30 + 0.5;
        p.setPen(QPen(i % 4 == 0 ? QColor(0x80, 0x90, 0x70) : QColor(0x3A, 0x42, 0x36), 1));
        p.drawLine(QPointF(x, 6), QPointF(x, 402));
    }
    for (int c = 0; c < L::kChannelCount; ++c) {
        const L::Rect lane = L::ProLaneRect(c);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(ToQRect(lane), QColor(148, 173, 123));
        p.setRenderHint(QPainter::Antialiasing, true);
    }
    // Ruler: a light strip with bar and beat ticks; labels are written on it.
    const QRectF ruler = ToQRectF(L::kProRuler);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(ToQRect(L::kProRuler), QColor(0xE6, 0xE2, 0xD2));
    p.setPen(QColor(0x70, 0x6A, 0x58));
    for (int i = 0; i < 16; ++i) {
        const int x = 144 + i * 30;
        p.drawLine(x, 406, x, i % 4 == 0 ? 414 : 408);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0, 0, 0, 110), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(ruler.adjusted(-0.5, -0.5, 0.5, 0.5));
    // Button seats.
    for (const L::ProButton& b : L::kProButtons) {
        const QRectF r = ToQRectF(b.rect);
        if (b.suffix == "LIGHT") {
            QPainterPath seat;
            seat.addEllipse(r.center(), 4.6, 4.6);
            Sunken(p, seat, QColor(0x08, 0x08, 0x0A), 1);
        } else {
            ButtonSeat(p, t, r, 3);
        }
    }
    // Status: black glass like the names.
    Glass(p, t, L::kProStatus, 3, 3);
    // Names of the lights and of the way back.
    const QColor ink = walnut                          ? QColor(0xF1, 0xE6, 0xC8)
                       : t.material == Material::Disco ? t.led
                                                       : t.ink;
    const char* lights[3] = {"FILES", "DRUM", "AUDIO"};
    for (int i = 0; i < 3; ++i) {
        const L::Rect r = L::kProButtons[static_cast<std::size_t>(8 + i)].rect;
        Label(p, QRectF(r.x - 52, r.y - 3, 46, 13), lights[i], SansFont(9.5, true), ink,
              Qt::AlignRight | Qt::AlignVCenter, t.material != Material::Disco);
    }
    const L::Rect tb = L::kProButtons[11].rect;
    Label(p, QRectF(tb.x + tb.w + 6, tb.y - 2, 80, 15), "CONSOLE", SansFont(9.5, true), ink,
          Qt::AlignLeft | Qt::AlignVCenter, t.material != Material::Disco);
    // Name plate between the status glass and the lights.
    Logo(p, t, QRectF(352, 436, 130, 20), 17);
    Label(p, QRectF(352, 440, 186, 14), "PRO", SansFont(11, true),
          t.material == Material::Disco ? t.accent : ink, Qt::AlignRight | Qt::AlignVCenter,
          t.material != Material::Disco);
    p.end();
    return ToRgb(back);
}

QImage ProButton(const Theme& t, const L::ProButton& b, Look look) {
    SpritePainter sp(b.rect.w, b.rect.h, QPointF(b.rect.x, b.rect.y));
    QPainter& p = sp.p;
    const QRectF rect = ToQRectF(b.rect);
    if (b.suffix == "LIGHT") {
        const QPointF c = rect.center();
        if (look == Look::Disabled) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x40, 0x40, 0x44));
            p.drawEllipse(c, 3.0, 3.0);
        } else {
            const QColor on = t.led;
            Light(p, c, 2.6, t, look == Look::Down, &on);
            if (look == Look::Focus) {
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(t.accent, 1.0));
                p.drawEllipse(c, 3.2, 3.2);
            }
        }
        p.end();
        return sp.image;
    }
    Symbol s = Symbol::Play;
    if (b.suffix == "SL") s = Symbol::Left;
    if (b.suffix == "SLL") s = Symbol::LeftLeft;
    if (b.suffix == "SLLL") s = Symbol::ToStart;
    if (b.suffix == "SR") s = Symbol::Right;
    if (b.suffix == "SRR") s = Symbol::RightRight;
    if (b.suffix == "SRRR") s = Symbol::ToEnd;
    if (b.suffix == "STOP") s = Symbol::Stop;
    if (b.suffix == "TB") s = Symbol::Grid;
    const double gh = std::min(rect.height() - 7, 11.0);
    const double gw = (s == Symbol::LeftLeft || s == Symbol::RightRight || s == Symbol::ToStart ||
                       s == Symbol::ToEnd)
                          ? gh * 1.6
                          : gh;
    const QRectF glyph(rect.center().x() - gw / 2, rect.center().y() - gh / 2 - 0.5, gw, gh);
    QColor colour = t.glyph;
    if (b.suffix == "PLAY" && look == Look::Down) colour = MeterColour(t, 0);
    ButtonCap(p, t, rect, 3, look, s, glyph, colour, b.suffix == "PLAY");
    p.end();
    return sp.image;
}

QImage Texture(const Theme& t) {
    QImage tex(L::kTextureWidth, L::kTextureHeight, QImage::Format_ARGB32_Premultiplied);
    FillMaterial(tex, t, tex.rect(), 300 + t.index, true);
    if (t.material == Material::Plastic) {
        // Low studs like a toy building plate; 8 × 6 of them fit the tile exactly.
        QPainter p(&tex);
        Smooth(p);
        for (int row = 0; row < 6; ++row) {
            for (int col = 0; col < 8; ++col) {
                const QPointF c(20 + col * 40, 20 + row * 40);
                QPainterPath stud;
                stud.addEllipse(c, 10, 10);
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0, 0, 0, 40));
                p.drawEllipse(c + QPointF(1.2, 2), 10, 10);
                QLinearGradient g(c - QPointF(7, 7), c + QPointF(7, 7));
                g.setColorAt(0, WithAlpha(t.faceHi, 200));
                g.setColorAt(1, WithAlpha(t.face, 200));
                p.setBrush(g);
                p.drawPath(stud);
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(QColor(255, 255, 255, 60), 1));
                p.drawArc(QRectF(c.x() - 8, c.y() - 8, 16, 16), 60 * 16, 90 * 16);
            }
        }
    }
    if (t.material == Material::Disco) {
        // Stars, wrapped around the edges so the tiles join.
        QPainter p(&tex);
        Smooth(p);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 60; ++i) {
            const QPointF s(Hash(i, 1, 8) * tex.width(), Hash(i, 2, 8) * tex.height());
            p.setBrush(WithAlpha(i % 3 ? QColor(255, 255, 255) : t.led,
                                 60 + static_cast<int>(Hash(i, 3, 8) * 110)));
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy)
                    p.drawEllipse(s + QPointF(dx * tex.width(), dy * tex.height()), 0.7, 0.7);
        }
    }
    return ToRgb(tex);
}

Picture Plain(const SkinImage& entry, const QImage& rgb) {
    Picture pic;
    pic.entry = entry;
    pic.pixels = ToRgb(rgb);
    return pic;
}

// The console copies a pad's, the master fader's and the meter's pictures
// masked over whatever the previous picture of the same place left: a pixel
// one picture draws and the next leaves transparent would keep the old
// picture's colour. So the pictures that replace each other draw the union
// of their pixels (where a picture has nothing of its own, it carries the
// background, which Compose already put there).
void ShareMasks(std::vector<Picture>& pictures, const std::string& mainPrefix) {
    std::map<std::string, std::vector<Picture*>> places;
    for (Picture& pic : pictures) {
        if (pic.entry.set != L::SkinSet::Main || pic.transparent.empty()) continue;
        const std::string suffix = pic.entry.name.substr(mainPrefix.size());
        if (suffix.rfind("CH", 0) == 0) {
            places[suffix.substr(0, 4)].push_back(&pic);
        } else if (suffix.rfind("VOL", 0) == 0) {
            places["VOL"].push_back(&pic);
        } else if (suffix.rfind("METER", 0) == 0) {
            places["METER"].push_back(&pic);
        }
    }
    for (auto& [place, members] : places) {
        std::vector<std::uint8_t> shared = members.front()->transparent;
        for (const Picture* pic : members)
            for (std::size_t i = 0; i < shared.size(); ++i)
                shared[i] &= pic->transparent[i];
        for (Picture* pic : members)
            pic->transparent = shared;
    }
}

}  // namespace

std::vector<Picture> PaintTheme(int theme) {
    const Theme& t = ThemeFor(theme);
    const QImage back = PaintMainBack(t);
    const QImage proBack = PaintProBack(t);
    const std::string mainPrefix = L::ThemePrefix(L::SkinSet::Main, theme);
    const std::string proPrefix = L::ThemePrefix(L::SkinSet::Pro, theme);

    std::vector<Picture> out;
    for (const SkinImage& entry : L::ThemeImages(theme)) {
        const std::string suffix =
            entry.set == L::SkinSet::Main  ? entry.name.substr(mainPrefix.size())
            : entry.set == L::SkinSet::Pro ? entry.name.substr(proPrefix.size())
                                           : entry.name;
        auto at = [](const L::Rect& r) { return QPoint(r.x, r.y); };
        if (entry.set == L::SkinSet::General) {
            out.push_back(Plain(entry, Texture(t)));
        } else if (entry.set == L::SkinSet::Main) {
            if (suffix == "BACK") {
                out.push_back(Plain(entry, back));
            } else if (suffix.rfind("CH", 0) == 0) {
                const int channel = std::stoi(suffix.substr(2, 2)) - 1;
                const std::string s = suffix.substr(4);
                const PadState state = s == "U"   ? PadState::Empty
                                       : s == "D" ? PadState::Sounding
                                       : s == "X" ? PadState::Loaded
                                                  : PadState::SoundingBlink;
                out.push_back(Compose(entry, back, at(L::PadRect(channel)),
                                      PadSprite(t, channel, state), true));
            } else if (suffix.rfind("VOL", 0) == 0) {
                const int step = std::stoi(suffix.substr(3)) - 1;
                out.push_back(
                    Compose(entry, back, at(L::kMasterVolumePicture), VolumeSprite(t, step), true));
            } else if (suffix == "KNOB") {
                // Each frame over the first knob's seat; the seat is the same everywhere.
                const L::Rect k = L::KnobRect(0);
                QImage seat(L::kKnobSize, L::kKnobSize * L::kKnobPositions, QImage::Format_RGB32);
                QPainter sp(&seat);
                for (int f = 0; f < L::kKnobPositions; ++f)
                    sp.drawImage(0, f * L::kKnobSize, back.copy(ToQRect(k)));
                sp.end();
                out.push_back(Compose(entry, seat, QPoint(0, 0), KnobStrip(t), true));
            } else if (suffix == "POWERU" || suffix == "POWERD") {
                out.push_back(Compose(entry, back, at(L::kPowerSwitch),
                                      PowerSprite(t, suffix == "POWERU"), false));
            } else if (suffix == "KVOLU" || suffix == "KVOLD") {
                out.push_back(Compose(entry, back, at(L::kVolumeModePicture),
                                      ModeSprite(t, true, suffix == "KVOLD"), false));
            } else if (suffix == "KPANU" || suffix == "KPAND") {
                out.push_back(Compose(entry, back, at(L::kPanModePicture),
                                      ModeSprite(t, false, suffix == "KPAND"), false));
            } else if (suffix == "METER0" || suffix == "METER1") {
                out.push_back(Compose(entry, back, at(L::kMeterWindow),
                                      MeterSprite(t, suffix == "METER1"), true));
            } else if (suffix.rfind("BTN", 0) == 0) {
                static const std::map<std::string, L::ConsoleButton> buttons = {
                    {"FILE", L::ConsoleButton::Files},   {"DRUM", L::ConsoleButton::Drum},
                    {"AUDIO", L::ConsoleButton::Audio},  {"PRO", L::ConsoleButton::Pro},
                    {"PLAY", L::ConsoleButton::Play},    {"STOP", L::ConsoleButton::Stop},
                    {"RECORD", L::ConsoleButton::Record}};
                const char state = suffix.back();
                const L::ConsoleButton b = buttons.at(suffix.substr(3, suffix.size() - 4));
                const Look look = state == 'U'   ? Look::Up
                                  : state == 'D' ? Look::Down
                                  : state == 'F' ? Look::Focus
                                                 : Look::Disabled;
                out.push_back(
                    Compose(entry, back, at(L::ButtonRect(b)), MainButton(t, b, look), false));
            } else {
                throw std::runtime_error("no painter for " + entry.name);
            }
        } else {
            if (suffix == "BACK") {
                out.push_back(Plain(entry, proBack));
                continue;
            }
            const char state = suffix.back();
            const std::string base = suffix.substr(0, suffix.size() - 1);
            const L::ProButton* button = nullptr;
            for (const L::ProButton& b : L::kProButtons)
                if (b.suffix == base && !button) button = &b;
            if (!button) throw std::runtime_error("no PRO button for " + entry.name);
            const Look look = state == 'U'   ? Look::Up
                              : state == 'D' ? Look::Down
                              : state == 'F' ? Look::Focus
                                             : Look::Disabled;
            out.push_back(
                Compose(entry, proBack, at(button->rect), ProButton(t, *button, look), false));
        }
    }
    ShareMasks(out, mainPrefix);
    return out;
}

}  // namespace tamboro::skins
