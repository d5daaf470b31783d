#pragma once
// The skin generator's drawing kit: the four themes' materials and colours,
// and the shapes every picture is made of (raised and sunken shapes, lights,
// screws, engraved labels, symbols). Light comes from the top left in every
// picture: highlights on top and left edges, shadows below and to the right.
//
// Everything is drawn anti-aliased with QPainter on offscreen ARGB images;
// noise comes from a hash of the pixel position, so two runs give the same
// pixels.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace tamboro::skins {

enum class Material { Steel, Walnut, Disco, Plastic };

struct Theme {
    int index = 0;
    Material material = Material::Steel;
    // Faceplate.
    QColor face, faceHi, faceLo;
    // Sunken trays that hold controls, and their rims.
    QColor tray, trayLo, rim;
    // Labels printed on the faceplate and on trays.
    QColor ink, inkOnTray, inkShadow;
    // Lights: lit core, glow, unlit lens.
    QColor led, ledGlow, ledOff;
    // A second light colour (record, focus), and the ring of a pad waiting to switch.
    QColor accent, pending;
    // Pads: surface, its light and dark ends, the light colour of a sounding pad.
    QColor pad, padHi, padLo, padLit;
    // Knob caps and pointers.
    QColor knob, knobHi, knobLo, pointer;
    // Buttons.
    QColor button, buttonHi, buttonLo, glyph;
    double radius = 5;       // corner radius of pads and buttons
    bool serifLogo = false;  // the logo in the serif face
};

const Theme& ThemeFor(int index);

// Fonts loaded from files (hinting off), set up once by LoadFonts.
bool LoadFonts(const QString& sansRegular, const QString& sansBold, const QString& serifBold);
QFont SansFont(double pixelSize, bool bold);
QFont SerifFont(double pixelSize);

// A transparent ARGB picture.
QImage NewPicture(int width, int height);

// Deterministic noise in [0, 1): per lattice point, and smooth value noise
// that repeats every `periodX` × `periodY` lattice cells (0: no repeat).
float Hash(int x, int y, int seed);
float ValueNoise(float x, float y, int seed, int periodX = 0, int periodY = 0);

// Fills `area` of `image` with the theme's faceplate material. With `tile`,
// the material repeats seamlessly every image width and height.
void FillMaterial(QImage& image, const Theme& theme, const QRect& area, int seed,
                  bool tile = false);
// Darkens or lightens every pixel of `area` by a factor (1 = unchanged).
void Shade(QImage& image, const QRect& area, double factor);

// Shapes. `r` is the corner radius.
QPainterPath Rounded(const QRectF& rect, double r);
// A raised shape: soft drop shadow, body in a top-to-bottom gradient, a light
// top-left rim and a dark bottom-right rim.
void Raised(QPainter& p, const QPainterPath& shape, const QColor& hi, const QColor& body,
            const QColor& lo, double shadow = 2.0);
// A sunken tray: dark inner shadow at top and left, a light lip at the bottom right.
void Sunken(QPainter& p, const QPainterPath& shape, const QColor& fill, double depth = 2.0);
// A round light of radius r: lit (glow, hot core) or unlit lens.
void Light(QPainter& p, QPointF centre, double r, const Theme& theme, bool lit,
           const QColor* colour = nullptr);
// A screw or rivet head.
void Screw(QPainter& p, QPointF centre, double r, const Theme& theme, int seed);
// Text in a rectangle, with a one-pixel highlight below (engraved look on
// light faces) or a shadow (on dark faces).
void Label(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
           const QColor& ink, Qt::Alignment align = Qt::AlignCenter, bool engraved = true);
// A neon tube along a path: a wide soft glow and a bright core.
void Neon(QPainter& p, const QPainterPath& path, const QColor& colour, double width);

// Symbols, drawn filled into `box` with the current brush.
enum class Symbol {
    Play,
    Stop,
    Record,
    Folder,
    Drum,
    Wave,
    Lanes,
    Power,
    Left,
    LeftLeft,
    ToStart,
    Right,
    RightRight,
    ToEnd,
    Grid,
    Speaker,
    Balance
};
QPainterPath SymbolPath(Symbol s, const QRectF& box);

// Colour helpers.
QColor Mix(const QColor& a, const QColor& b, double t);
QColor WithAlpha(const QColor& c, int alpha);

}  // namespace tamboro::skins
