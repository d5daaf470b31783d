// Every picture the consoles, buttons and dialogs ask for, as the program
// embeds it: found by name, loaded by the graphics library (packed ones
// too), of the size of its place, sharing its console's palette, transparent
// exactly where the generator meant it, and read alike by the toolkit.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "console/layout/ConsoleLayout.h"
#include "console/layout/ProLayout.h"
#include "console/layout/SkinImages.h"
#include "gfx/BitmapHeader.h"
#include "gfx/DibSurface.h"
#include "gfx/PackedImage.h"
#include "gfx/Palette.h"
#include "resources/SkinResources.h"
#include "tests/support/TestSupport.h"

namespace tamboro::console::layout {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::span<const unsigned char> Embedded(const std::string& name) {
    resources::RegisterSkinResources();
    return platform::FindResource(name, kBitmapType);
}

// The picture as the console gets it: loaded from the resources by the
// graphics library, rows top first, and its colour table.
struct Loaded {
    int width = 0, height = 0;
    Bytes indices;
    std::vector<gfx::PaletteEntry> palette;
};

Loaded Load(const std::string& name) {
    resources::RegisterSkinResources();
    Loaded out;
    gfx::DibSurface dib;
    gfx::ImageSource src;
    const std::string n = name;
    src.name = n;
    src.type = kBitmapType;
    EXPECT_EQ(dib.Load(src, gfx::load::kFromResource), gfx::GfxResult::Ok) << name;
    if (dib.GetWidth() == 0) return out;
    EXPECT_EQ(dib.GetFormat(), gfx::PixelFormat::Indexed8) << name;
    out.width = dib.GetWidth();
    out.height = dib.GetHeight();
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    EXPECT_EQ(dib.Lock(&bits, &pitch), gfx::GfxResult::Ok);
    for (int y = 0; y < out.height; ++y)
        out.indices.insert(out.indices.end(), bits + y * pitch, bits + y * pitch + out.width);
    dib.Unlock();
    if (gfx::Palette* p = dib.GetPalette())
        out.palette.assign(p->Entries(), p->Entries() + p->Count());
    return out;
}

// The transparency the generator recorded (PBM, 1 = transparent).
Bytes Mask(const std::string& name, int width, int height) {
    std::ifstream in(std::string(TAMBORO_SKIN_DIR) + "/masks/" + name + ".pbm", std::ios::binary);
    if (!in) return {};
    std::string magic;
    int w = 0, h = 0;
    in >> magic >> w >> h;
    in.get();
    EXPECT_EQ(magic, "P4");
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    const int rowBytes = (w + 7) / 8;
    Bytes bits(static_cast<std::size_t>(rowBytes * h));
    in.read(reinterpret_cast<char*>(bits.data()), static_cast<std::streamsize>(bits.size()));
    Bytes mask(static_cast<std::size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            mask[static_cast<std::size_t>(y * w + x)] =
                (bits[static_cast<std::size_t>(y * rowBytes + x / 8)] >> (7 - x % 8)) & 1;
    return mask;
}

std::uint32_t Compression(std::span<const unsigned char> data) {
    gfx::BitmapInfo info;
    EXPECT_EQ(gfx::ParseBitmap(data, info), gfx::GfxResult::Ok);
    return info.compression;
}

TEST(SkinPictures, EveryNameOfEveryThemeLoadsThroughTheGraphicsLibraryWithItsSize) {
    int packed = 0;
    for (const SkinImage& entry : AllSkinImages()) {
        const auto data = Embedded(entry.name);
        ASSERT_FALSE(data.empty()) << entry.name;
        const Loaded img = Load(entry.name);
        EXPECT_EQ(img.width, entry.width) << entry.name;
        EXPECT_EQ(img.height, entry.height) << entry.name;
        EXPECT_EQ(img.palette.size(), 256u) << entry.name;
        // Packed only in a form its reader decodes.
        const std::uint32_t c = Compression(data);
        if (entry.reader == SkinReader::Graphics) {
            EXPECT_TRUE(c == gfx::kCompressionNone || c == gfx::kCodePrle) << entry.name;
        } else if (entry.rle8Allowed) {
            EXPECT_TRUE(c == gfx::kCompressionNone || c == gfx::kCompressionRle8) << entry.name;
        } else {
            EXPECT_EQ(c, gfx::kCompressionNone) << entry.name;
        }
        packed += c != gfx::kCompressionNone;
    }
    // The large pictures are worth packing.
    for (int t = 0; t < kThemeCount; ++t) {
        EXPECT_EQ(Compression(Embedded(ThemePrefix(SkinSet::Main, t) + "BACK")), gfx::kCodePrle);
    }
    EXPECT_GT(packed, 100);
}

TEST(SkinPictures, ConsolePicturesShareTheirBackgroundsPaletteWithTheReservedColours) {
    for (int t = 0; t < kThemeCount; ++t) {
        for (SkinSet set : {SkinSet::Main, SkinSet::Pro}) {
            const std::string back = ThemePrefix(set, t) + "BACK";
            const Loaded b = Load(back);
            ASSERT_EQ(b.palette.size(), 256u) << back;
            for (const SkinImage& entry : ThemeImages(t)) {
                if (entry.set != set) continue;
                EXPECT_TRUE(Load(entry.name).palette == b.palette) << entry.name << " vs " << back;
            }
            auto has = [&](int r, int g, int bl) {
                for (int i = 0; i < 256; ++i) {
                    const auto& e = b.palette[static_cast<std::size_t>(i)];
                    if (i != kTransparentIndex && e.red == r && e.green == g && e.blue == bl)
                        return true;
                }
                return false;
            };
            // The text green and a 16-step ramp to it from the panels' black.
            for (int k = 0; k < 16; ++k)
                EXPECT_TRUE(has(0, (255 * k + 7) / 15, 0)) << back << " step " << k;
            if (set == SkinSet::Pro) {
                for (const Rgb& c : {kProLaneEnabled, kProLaneDisabled, kProThumbnailBack}) {
                    EXPECT_TRUE(has(c.r, c.g, c.b)) << back;
                }
                EXPECT_TRUE(has(255, 0, 0));
                EXPECT_TRUE(has(0, 0, 255));
                EXPECT_TRUE(has(255, 255, 255));
                EXPECT_TRUE(has(0, 0, 0));
            }
        }
    }
}

TEST(SkinPictures, IndexTwoHundredFiftyTwoAppearsExactlyWhereTransparencyIsMeant) {
    for (const SkinImage& entry : AllSkinImages()) {
        const Loaded img = Load(entry.name);
        ASSERT_EQ(img.indices.size(), static_cast<std::size_t>(entry.width * entry.height))
            << entry.name;
        const Bytes mask = Mask(entry.name, entry.width, entry.height);
        EXPECT_EQ(!mask.empty(), entry.masked) << entry.name;
        int transparent = 0;
        for (std::size_t i = 0; i < img.indices.size(); ++i) {
            const bool key = img.indices[i] == kTransparentIndex;
            const bool meant = !mask.empty() && mask[i];
            if (key != meant) {
                ADD_FAILURE() << entry.name << " pixel " << i % entry.width << ","
                              << i / entry.width
                              << (key ? " is transparent" : " is not transparent");
                break;
            }
            transparent += key;
        }
        if (entry.masked) {
            EXPECT_GT(transparent, 0) << entry.name;
        }
    }
}

TEST(SkinPictures, PadsShowTheBackgroundAtTheirCornersAndNeverInTheirMiddle) {
    for (int t = 0; t < kThemeCount; ++t) {
        for (int c = 0; c < kChannelCount; ++c) {
            for (int s = 0; s < 4; ++s) {
                const std::string name =
                    ThemePrefix(SkinSet::Main, t) + PadSuffix(c, static_cast<PadState>(s));
                const Loaded img = Load(name);
                auto at = [&](int x, int y) {
                    return img.indices[static_cast<std::size_t>(y * img.width + x)];
                };
                EXPECT_EQ(at(0, 0), kTransparentIndex) << name;
                EXPECT_EQ(at(img.width - 1, img.height - 1), kTransparentIndex) << name;
                // The middle third (light, number, cap) is all drawn.
                for (int y = img.height / 3; y < 2 * img.height / 3; ++y)
                    for (int x = img.width / 3; x < 2 * img.width / 3; ++x)
                        ASSERT_NE(at(x, y), kTransparentIndex) << name << " " << x << "," << y;
            }
        }
    }
}

TEST(SkinPictures, MeterLeavesThePowerSwitchVisibleAndLightsFromTheMiddle) {
    for (int t = 0; t < kThemeCount; ++t) {
        for (const char* which : {"METER0", "METER1"}) {
            const Loaded m = Load(ThemePrefix(SkinSet::Main, t) + which);
            const Rect sw{kPowerSwitch.x - kMeterWindow.x, kPowerSwitch.y - kMeterWindow.y,
                          kPowerSwitch.w, kPowerSwitch.h};
            int leftLit = 0, rightLit = 0;
            for (int y = 0; y < m.height; ++y) {
                for (int x = 0; x < m.width; ++x) {
                    const auto v = m.indices[static_cast<std::size_t>(y * m.width + x)];
                    if (sw.Contains(x, y)) {
                        ASSERT_EQ(v, kTransparentIndex) << which << " " << x << "," << y;
                    }
                    if (v != kTransparentIndex) (x < kMeterHalfWidth ? leftLit : rightLit) += 1;
                }
            }
            // Both channels' halves are drawn, mirror images in extent.
            EXPECT_GT(leftLit, 100);
            EXPECT_NEAR(leftLit, rightLit, leftLit / 10);
        }
    }
}

TEST(SkinPictures, TheMasterFaderRisesWithItsStep) {
    for (int t = 0; t < kThemeCount; ++t) {
        const Loaded back = Load(ThemePrefix(SkinSet::Main, t) + "BACK");
        int previousTop = 1 << 20;
        for (int step = 0; step < kMasterVolumePictures; ++step) {
            const Loaded v = Load(ThemePrefix(SkinSet::Main, t) + VolumeSuffix(step));
            // The topmost row of the fader's column that differs from the background.
            const int column = 606 - kMasterVolumePicture.x;
            int top = -1;
            for (int y = 0; y < v.height && top < 0; ++y) {
                const auto own = v.indices[static_cast<std::size_t>(y * v.width + column)];
                const auto under = back.indices[static_cast<std::size_t>(
                    (kMasterVolumePicture.y + y) * back.width + kMasterVolumePicture.x + column)];
                if (own != kTransparentIndex && own != under) top = y;
            }
            ASSERT_GE(top, 0);
            EXPECT_LT(top, previousTop) << "step " << step;
            previousTop = top;
            // The cap stays inside the area a click moves it in.
            EXPECT_GE(top + kMasterVolumePicture.y, kMasterVolumeTopY - 8);
        }
    }
}

// Pictures that carry the background of their seat (buttons, power switch,
// mode pictures) match BACK to the palette index there, so no outline of
// the picture shows on the console.
TEST(SkinPictures, PicturesCarryingTheirSeatMatchTheBackgroundExactly) {
    for (int t = 0; t < kThemeCount; ++t) {
        const std::string m = ThemePrefix(SkinSet::Main, t);
        const Loaded back = Load(m + "BACK");
        std::vector<std::pair<std::string, Rect>> seats = {
            {"POWERU", kPowerSwitch},      {"POWERD", kPowerSwitch},
            {"KVOLU", kVolumeModePicture}, {"KVOLD", kVolumeModePicture},
            {"KPANU", kPanModePicture},    {"KPAND", kPanModePicture}};
        const char* buttons[7] = {"BTNFILE", "BTNDRUM", "BTNAUDIO", "BTNPRO",
                                  "BTNPLAY", "BTNSTOP", "BTNRECORD"};
        for (int b = 0; b < 7; ++b) {
            for (const char* state : {"U", "D", "F"}) {
                seats.push_back(
                    {std::string(buttons[b]) + state, ButtonRect(static_cast<ConsoleButton>(b))});
            }
        }
        for (const auto& [suffix, seat] : seats) {
            const Loaded img = Load(m + suffix);
            // The top-left corner lies outside every rounded shape.
            EXPECT_EQ(img.indices[0],
                      back.indices[static_cast<std::size_t>(seat.y * back.width + seat.x)])
                << m << suffix;
        }
    }
}

// The console copies these masked over what the previous picture of the
// same place left; only a shared mask leaves nothing of the old one behind.
TEST(SkinPictures, PicturesThatReplaceEachOtherShareOneMask) {
    auto keyOf = [](const Loaded& img) {
        Bytes key(img.indices.size());
        for (std::size_t i = 0; i < key.size(); ++i)
            key[i] = img.indices[i] == kTransparentIndex;
        return key;
    };
    for (int t = 0; t < kThemeCount; ++t) {
        const std::string m = ThemePrefix(SkinSet::Main, t);
        for (int c = 0; c < kChannelCount; ++c) {
            const Bytes first = keyOf(Load(m + PadSuffix(c, PadState::Empty)));
            for (PadState s : {PadState::Sounding, PadState::Loaded, PadState::SoundingBlink}) {
                EXPECT_TRUE(keyOf(Load(m + PadSuffix(c, s))) == first) << m << PadSuffix(c, s);
            }
        }
        const Bytes vol = keyOf(Load(m + VolumeSuffix(0)));
        for (int step = 1; step < kMasterVolumePictures; ++step) {
            EXPECT_TRUE(keyOf(Load(m + VolumeSuffix(step))) == vol) << m << VolumeSuffix(step);
        }
        EXPECT_TRUE(keyOf(Load(m + "METER0")) == keyOf(Load(m + "METER1"))) << m;
    }
}

TEST(SkinPictures, TexturesTileWithoutASeam) {
    for (int t = 0; t < kThemeCount; ++t) {
        const Loaded tex = Load(ThemePrefix(SkinSet::General, t) + "BACKTEX");
        auto colour = [&](int x, int y) {
            const auto& e = tex.palette[tex.indices[static_cast<std::size_t>(y * tex.width + x)]];
            return std::array<int, 3>{e.red, e.green, e.blue};
        };
        auto diff = [&](int x0, int y0, int x1, int y1) {
            const auto a = colour(x0, y0), b = colour(x1, y1);
            return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
        };
        double seamX = 0, insideX = 0, seamY = 0, insideY = 0;
        for (int y = 0; y < tex.height; ++y) {
            seamX += diff(tex.width - 1, y, 0, y);
            insideX += diff(tex.width / 2 - 1, y, tex.width / 2, y);
        }
        for (int x = 0; x < tex.width; ++x) {
            seamY += diff(x, tex.height - 1, x, 0);
            insideY += diff(x, tex.height / 2 - 1, x, tex.height / 2);
        }
        EXPECT_LT(seamX, insideX * 1.6 + tex.height) << t;
        EXPECT_LT(seamY, insideY * 1.6 + tex.width) << t;
    }
}

TEST(SkinPictures, TheToolkitReadsTheButtonsAndDialogPicturesAsTheGraphicsLibraryDoes) {
    for (const SkinImage& entry : AllSkinImages()) {
        if (entry.reader != SkinReader::Toolkit) continue;
        const auto data = Embedded(entry.name);
        const QImage q = QImage::fromData(QByteArray(reinterpret_cast<const char*>(data.data()),
                                                     static_cast<qsizetype>(data.size())),
                                          "BMP");
        ASSERT_FALSE(q.isNull()) << entry.name;
        ASSERT_EQ(q.width(), entry.width);
        ASSERT_EQ(q.height(), entry.height);
        const Loaded img = Load(entry.name);
        for (int y = 0; y < entry.height; ++y) {
            for (int x = 0; x < entry.width; ++x) {
                const auto& e =
                    img.palette[img.indices[static_cast<std::size_t>(y * entry.width + x)]];
                const QRgb c = q.pixel(x, y);
                ASSERT_EQ(qRgb(qRed(c), qGreen(c), qBlue(c)), qRgb(e.red, e.green, e.blue))
                    << entry.name << " " << x << "," << y;
            }
        }
    }
}

TEST(SkinPictures, CursorsKeepTheirHotSpotOnTheDrawnShape) {
    for (const SkinImage& entry : SharedImages()) {
        if (entry.hotX < 0) continue;
        const Loaded img = Load(entry.name);
        // The hot spot lies on the shape or right beside it.
        bool near = false;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const int x = entry.hotX + dx, y = entry.hotY + dy;
                if (x >= 0 && y >= 0 && x < img.width && y < img.height &&
                    img.indices[static_cast<std::size_t>(y * img.width + x)] != kTransparentIndex)
                    near = true;
            }
        EXPECT_TRUE(near) << entry.name;
    }
}

TEST(SkinGenerator, TwoRunsGiveIdenticalBytes) {
    test::TempDir dir;
    const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + TAMBORO_SKINS_TOOL +
                                "' '" + dir.Path() + "' > /dev/null 2>&1";
    ASSERT_EQ(test::RunCommand(command), 0);
    for (const SkinImage& entry : AllSkinImages()) {
        const std::string file = "/bmp/" + entry.name + ".bmp";
        const Bytes again = test::ReadAll(dir.Path() + file);
        const Bytes built = test::ReadAll(std::string(TAMBORO_SKIN_DIR) + file);
        ASSERT_FALSE(again.empty()) << entry.name;
        EXPECT_TRUE(again == built) << entry.name;
        const auto embedded = Embedded(entry.name);
        EXPECT_TRUE(Bytes(embedded.begin(), embedded.end()) == built) << entry.name;
        if (entry.masked) {
            EXPECT_TRUE(
                test::ReadAll(dir.Path() + "/masks/" + entry.name + ".pbm") ==
                test::ReadAll(std::string(TAMBORO_SKIN_DIR) + "/masks/" + entry.name + ".pbm"))
                << entry.name;
        }
    }
    EXPECT_TRUE(test::ReadAll(dir.Path() + "/manifest.txt") ==
                test::ReadAll(std::string(TAMBORO_SKIN_DIR) + "/manifest.txt"));
    for (int size : kIconThemeSizes) {
        const std::string png =
            "/icons/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/tamboro.png";
        const QImage icon(QString::fromStdString(dir.Path() + png));
        EXPECT_EQ(icon.width(), size);
        EXPECT_TRUE(icon.hasAlphaChannel());
    }
    const Bytes svg = test::ReadAll(dir.Path() + "/icons/scalable/apps/tamboro.svg");
    EXPECT_NE(std::string(svg.begin(), svg.end()).find("<svg"), std::string::npos);
}

}  // namespace
}  // namespace tamboro::console::layout
