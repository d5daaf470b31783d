#include "tools/skins/Art.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>

namespace tamboro::skins {
namespace {

QColor Hex(unsigned v) {
    return QColor((v >> 16) & 255, (v >> 8) & 255, v & 255);
}

Theme MakeIndustriale() {
    Theme t;
    t.index = 0;
    t.material = Material::Steel;
    t.face = Hex(0xA7AEB6), t.faceHi = Hex(0xD3D8DD), t.faceLo = Hex(0x7D858E);
    t.tray = Hex(0x2A2E33), t.trayLo = Hex(0x16191C), t.rim = Hex(0x5C636B);
    t.ink = Hex(0x23272B), t.inkOnTray = Hex(0xC9CED3), t.inkShadow = Hex(0xE4E8EC);
    t.led = Hex(0xFFB020), t.ledGlow = Hex(0xFF8A00), t.ledOff = Hex(0x4A3514);
    t.accent = Hex(0xFF3B1F);
    t.pending = Hex(0xFF5A30);
    t.pad = Hex(0x3B4046), t.padHi = Hex(0x626970), t.padLo = Hex(0x1F2327);
    t.padLit = Hex(0xFFB020);
    t.knob = Hex(0x9AA1A9), t.knobHi = Hex(0xF2F4F6), t.knobLo = Hex(0x4E555C);
    t.pointer = Hex(0xFF9A00);
    t.button = Hex(0x4A5057), t.buttonHi = Hex(0x7A828A), t.buttonLo = Hex(0x24282C);
    t.glyph = Hex(0xE8ECEF);
    t.radius = 4;
    return t;
}

Theme MakeClassico() {
    Theme t;
    t.index = 1;
    t.material = Material::Walnut;
    t.face = Hex(0x6B4226), t.faceHi = Hex(0x9A6640), t.faceLo = Hex(0x3E2413);
    t.tray = Hex(0xEDE2C6), t.trayLo = Hex(0xCDBE98), t.rim = Hex(0xC9A24A);
    t.ink = Hex(0xF1E6C8), t.inkOnTray = Hex(0x4A2E18), t.inkShadow = Hex(0x2A170A);
    t.led = Hex(0xFF6A2A), t.ledGlow = Hex(0xFF4A10), t.ledOff = Hex(0x5A2A18);
    t.accent = Hex(0x2FCB6A);
    t.pending = Hex(0x2FCB6A);
    t.pad = Hex(0xE9DDBD), t.padHi = Hex(0xFFF8E6), t.padLo = Hex(0xB9A57C);
    t.padLit = Hex(0xFF7A30);
    t.knob = Hex(0xC8A048), t.knobHi = Hex(0xFFF0B8), t.knobLo = Hex(0x6E5018);
    t.pointer = Hex(0x3A2410);
    t.button = Hex(0xE4D6B2), t.buttonHi = Hex(0xFFF9EA), t.buttonLo = Hex(0xA89262);
    t.glyph = Hex(0x4A2E18);
    t.radius = 5;
    t.serifLogo = true;
    return t;
}

Theme MakeDisco() {
    Theme t;
    t.index = 2;
    t.material = Material::Disco;
    t.face = Hex(0x2A0E4A), t.faceHi = Hex(0x4A1C7A), t.faceLo = Hex(0x12051F);
    t.tray = Hex(0x14061F), t.trayLo = Hex(0x07020C), t.rim = Hex(0xFF2E9A);
    t.ink = Hex(0x3FF0FF), t.inkOnTray = Hex(0x3FF0FF), t.inkShadow = Hex(0x0A0312);
    t.led = Hex(0x3FF0FF), t.ledGlow = Hex(0x00B8FF), t.ledOff = Hex(0x1B2A44);
    t.accent = Hex(0xFF2E9A);
    t.pending = Hex(0x3FF0FF);
    t.pad = Hex(0x2B1446), t.padHi = Hex(0x5B2E8A), t.padLo = Hex(0x12071F);
    t.padLit = Hex(0xFF2E9A);
    t.knob = Hex(0x2A1840), t.knobHi = Hex(0x8A5AC0), t.knobLo = Hex(0x0C0614);
    t.pointer = Hex(0x3FF0FF);
    t.button = Hex(0x2E1450), t.buttonHi = Hex(0x6A34A8), t.buttonLo = Hex(0x12071F);
    t.glyph = Hex(0xFF5CB4);
    t.radius = 6;
    return t;
}

Theme MakeGiocattolo() {
    Theme t;
    t.index = 3;
    t.material = Material::Plastic;
    t.face = Hex(0x1F6FE0), t.faceHi = Hex(0x5AA0FF), t.faceLo = Hex(0x114BA8);
    t.tray = Hex(0xFFD23A), t.trayLo = Hex(0xE0A800), t.rim = Hex(0xFFFFFF);
    t.ink = Hex(0xFFFFFF), t.inkOnTray = Hex(0x1A3A80), t.inkShadow = Hex(0x0D3578);
    t.led = Hex(0x3DFF5A), t.ledGlow = Hex(0x00E040), t.ledOff = Hex(0x1E5A2A);
    t.accent = Hex(0xFF3030);
    t.pending = Hex(0xFFFFFF);
    t.pad = Hex(0xE8332E), t.padHi = Hex(0xFF7A66), t.padLo = Hex(0xA8160F);
    t.padLit = Hex(0xFFF04A);
    t.knob = Hex(0xF4F4F4), t.knobHi = Hex(0xFFFFFF), t.knobLo = Hex(0xA8B0BC);
    t.pointer = Hex(0xE8332E);
    t.button = Hex(0x2DB84B), t.buttonHi = Hex(0x7DE88E), t.buttonLo = Hex(0x167A2A);
    t.glyph = Hex(0xFFFFFF);
    t.radius = 9;
    return t;
}

QString g_sans, g_sansBold, g_serif;

}  // namespace

const Theme& ThemeFor(int index) {
    static const std::array<Theme, 4> themes = {MakeIndustriale(), MakeClassico(), MakeDisco(),
                                                MakeGiocattolo()};
    return themes[static_cast<std::size_t>(std::clamp(index, 0, 3))];
}

bool LoadFonts(const QString& sansRegular, const QString& sansBold, const QString& serifBold) {
    auto family = [](const QString& path, QString& out) {
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) return false;
        const QStringList names = QFontDatabase::applicationFontFamilies(id);
        if (names.isEmpty()) return false;
        out = names.front();
        return true;
    };
    return family(sansRegular, g_sans) && family(sansBold, g_sansBold) &&
           family(serifBold, g_serif);
}

namespace {
QFont MakeFont(const QString& family, double px, bool bold) {
    QFont f(family);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(
        static_cast<QFont::StyleStrategy>(QFont::PreferAntialias | QFont::NoFontMerging));
    f.setKerning(true);
    return f;
}
}  // namespace

QFont SansFont(double pixelSize, bool bold) {
    return MakeFont(bold ? g_sansBold : g_sans, pixelSize, bold);
}
QFont SerifFont(double pixelSize) {
    return MakeFont(g_serif, pixelSize, true);
}

QImage NewPicture(int width, int height) {
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

float Hash(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                      static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xFFFFFF) / 16777216.0f;
}

float ValueNoise(float x, float y, int seed, int periodX, int periodY) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const float fx = x - x0, fy = y - y0;
    auto at = [&](int ix, int iy) {
        if (periodX > 0) ix = ((ix % periodX) + periodX) % periodX;
        if (periodY > 0) iy = ((iy % periodY) + periodY) % periodY;
        return Hash(ix, iy, seed);
    };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
    const float b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
    return a + (b - a) * sy;
}

namespace {

// Per-channel add with clamping.
QRgb AddRgb(QRgb c, double dr, double dg, double db) {
    auto ch = [](int v, double d) {
        return std::clamp(static_cast<int>(std::lround(v + d)), 0, 255);
    };
    return qRgb(ch(qRed(c), dr), ch(qGreen(c), dg), ch(qBlue(c), db));
}

QRgb Lerp(const QColor& a, const QColor& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return qRgb(static_cast<int>(std::lround(a.red() + (b.red() - a.red()) * t)),
                static_cast<int>(std::lround(a.green() + (b.green() - a.green()) * t)),
                static_cast<int>(std::lround(a.blue() + (b.blue() - a.blue()) * t)));
}

}  // namespace

void FillMaterial(QImage& image, const Theme& theme, const QRect& area, int seed, bool tile) {
    const QRect r = area.intersected(image.rect());
    const int w = image.width(), h = image.height();
    // Lattice periods that divide the picture, so a tiled picture has no seam.
    auto period = [&](int size, float cell) {
        return tile ? std::max(1, static_cast<int>(size / cell)) : 0;
    };
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const double vy =
            tile ? 0.5 : static_cast<double>(y - r.top()) / std::max(1, r.height() - 1);
        for (int x = r.left(); x <= r.right(); ++x) {
            QRgb c = 0;
            switch (theme.material) {
                case Material::Steel: {
                    // Brushed: long horizontal streaks, fine grain, light from above.
                    const int px = period(w, 64.0f), py = period(h, 1.0f);
                    const float streak = ValueNoise(x / (tile ? static_cast<float>(w) / px : 64.0f),
                                                    static_cast<float>(y), seed, px, py);
                    const int fx = period(w, 3.0f);
                    const float grain = ValueNoise(x / (tile ? static_cast<float>(w) / fx : 3.0f),
                                                   y * 0.9f + 0.5f, seed + 7, fx, tile ? h : 0);
                    c = Lerp(theme.faceHi, theme.faceLo, 0.15 + 0.55 * vy);
                    const double d = (streak - 0.5) * 16 + (grain - 0.5) * 7;
                    c = AddRgb(c, d, d, d * 1.05);
                    break;
                }
                case Material::Walnut: {
                    // Grain running across, bent by slow noise, with pores.
                    const int px = period(w, 160.0f), py = period(h, 40.0f);
                    const float bend =
                        ValueNoise(x / (tile ? static_cast<float>(w) / px : 160.0f),
                                   y / (tile ? static_cast<float>(h) / py : 40.0f), seed, px, py);
                    const float bend2 =
                        ValueNoise(x / (tile ? static_cast<float>(w) / (px * 4) : 40.0f),
                                   y / (tile ? static_cast<float>(h) / (py * 2) : 20.0f), seed + 3,
                                   px * 4, py * 2);
                    const double rings =
                        (tile ? y * (2 * M_PI * 12 / h) : y * 0.28) + bend * 9.0 + bend2 * 2.0;
                    const double band = 0.5 + 0.5 * std::sin(rings);
                    const double fine = Hash(tile ? x % w : x, y / 2, seed + 11);
                    c = Lerp(theme.faceLo, theme.faceHi, 0.25 + 0.55 * std::pow(band, 1.6));
                    const double pore = fine > 0.93 ? -18 : (fine - 0.5) * 6;
                    // Fine fibres along the grain: long thin dark streaks.
                    const int fpx = period(w, 70.0f);
                    const float fibre =
                        ValueNoise(x / (tile ? static_cast<float>(w) / fpx : 70.0f),
                                   static_cast<float>(rings * 2.2), seed + 5, fpx, 0);
                    const double streak = fibre > 0.62 ? -(fibre - 0.62) * 70 : 0;
                    c = AddRgb(c, pore + streak, (pore + streak) * 0.7, (pore + streak) * 0.5);
                    break;
                }
                case Material::Disco: {
                    // Deep purple, lighter towards the middle, a faint weave.
                    const double cx = tile ? 0.5 : static_cast<double>(x) / w;
                    const double cy = tile ? 0.5 : static_cast<double>(y) / h;
                    const double d = std::hypot(cx - 0.5, (cy - 0.45) * 0.9);
                    c = Lerp(theme.faceHi, theme.faceLo, std::clamp(d * 1.7, 0.0, 1.0));
                    const int pxx = period(w, 40.0f), pyy = period(h, 40.0f);
                    const float cloud = ValueNoise(x / (tile ? static_cast<float>(w) / pxx : 40.0f),
                                                   y / (tile ? static_cast<float>(h) / pyy : 40.0f),
                                                   seed, pxx, pyy);
                    const double weave = ((x + y) % 4 == 0) ? 3.0 : 0.0;
                    c = AddRgb(c, (cloud - 0.5) * 22 + weave, (cloud - 0.5) * 6,
                               (cloud - 0.5) * 28 + weave);
                    break;
                }
                case Material::Plastic: {
                    // Glossy moulded plastic: a soft sheen from the top left,
                    // the fine texture of the mould.
                    const double sheen =
                        tile ? 0.5 : 1.0 - std::clamp((0.6 * x / w + 0.4 * y / h), 0.0, 1.0);
                    c = Lerp(theme.faceLo, theme.faceHi, 0.35 + 0.35 * sheen);
                    const double n = (Hash(tile ? x % w : x, tile ? y % h : y, seed) - 0.5) * 5;
                    c = AddRgb(c, n, n, n);
                    break;
                }
            }
            row[x] = c;
        }
    }
}

void Shade(QImage& image, const QRect& area, double factor) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = row[x];
            auto f = [&](int v) {
                return std::clamp(static_cast<int>(std::lround(v * factor)), 0, 255);
            };
            row[x] = qRgba(f(qRed(c)), f(qGreen(c)), f(qBlue(c)), qAlpha(c));
        }
    }
}

QPainterPath Rounded(const QRectF& rect, double r) {
    QPainterPath path;
    path.addRoundedRect(rect, r, r);
    return path;
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgb(Lerp(a, b, t));
}

QColor WithAlpha(const QColor& c, int alpha) {
    QColor out = c;
    out.setAlpha(alpha);
    return out;
}

void Raised(QPainter& p, const QPainterPath& shape, const QColor& hi, const QColor& body,
            const QColor& lo, double shadow) {
    p.save();
    p.setPen(Qt::NoPen);
    // Soft shadow: a few offset copies, fainter as they spread.
    for (int i = 3; i >= 1; --i) {
        const double o = shadow * i / 3.0;
        p.setBrush(QColor(0, 0, 0, 38));
        p.drawPath(shape.translated(o * 0.6, o));
    }
    const QRectF b = shape.boundingRect();
    QLinearGradient g(b.topLeft(), b.bottomLeft());
    g.setColorAt(0.0, Mix(body, hi, 0.55));
    g.setColorAt(0.45, body);
    g.setColorAt(1.0, Mix(body, lo, 0.6));
    p.setBrush(g);
    p.drawPath(shape);
    // Rims: light top-left, dark bottom-right, each inside the shape.
    p.setClipPath(shape);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(WithAlpha(hi, 200), 1.2));
    p.drawPath(shape.translated(0.6, 0.8));
    p.setPen(QPen(WithAlpha(lo, 210), 1.2));
    p.drawPath(shape.translated(-0.6, -0.8));
    p.restore();
}

void Sunken(QPainter& p, const QPainterPath& shape, const QColor& fill, double depth) {
    p.save();
    p.setPen(Qt::NoPen);
    // The lip: light below and to the right, outside the hole.
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawPath(shape.translated(0.7, 1.0));
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawPath(shape.translated(-0.5, -0.7));
    p.setBrush(fill);
    p.drawPath(shape);
    // Inner shadow from the top-left edge.
    p.setClipPath(shape);
    for (int i = 1; i <= 3; ++i) {
        p.setPen(QPen(QColor(0, 0, 0, 60), depth * i / 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape.translated(depth * 0.5, depth * 0.7));
    }
    p.restore();
}

void Light(QPainter& p, QPointF c, double r, const Theme& theme, bool lit, const QColor* colour) {
    p.save();
    p.setPen(Qt::NoPen);
    const QColor core = colour ? *colour : theme.led;
    // Bezel ring.
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawEllipse(c, r + 1.0, r + 1.0);
    if (lit) {
        QRadialGradient glow(c, r * 2.6);
        glow.setColorAt(0.0, WithAlpha(core, 150));
        glow.setColorAt(0.45, WithAlpha(core, 60));
        glow.setColorAt(1.0, WithAlpha(core, 0));
        p.setBrush(glow);
        p.drawEllipse(c, r * 2.6, r * 2.6);
        QRadialGradient lens(c - QPointF(r * 0.25, r * 0.3), r * 1.1);
        lens.setColorAt(0.0, Mix(core, Qt::white, 0.85));
        lens.setColorAt(0.45, Mix(core, Qt::white, 0.25));
        lens.setColorAt(1.0, core);
        p.setBrush(lens);
        p.drawEllipse(c, r, r);
    } else {
        const QColor off = colour ? Mix(*colour, Qt::black, 0.72) : theme.ledOff;
        QRadialGradient lens(c - QPointF(r * 0.3, r * 0.35), r * 1.2);
        lens.setColorAt(0.0, Mix(off, Qt::white, 0.25));
        lens.setColorAt(0.6, off);
        lens.setColorAt(1.0, Mix(off, Qt::black, 0.4));
        p.setBrush(lens);
        p.drawEllipse(c, r, r);
        p.setBrush(QColor(255, 255, 255, 90));
        p.drawEllipse(c - QPointF(r * 0.35, r * 0.4), r * 0.28, r * 0.22);
    }
    p.restore();
}

void Screw(QPainter& p, QPointF c, double r, const Theme& theme, int seed) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(c + QPointF(0.6, 0.9), r + 0.4, r + 0.4);
    QColor metal = theme.material == Material::Walnut    ? QColor(0xD4, 0xAE, 0x5A)
                   : theme.material == Material::Plastic ? QColor(0xF2, 0xF2, 0xF2)
                   : theme.material == Material::Disco   ? QColor(0x9A, 0x8A, 0xB8)
                                                         : QColor(0xC4, 0xCA, 0xD0);
    QRadialGradient g(c - QPointF(r * 0.4, r * 0.45), r * 1.5);
    g.setColorAt(0.0, Qt::white);
    g.setColorAt(0.35, metal);
    g.setColorAt(1.0, Mix(metal, Qt::black, 0.55));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    if (theme.material != Material::Plastic) {
        // The slot, turned a little differently on every screw.
        const double a = Hash(seed, 3, 99) * M_PI;
        const QPointF d(std::cos(a) * r * 0.8, std::sin(a) * r * 0.8);
        p.setPen(QPen(QColor(0, 0, 0, 150), std::max(0.8, r * 0.28), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c - d, c + d);
        p.setPen(QPen(QColor(255, 255, 255, 70), 0.6));
        p.drawLine(c - d + QPointF(0.4, 0.6), c + d + QPointF(0.4, 0.6));
    }
    p.restore();
}

void Label(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
           const QColor& ink, Qt::Alignment align, bool engraved) {
    p.save();
    p.setFont(font);
    if (engraved) {
        // Light below on dark ink, dark below on light ink.
        const bool darkInk = ink.lightness() < 128;
        p.setPen(darkInk ? QColor(255, 255, 255, 110) : QColor(0, 0, 0, 150));
        p.drawText(rect.translated(0, 1), static_cast<int>(align), text);
    }
    p.setPen(ink);
    p.drawText(rect, static_cast<int>(align), text);
    p.restore();
}

void Neon(QPainter& p, const QPainterPath& path, const QColor& colour, double width) {
    p.save();
    p.setBrush(Qt::NoBrush);
    for (int i = 4; i >= 1; --i) {
        p.setPen(QPen(WithAlpha(colour, 22 + 10 * (4 - i)), width + i * 2.2, Qt::SolidLine,
                      Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(Mix(colour, Qt::white, 0.7), std::max(0.5, width * 0.4), Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.restore();
}

QPainterPath SymbolPath(Symbol s, const QRectF& b) {
    QPainterPath path;
    const double x = b.x(), y = b.y(), w = b.width(), h = b.height();
    auto tri = [&](double x0, double x1, bool right) {
        QPolygonF poly;
        if (right) {
            poly << QPointF(x0, y) << QPointF(x1, y + h / 2) << QPointF(x0, y + h);
        } else {
            poly << QPointF(x1, y) << QPointF(x0, y + h / 2) << QPointF(x1, y + h);
        }
        path.addPolygon(poly);
        path.closeSubpath();
    };
    switch (s) {
        case Symbol::Play:
            tri(x + w * 0.1, x + w * 0.95, true);
            break;
        case Symbol::Stop:
            path.addRoundedRect(b.adjusted(w * 0.08, h * 0.08, -w * 0.08, -h * 0.08), 1, 1);
            break;
        case Symbol::Record:
            path.addEllipse(b.center(), w * 0.46, h * 0.46);
            break;
        case Symbol::Left:
            tri(x + w * 0.15, x + w * 0.85, false);
            break;
        case Symbol::Right:
            tri(x + w * 0.15, x + w * 0.85, true);
            break;
        case Symbol::LeftLeft:
            tri(x, x + w * 0.5, false);
            tri(x + w * 0.5, x + w, false);
            break;
        case Symbol::RightRight:
            tri(x, x + w * 0.5, true);
            tri(x + w * 0.5, x + w, true);
            break;
        case Symbol::ToStart:
            path.addRect(QRectF(x, y, w * 0.14, h));
            tri(x + w * 0.14, x + w * 0.57, false);
            tri(x + w * 0.57, x + w, false);
            break;
        case Symbol::ToEnd:
            tri(x, x + w * 0.43, true);
            tri(x + w * 0.43, x + w * 0.86, true);
            path.addRect(QRectF(x + w * 0.86, y, w * 0.14, h));
            break;
        case Symbol::Folder: {
            QPainterPath f;
            f.moveTo(x, y + h * 0.2);
            f.lineTo(x + w * 0.4, y + h * 0.2);
            f.lineTo(x + w * 0.5, y + h * 0.35);
            f.lineTo(x + w, y + h * 0.35);
            f.lineTo(x + w, y + h);
            f.lineTo(x, y + h);
            f.closeSubpath();
            path = f;
            break;
        }
        case Symbol::Drum: {
            // A snare: the shell, its head as a ring, two crossed sticks above.
            QPainterPath shell;
            shell.addRect(QRectF(x, y + h * 0.5, w, h * 0.32));
            shell.addEllipse(QRectF(x, y + h * 0.66, w, h * 0.32));
            shell.addEllipse(QRectF(x, y + h * 0.34, w, h * 0.32));
            shell.setFillRule(Qt::WindingFill);
            QPainterPath head;
            head.addEllipse(QRectF(x + w * 0.12, y + h * 0.39, w * 0.76, h * 0.2));
            path = shell.subtracted(head);
            QPainterPathStroker st;
            st.setWidth(std::max(0.9, w * 0.1));
            st.setCapStyle(Qt::RoundCap);
            QPainterPath sticks;
            sticks.moveTo(x + w * 0.1, y);
            sticks.lineTo(x + w * 0.55, y + h * 0.42);
            sticks.moveTo(x + w * 0.9, y);
            sticks.lineTo(x + w * 0.45, y + h * 0.42);
            path = path.united(st.createStroke(sticks));
            break;
        }
        case Symbol::Wave: {
            const double bars[] = {0.35, 0.8, 0.55, 1.0, 0.45, 0.7, 0.3};
            const int n = 7;
            const double bw = w / (n * 1.6);
            for (int i = 0; i < n; ++i) {
                const double bh = h * bars[i];
                path.addRect(QRectF(x + i * w / n + (w / n - bw) / 2, y + (h - bh) / 2, bw, bh));
            }
            break;
        }
        case Symbol::Lanes: {
            for (int i = 0; i < 3; ++i) {
                const double ly = y + h * (0.08 + i * 0.33);
                path.addRect(
                    QRectF(x + w * (i == 1 ? 0.3 : 0.0), ly, w * (i == 2 ? 0.55 : 0.7), h * 0.2));
            }
            break;
        }
        case Symbol::Grid: {
            const double cw = w * 0.42, ch = h * 0.42;
            for (int i = 0; i < 4; ++i)
                path.addRect(QRectF(x + (i % 2) * (w - cw), y + (i / 2) * (h - ch), cw, ch));
            break;
        }
        case Symbol::Power: {
            // IEC power sign: an open ring with a bar through the gap.
            QPainterPath ring;
            const QPointF c = b.center();
            const double r = std::min(w, h) * 0.42;
            const QRectF rr(c.x() - r, c.y() - r, 2 * r, 2 * r);
            ring.arcMoveTo(rr, 125);
            ring.arcTo(rr, 125, 290);
            QPainterPathStroker st;
            st.setWidth(std::min(w, h) * 0.14);
            st.setCapStyle(Qt::RoundCap);
            path = st.createStroke(ring);
            QPainterPath bar;
            bar.moveTo(c.x(), c.y() - r * 1.12);
            bar.lineTo(c.x(), c.y() - r * 0.1);
            path = path.united(st.createStroke(bar));
            break;
        }
        case Symbol::Speaker: {
            QPolygonF poly;
            poly << QPointF(x, y + h * 0.35) << QPointF(x + w * 0.25, y + h * 0.35)
                 << QPointF(x + w * 0.55, y + h * 0.1) << QPointF(x + w * 0.55, y + h * 0.9)
                 << QPointF(x + w * 0.25, y + h * 0.65) << QPointF(x, y + h * 0.65);
            path.addPolygon(poly);
            path.closeSubpath();
            QPainterPathStroker st;
            st.setWidth(std::max(1.0, w * 0.08));
            st.setCapStyle(Qt::RoundCap);
            for (int i = 1; i <= 2; ++i) {
                QPainterPath arc;
                const double r = w * (0.18 + 0.17 * i);
                const QRectF rr(x + w * 0.55 - r, y + h / 2 - r, 2 * r, 2 * r);
                arc.arcMoveTo(rr, -45);
                arc.arcTo(rr, -45, 90);
                path = path.united(st.createStroke(arc));
            }
            break;
        }
        case Symbol::Balance: {
            tri(x, x + w * 0.4, false);
            tri(x + w * 0.6, x + w, true);
            break;
        }
    }
    return path;
}

}  // namespace tamboro::skins
