// Palette choice and mapping: fixed entries stay where they were asked,
// pictures with few colours come back exactly, many colours are served
// better than by a uniform palette, keys are never chosen, and dithering
// keeps exact colours exact while bringing an area's mean closer.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gfx/ColorQuantizer.h"

namespace tamboro::gfx {
namespace {

std::array<bool, 256> AllUsableBut(int key) {
    std::array<bool, 256> u{};
    u.fill(true);
    if (key >= 0) u[static_cast<std::size_t>(key)] = false;
    return u;
}

TEST(ColorQuantizer, FixedEntriesKeepTheirIndexAndFewColoursComeBackExactly) {
    ColorQuantizer q;
    std::vector<std::uint32_t> colours;
    for (int i = 0; i < 100; ++i) {
        // Distinct 6-bit bins: steps of 8 in red and 12 in blue.
        colours.push_back(
            PackRgb({static_cast<std::uint8_t>((i % 10) * 24), static_cast<std::uint8_t>(i * 2),
                     static_cast<std::uint8_t>((i / 10) * 24)}));
    }
    q.Add(colours, 5);
    const FixedEntry fixed[] = {
        {0, {0, 255, 0}}, {252, {255, 0, 255}, false}, {17, {148, 173, 123}}};
    const Palette256 p = q.Build(fixed);
    EXPECT_EQ(p[0], (Rgb{0, 255, 0}));
    EXPECT_EQ(p[252], (Rgb{255, 0, 255}));
    EXPECT_EQ(p[17], (Rgb{148, 173, 123}));
    PaletteMapper m(p, AllUsableBut(252));
    for (std::uint32_t c : colours) {
        EXPECT_EQ(PackRgb(p[m.Nearest(c)]), c) << std::hex << c;
    }
    // A colour equal to the key is served by another entry.
    EXPECT_NE(m.Nearest(0xFF00FF), 252);
}

double MeanError(const Palette256& p, const std::vector<std::uint32_t>& pixels) {
    PaletteMapper m(p, AllUsableBut(-1));
    double sum = 0;
    for (std::uint32_t c : pixels)
        sum += ColourDistance(UnpackRgb(c), p[m.Nearest(c)]);
    return sum / static_cast<double>(pixels.size());
}

TEST(ColorQuantizer, ManyColoursAreServedBetterThanByAUniformPalette) {
    // A skin-like picture: mostly warm wood tones and greys, a few lights.
    std::mt19937 rng(7);
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 60000; ++i) {
        const int t = static_cast<int>(rng() % 200);
        const int n = static_cast<int>(rng() % 9) - 4;
        Rgb c;
        if (i % 50 == 0) {
            c = {255, static_cast<std::uint8_t>(150 + rng() % 60), 0};
        } else if (i % 2) {
            c = {static_cast<std::uint8_t>(60 + t / 2 + n), static_cast<std::uint8_t>(35 + t / 3),
                 static_cast<std::uint8_t>(20 + t / 5)};
        } else {
            const auto g = static_cast<std::uint8_t>(30 + t + n);
            c = {g, g, static_cast<std::uint8_t>(g + 6)};
        }
        pixels.push_back(PackRgb(c));
    }
    ColorQuantizer q;
    q.Add(pixels);
    const Palette256 chosen = q.Build({});
    Palette256 uniform{};
    for (int i = 0; i < 252; ++i) {  // 6 × 7 × 6 levels
        uniform[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>((i / 42) * 51),
                                                static_cast<std::uint8_t>((i / 6 % 7) * 42),
                                                static_cast<std::uint8_t>((i % 6) * 51)};
    }
    const double mine = MeanError(chosen, pixels);
    const double peer = MeanError(uniform, pixels);
    EXPECT_LT(mine * 4, peer) << mine << " vs " << peer;
    EXPECT_LT(mine, 12.0);  // about one step of one component on average
}

TEST(PaletteMapper, DitheringKeepsExactColoursAndBringsTheMeanCloser) {
    Palette256 p{};
    for (int i = 0; i < 256; ++i)
        p[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i & ~31), 0, 0};
    p[5] = {7, 200, 9};  // an exact colour among the steps
    const int w = 64, h = 16;
    std::vector<std::uint32_t> pixels(w * h, PackRgb({80, 0, 0}));  // between 64 and 96
    for (int x = 0; x < w; ++x)
        pixels[static_cast<std::size_t>(8 * w + x)] = PackRgb({7, 200, 9});
    std::vector<std::uint8_t> transparent(w * h, 0);
    transparent[3] = 1;
    std::vector<std::uint8_t> plain(w * h), dithered(w * h);
    PaletteMapper m(p, AllUsableBut(252));
    m.Map(pixels, w, h, plain.data(), transparent.data(), 252, 0.0f);
    m.Map(pixels, w, h, dithered.data(), transparent.data(), 252, 1.0f);
    double meanPlain = 0, meanDithered = 0;
    int n = 0;
    for (int i = 0; i < w * h; ++i) {
        if (i == 3) {
            EXPECT_EQ(plain[i], 252);
            EXPECT_EQ(dithered[i], 252);
            continue;
        }
        if (i / w == 8) {
            EXPECT_EQ(dithered[i], 5) << i;
            continue;
        }
        meanPlain += p[plain[i]].r;
        meanDithered += p[dithered[i]].r;
        ++n;
    }
    meanPlain /= n;
    meanDithered /= n;
    EXPECT_LT(std::abs(meanDithered - 80), 4.0);
    EXPECT_GT(std::abs(meanPlain - 80), 10.0);
}

}  // namespace
}  // namespace tamboro::gfx
