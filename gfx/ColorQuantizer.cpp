#include "gfx/ColorQuantizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tamboro::gfx {
namespace {

struct Sample {
    float r, g, b;  // mean colour of a bin
    double w;       // its weight
};

constexpr float kWeight[3] = {3.0f, 4.0f, 2.0f};

float Component(const Sample& s, int axis) {
    return axis == 0 ? s.r : axis == 1 ? s.g : s.b;
}

float Distance(const Sample& s, float r, float g, float b) {
    const float dr = s.r - r, dg = s.g - g, db = s.b - b;
    return kWeight[0] * dr * dr + kWeight[1] * dg * dg + kWeight[2] * db * db;
}

struct Box {
    std::size_t begin = 0, end = 0;
    int axis = 0;
    double score = 0;  // weight × squared weighted range of the longest axis
};

void Measure(const std::vector<Sample>& s, Box& box) {
    float lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    double w = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], Component(s[i], a));
            hi[a] = std::max(hi[a], Component(s[i], a));
        }
        w += s[i].w;
    }
    float best = -1;
    for (int a = 0; a < 3; ++a) {
        const float range = (hi[a] - lo[a]) * std::sqrt(kWeight[a]);
        if (range > best) {
            best = range;
            box.axis = a;
        }
    }
    box.score = box.end - box.begin < 2 ? 0 : w * static_cast<double>(best) * best;
}

}  // namespace

void ColorQuantizer::Add(std::uint32_t rgb, std::uint32_t weight) {
    const Rgb c = UnpackRgb(rgb);
    const std::uint32_t key = (c.r >> 2) << 12 | (c.g >> 2) << 6 | (c.b >> 2);
    Bin& bin = m_bins[key];
    bin.r += static_cast<std::uint64_t>(c.r) * weight;
    bin.g += static_cast<std::uint64_t>(c.g) * weight;
    bin.b += static_cast<std::uint64_t>(c.b) * weight;
    bin.w += weight;
}

void ColorQuantizer::Add(std::span<const std::uint32_t> pixels, std::uint32_t weight) {
    for (std::uint32_t p : pixels)
        Add(p & 0xFFFFFFu, weight);
}

Palette256 ColorQuantizer::Build(std::span<const FixedEntry> fixed, int lloydPasses) const {
    Palette256 palette{};
    std::array<bool, 256> taken{};
    std::vector<Rgb> anchors;  // usable fixed colours: they absorb their neighbours
    for (const FixedEntry& f : fixed) {
        if (f.index < 0 || f.index > 255) continue;
        palette[static_cast<std::size_t>(f.index)] = f.colour;
        taken[static_cast<std::size_t>(f.index)] = true;
        if (f.usable) anchors.push_back(f.colour);
    }
    std::vector<int> freeSlots;
    for (int i = 0; i < 256; ++i)
        if (!taken[static_cast<std::size_t>(i)]) freeSlots.push_back(i);

    // Samples in a fixed order (the map's order is not), without the colours
    // a fixed entry already gives exactly.
    std::vector<std::pair<std::uint32_t, Bin>> bins(m_bins.begin(), m_bins.end());
    std::sort(bins.begin(), bins.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Sample> samples;
    samples.reserve(bins.size());
    for (const auto& [key, bin] : bins) {
        const double w = static_cast<double>(bin.w);
        Sample s{static_cast<float>(bin.r / w), static_cast<float>(bin.g / w),
                 static_cast<float>(bin.b / w), w};
        bool exact = false;
        for (const Rgb& a : anchors) {
            if (Distance(s, a.r, a.g, a.b) < 0.5f) exact = true;
        }
        if (!exact) samples.push_back(s);
    }

    // Median cut into as many boxes as there are free slots.
    std::vector<Box> boxes;
    if (!samples.empty()) {
        Box all{0, samples.size()};
        Measure(samples, all);
        boxes.push_back(all);
    }
    while (boxes.size() < freeSlots.size()) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.score < b.score; });
        if (it == boxes.end() || it->score <= 0) break;
        Box box = *it;
        const int axis = box.axis;
        auto first = samples.begin() + static_cast<std::ptrdiff_t>(box.begin);
        auto last = samples.begin() + static_cast<std::ptrdiff_t>(box.end);
        std::sort(first, last, [axis](const Sample& a, const Sample& b) {
            return Component(a, axis) < Component(b, axis);
        });
        double total = 0;
        for (auto p = first; p != last; ++p)
            total += p->w;
        double run = 0;
        std::size_t cut = box.begin + 1;
        for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
            run += samples[i].w;
            cut = i + 1;
            if (run >= total / 2) break;
        }
        Box a{box.begin, cut}, b{cut, box.end};
        Measure(samples, a);
        Measure(samples, b);
        *it = a;
        boxes.push_back(b);
    }

    // Each box's weighted mean, then Lloyd passes over every sample.
    std::vector<std::array<float, 3>> centres;
    for (const Box& box : boxes) {
        double r = 0, g = 0, b = 0, w = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            r += samples[i].r * samples[i].w;
            g += samples[i].g * samples[i].w;
            b += samples[i].b * samples[i].w;
            w += samples[i].w;
        }
        centres.push_back(
            {static_cast<float>(r / w), static_cast<float>(g / w), static_cast<float>(b / w)});
    }
    for (int pass = 0; pass < lloydPasses && !centres.empty(); ++pass) {
        std::vector<std::array<double, 4>> sums(centres.size(), {0, 0, 0, 0});
        for (const Sample& s : samples) {
            float best = std::numeric_limits<float>::max();
            int which = -1;
            for (std::size_t c = 0; c < centres.size(); ++c) {
                const float d = Distance(s, centres[c][0], centres[c][1], centres[c][2]);
                if (d < best) {
                    best = d;
                    which = static_cast<int>(c);
                }
            }
            for (const Rgb& a : anchors) {
                if (Distance(s, a.r, a.g, a.b) < best) {
                    which = -1;
                    break;
                }
            }
            if (which < 0) continue;
            auto& sum = sums[static_cast<std::size_t>(which)];
            sum[0] += s.r * s.w;
            sum[1] += s.g * s.w;
            sum[2] += s.b * s.w;
            sum[3] += s.w;
        }
        for (std::size_t c = 0; c < centres.size(); ++c) {
            if (sums[c][3] <= 0) continue;  // keeps its place
            for (int a = 0; a < 3; ++a)
                centres[c][static_cast<std::size_t>(a)] =
                    static_cast<float>(sums[c][static_cast<std::size_t>(a)] / sums[c][3]);
        }
    }
    // Darkest first, so palettes read well in a viewer.
    std::sort(centres.begin(), centres.end(), [](const auto& a, const auto& b) {
        const float la = a[0] * 3 + a[1] * 4 + a[2] * 2, lb = b[0] * 3 + b[1] * 4 + b[2] * 2;
        return la != lb ? la < lb : a < b;
    });
    for (std::size_t i = 0; i < centres.size() && i < freeSlots.size(); ++i) {
        auto to8 = [](float v) {
            return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        };
        palette[static_cast<std::size_t>(freeSlots[i])] = {to8(centres[i][0]), to8(centres[i][1]),
                                                           to8(centres[i][2])};
    }
    return palette;
}

PaletteMapper::PaletteMapper(const Palette256& palette, const std::array<bool, 256>& usable)
    : m_palette(palette), m_usable(usable) {
    // The lowest index wins for duplicated colours, as in Nearest.
    for (int i = 255; i >= 0; --i) {
        if (m_usable[static_cast<std::size_t>(i)]) {
            m_exact[PackRgb(m_palette[static_cast<std::size_t>(i)])] = static_cast<std::uint8_t>(i);
        }
    }
}

std::uint8_t PaletteMapper::Nearest(std::uint32_t rgb) {
    rgb &= 0xFFFFFFu;
    if (auto it = m_cache.find(rgb); it != m_cache.end()) return it->second;
    const Rgb c = UnpackRgb(rgb);
    int best = std::numeric_limits<int>::max();
    std::uint8_t which = 0;
    for (int i = 0; i < 256; ++i) {
        if (!m_usable[static_cast<std::size_t>(i)]) continue;
        const int d = ColourDistance(c, m_palette[static_cast<std::size_t>(i)]);
        if (d < best) {
            best = d;
            which = static_cast<std::uint8_t>(i);
        }
    }
    m_cache.emplace(rgb, which);
    return which;
}

void PaletteMapper::Map(std::span<const std::uint32_t> pixels, int width, int height,
                        std::uint8_t* out, const std::uint8_t* transparent,
                        std::uint8_t transparentIndex, float dither) {
    const std::size_t w = static_cast<std::size_t>(width);
    if (dither <= 0) {
        for (std::size_t i = 0; i < w * static_cast<std::size_t>(height); ++i) {
            out[i] = transparent && transparent[i] ? transparentIndex : Nearest(pixels[i]);
        }
        return;
    }
    // Error rows with one guard column on each side.
    std::vector<std::array<float, 3>> cur(w + 2, {0, 0, 0}), next(w + 2, {0, 0, 0});
    for (int y = 0; y < height; ++y) {
        const bool leftToRight = (y & 1) == 0;
        std::fill(next.begin(), next.end(), std::array<float, 3>{0, 0, 0});
        for (int k = 0; k < width; ++k) {
            const int x = leftToRight ? k : width - 1 - k;
            const std::size_t i = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
            const std::size_t e = static_cast<std::size_t>(x) + 1;
            if (transparent && transparent[i]) {
                out[i] = transparentIndex;
                continue;
            }
            const std::uint32_t p = pixels[i] & 0xFFFFFFu;
            if (auto it = m_exact.find(p); it != m_exact.end()) {
                out[i] = it->second;
                continue;
            }
            const Rgb c = UnpackRgb(p);
            float want[3] = {c.r + cur[e][0], c.g + cur[e][1], c.b + cur[e][2]};
            std::uint8_t q[3];
            for (int a = 0; a < 3; ++a)
                q[a] = static_cast<std::uint8_t>(std::clamp(std::lround(want[a]), 0L, 255L));
            const std::uint8_t index = Nearest(PackRgb({q[0], q[1], q[2]}));
            out[i] = index;
            const Rgb got = m_palette[index];
            const float err[3] = {(want[0] - got.r) * dither, (want[1] - got.g) * dither,
                                  (want[2] - got.b) * dither};
            const std::size_t ahead = leftToRight ? e + 1 : e - 1;
            const std::size_t behind = leftToRight ? e - 1 : e + 1;
            for (int a = 0; a < 3; ++a) {
                const float v = std::clamp(err[a], -48.0f, 48.0f);
                cur[ahead][static_cast<std::size_t>(a)] += v * 7 / 16;
                next[behind][static_cast<std::size_t>(a)] += v * 3 / 16;
                next[e][static_cast<std::size_t>(a)] += v * 5 / 16;
                next[ahead][static_cast<std::size_t>(a)] += v * 1 / 16;
            }
        }
        std::swap(cur, next);
    }
}

}  // namespace tamboro::gfx
