#include "tools/skins/Review.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"
#include "tools/skins/Art.h"

namespace tamboro::skins {
namespace {

namespace L = console::layout;

// An indexed canvas drawn the way the consoles draw: opaque or masked copies.
struct Canvas {
    int width = 0, height = 0;
    std::vector<std::uint8_t> px;
    gfx::Palette256 palette{};

    explicit Canvas(const Encoded& back)
        : width(back.entry.width),
          height(back.entry.height),
          px(back.indices),
          palette(back.palette) {}

    void Blit(const Encoded& img, int dx, int dy, int sx, int sy, int sw, int sh, bool masked) {
        for (int y = 0; y < sh; ++y) {
            for (int x = 0; x < sw; ++x) {
                const int tx = dx + x, ty = dy + y;
                if (tx < 0 || ty < 0 || tx >= width || ty >= height) continue;
                const std::uint8_t v =
                    img.indices[static_cast<std::size_t>((sy + y) * img.entry.width + sx + x)];
                if (masked && v == L::kTransparentIndex) continue;
                px[static_cast<std::size_t>(ty * width + tx)] = v;
            }
        }
    }
    void Blit(const Encoded& img, int dx, int dy, bool masked) {
        Blit(img, dx, dy, 0, 0, img.entry.width, img.entry.height, masked);
    }
    std::uint8_t Nearest(gfx::Rgb c) const {
        int best = 1 << 30, which = 0;
        for (int i = 0; i < 256; ++i) {
            if (i == L::kTransparentIndex) continue;
            const int d = gfx::ColourDistance(c, palette[static_cast<std::size_t>(i)]);
            if (d < best) best = d, which = i;
        }
        return static_cast<std::uint8_t>(which);
    }
    void Fill(const L::Rect& r, gfx::Rgb c) {
        const std::uint8_t v = Nearest(c);
        for (int y = r.y; y < r.Bottom(); ++y)
            for (int x = r.x; x < r.Right(); ++x)
                px[static_cast<std::size_t>(y * width + x)] = v;
    }
    // Anti-aliased text as the console writes it: coverage mapped to the
    // nearest colour between the background and the ink.
    void Text(int x, int y, const QString& text, const QFont& font, gfx::Rgb ink, gfx::Rgb paper,
              Qt::Alignment align = Qt::AlignLeft) {
        QImage cover(width, height, QImage::Format_Grayscale8);
        cover.fill(0);
        QPainter p(&cover);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setFont(font);
        p.setPen(Qt::white);
        const QFontMetrics fm(font);
        const int left = align & Qt::AlignRight ? x - fm.horizontalAdvance(text) : x;
        p.drawText(left, y + fm.ascent(), text);
        p.end();
        for (int yy = 0; yy < height; ++yy) {
            const uchar* row = cover.constScanLine(yy);
            for (int xx = 0; xx < width; ++xx) {
                if (!row[xx]) continue;
                const double a = row[xx] / 255.0;
                const gfx::Rgb c{
                    static_cast<std::uint8_t>(std::lround(paper.r + (ink.r - paper.r) * a)),
                    static_cast<std::uint8_t>(std::lround(paper.g + (ink.g - paper.g) * a)),
                    static_cast<std::uint8_t>(std::lround(paper.b + (ink.b - paper.b) * a))};
                px[static_cast<std::size_t>(yy * width + xx)] = Nearest(c);
            }
        }
    }
    QImage ToImage() const {
        QImage img(width, height, QImage::Format_Indexed8);
        QVector<QRgb> table;
        for (const gfx::Rgb& c : palette)
            table.push_back(qRgb(c.r, c.g, c.b));
        img.setColorTable(table);
        for (int y = 0; y < height; ++y)
            std::copy_n(px.data() + static_cast<std::size_t>(y) * width, width, img.scanLine(y));
        return img;
    }
};

QImage ToRgbImage(const Encoded& e, bool checker) {
    QImage img(e.entry.width, e.entry.height, QImage::Format_RGB32);
    for (int y = 0; y < e.entry.height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < e.entry.width; ++x) {
            const std::uint8_t v = e.indices[static_cast<std::size_t>(y * e.entry.width + x)];
            const gfx::Rgb c = e.palette[v];
            if (checker && v == L::kTransparentIndex) {
                row[x] = ((x / 4 + y / 4) % 2) ? qRgb(0xCC, 0xCC, 0xCC) : qRgb(0xF4, 0xF4, 0xF4);
            } else {
                row[x] = qRgb(c.r, c.g, c.b);
            }
        }
    }
    return img;
}

QImage ContactSheet(const std::vector<const Encoded*>& images, const QString& title) {
    const int sheetWidth = 1400, gap = 10, labelHeight = 12;
    // Lay out first, then paint.
    struct Place {
        const Encoded* e;
        int x, y, scale;
    };
    std::vector<Place> places;
    int x = gap, y = 34, rowHeight = 0;
    const QFontMetrics labelMetrics(SansFont(9, false));
    for (const Encoded* e : images) {
        const int scale = (e->entry.width <= 40 && e->entry.height <= 40) ? 3 : 1;
        const int text = labelMetrics.horizontalAdvance(QString::fromStdString(e->entry.name));
        const int w = std::max(e->entry.width * scale, text + 2),
                  h = e->entry.height * scale + labelHeight + 4;
        if (x + w > sheetWidth - gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        places.push_back({e, x, y, scale});
        x += w + gap;
        rowHeight = std::max(rowHeight, h);
    }
    QImage sheet(sheetWidth, y + rowHeight + gap, QImage::Format_RGB32);
    sheet.fill(qRgb(0x30, 0x32, 0x36));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(Qt::white);
    p.setFont(SansFont(16, true));
    p.drawText(gap, 24, title);
    p.setFont(SansFont(9, false));
    for (const Place& pl : places) {
        const QImage img = ToRgbImage(*pl.e, true);
        p.drawImage(QRect(pl.x, pl.y, img.width() * pl.scale, img.height() * pl.scale), img);
        p.setPen(QColor(0xD0, 0xD4, 0xD8));
        QString name = QString::fromStdString(pl.e->entry.name);
        p.drawText(pl.x, pl.y + img.height() * pl.scale + labelHeight, name);
    }
    p.end();
    return sheet;
}

const Encoded& Find(const std::map<std::string, const Encoded*>& by, const std::string& name) {
    return *by.at(name);
}

QImage ComposeMain(const std::map<std::string, const Encoded*>& by, int theme) {
    const std::string m = L::ThemePrefix(L::SkinSet::Main, theme);
    Canvas c(Find(by, m + "BACK"));
    // The mode pictures lie under the knobs' windows.
    c.Blit(Find(by, m + "KVOLU"), L::kVolumeModePicture.x, L::kVolumeModePicture.y, false);
    c.Blit(Find(by, m + "KPAND"), L::kPanModePicture.x, L::kPanModePicture.y, false);
    for (int ch = 0; ch < L::kChannelCount; ++ch) {
        static const L::PadState states[20] = {
            L::PadState::Sounding,      L::PadState::Loaded,        L::PadState::Sounding,
            L::PadState::Loaded,        L::PadState::Empty,         L::PadState::Loaded,
            L::PadState::SoundingBlink, L::PadState::Loaded,        L::PadState::Sounding,
            L::PadState::Loaded,        L::PadState::Sounding,      L::PadState::Loaded,
            L::PadState::Loaded,        L::PadState::SoundingBlink, L::PadState::Empty,
            L::PadState::Loaded,        L::PadState::Sounding,      L::PadState::Empty,
            L::PadState::Loaded,        L::PadState::Empty};
        const L::Rect r = L::PadRect(ch);
        c.Blit(Find(by, m + L::PadSuffix(ch, states[ch])), r.x, r.y, true);
        const L::Rect k = L::KnobRect(ch);
        const int frame = (ch * 7 + 3) % L::kKnobPositions;
        c.Blit(Find(by, m + "KNOB"), k.x, k.y, 0, frame * L::kKnobSize, L::kKnobSize, L::kKnobSize,
               true);
    }
    c.Blit(Find(by, m + "VOL15"), L::kMasterVolumePicture.x, L::kMasterVolumePicture.y, true);
    c.Blit(Find(by, m + "POWERD"), L::kPowerSwitch.x, L::kPowerSwitch.y, true);
    c.Blit(Find(by, m + "METER0"), L::kMeterWindow.x, L::kMeterWindow.y, true);
    const int h = L::kMeterHalfWidth, left = 61, right = 47;
    c.Blit(Find(by, m + "METER1"), L::kMeterWindow.x + h - left, L::kMeterWindow.y, h - left, 0,
           left + right, L::kMeterWindow.h, true);
    static const char* buttons[7] = {"BTNFILEU", "BTNDRUMU", "BTNAUDIOX", "BTNPROF",
                                     "BTNPLAYD", "BTNSTOPU", "BTNRECORDU"};
    for (int b = 0; b < 7; ++b) {
        const L::Rect r = L::ButtonRect(static_cast<L::ConsoleButton>(b));
        c.Blit(Find(by, m + buttons[b]), r.x, r.y, false);
    }
    const QFont font = SansFont(12, false);
    const gfx::Rgb green{0, 255, 0}, black{0, 0, 0};
    c.Text(L::kTextLines[0].x, L::kTextLines[0].y, "1. KICK LOOP 120", font, green, black);
    c.Text(L::kTextLines[1].x, L::kTextLines[1].y, "Volume:", font, green, black);
    c.Text(L::kTextNumberX, L::kTextLines[1].y, "100", font, green, black);
    c.Text(L::kTextLines[2].x, L::kTextLines[2].y, "Bal:", font, green, black);
    c.Text(L::kTextNumberX, L::kTextLines[2].y, "-20", font, green, black);
    return c.ToImage();
}

QImage ComposePro(const std::map<std::string, const Encoded*>& by, int theme) {
    const std::string pre = L::ThemePrefix(L::SkinSet::Pro, theme);
    Canvas c(Find(by, pre + "BACK"));
    const char* names[20] = {"KICK 4/4",  "SNARE",    "CLAP",    "HATS",   "SHAKER",
                             "CLAVE",     "CONGAS",   "BEAT A",  "BEAT B", "SUB BASS",
                             "ACID BASS", "WARM PAD", "STRINGS", "STABS",  "ARP 1",
                             "ARP 2",     "ARP 3",    "LEAD",    "RISER",  "HIT"};
    const QFont font = SansFont(12, false);
    for (int i = 0; i < L::kChannelCount; ++i) {
        const L::Point at = L::ProNameText(i);
        c.Text(at.x, at.y, names[i], font, {0, 255, 0}, {0, 0, 0});
        const L::Rect lane = L::ProLaneRect(i);
        // A sounding period or two with the loop's thumbnail.
        const int start = (i * 37) % 200, length = 120 + (i * 53) % 240;
        if (i % 4 == 3) continue;
        L::Rect period{lane.x + start, lane.y, std::min(length, lane.w - start), lane.h};
        c.Fill(period, {48, 48, 48});
        const std::uint8_t red = c.Nearest(i >= 18 ? gfx::Rgb{0, 0, 255} : gfx::Rgb{255, 0, 0});
        for (int x = period.x; x < period.Right(); ++x) {
            const double v = std::fabs(std::sin(x * 0.21 + i) * std::sin(x * 0.037 * (1 + i % 3)));
            const int half = static_cast<int>(v * (lane.h / 2 - 1));
            for (int y = lane.y + lane.h / 2 - half; y <= lane.y + lane.h / 2 + half; ++y)
                c.px[static_cast<std::size_t>(y * c.width + x)] = red;
        }
    }
    // The playback position.
    const std::uint8_t white = c.Nearest({255, 255, 255});
    for (int i = 0; i < L::kChannelCount; ++i) {
        const L::Rect lane = L::ProLaneRect(i);
        for (int y = lane.y; y < lane.Bottom(); ++y)
            c.px[static_cast<std::size_t>(y * c.width + 310)] = white;
    }
    for (int i = 0; i < 4; ++i) {
        const L::Point at = L::ProRulerLabel(i);
        c.Text(at.x, at.y, QString::asprintf("%.2f", (2 + i) * 2.0), SansFont(10, false), {0, 0, 0},
               {0xE6, 0xE2, 0xD2});
    }
    c.Text(L::kProStatusText.x + 2, L::kProStatusText.y + 6,
           QString::fromUtf8("St\u00F2 suonando....."), SansFont(14, false), {0, 255, 0},
           {0, 0, 0});
    c.Text(L::kProStatusTimeRight, L::kProStatusText.y + 6, "5.47 Sec", SansFont(14, false),
           {0, 255, 0}, {0, 0, 0}, Qt::AlignRight);
    for (const L::ProButton& b : L::kProButtons) {
        const std::string name =
            pre + std::string(b.suffix) + (b.id == 107 || b.id == 109 ? "D" : "U");
        c.Blit(Find(by, name), b.rect.x, b.rect.y, false);
    }
    return c.ToImage();
}

}  // namespace

bool WriteReview(const std::vector<Encoded>& images, const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::map<std::string, const Encoded*> by;
    for (const Encoded& e : images)
        by[e.entry.name] = &e;
    bool ok = true;
    for (int t = 0; t < L::kThemeCount; ++t) {
        std::vector<const Encoded*> list;
        for (const auto& entry : L::ThemeImages(t))
            list.push_back(by.at(entry.name));
        const QString n = QString::number(t + 1);
        const QString title = QString("Theme %1 \u00B7 %2")
                                  .arg(t)
                                  .arg(QString::fromStdString(std::string(L::kThemeNames[t])));
        ok &= ContactSheet(list, title)
                  .save(QString::fromStdString(folder) + "/contact-" + n + ".png");
        ok &= ComposeMain(by, t).save(QString::fromStdString(folder) + "/console-" + n + ".png");
        ok &= ComposePro(by, t).save(QString::fromStdString(folder) + "/pro-" + n + ".png");
    }
    std::vector<const Encoded*> shared;
    for (const auto& entry : L::SharedImages())
        shared.push_back(by.at(entry.name));
    ok &= ContactSheet(shared, "Shared").save(QString::fromStdString(folder) + "/shared.png");
    return ok;
}

bool WriteIcons(const std::string& folder) {
    namespace fs = std::filesystem;
    bool ok = true;
    for (int size : L::kIconThemeSizes) {
        const fs::path dir = fs::path(folder) / "icons" /
                             (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        std::error_code ec;
        fs::create_directories(dir, ec);
        ok &= PaintIcon(size).save(QString::fromStdString((dir / "tamboro.png").string()));
    }
    const fs::path svg = fs::path(folder) / "icons" / "scalable" / "apps";
    std::error_code ec;
    fs::create_directories(svg, ec);
    std::ofstream out(svg / "tamboro.svg", std::ios::binary | std::ios::trunc);
    out << IconSvg();
    return ok && static_cast<bool>(out);
}

}  // namespace tamboro::skins
