#pragma once
// Chooses a 256-colour palette for a set of true-colour pictures and maps
// pictures onto a palette.
//
// Palette choice: median cut over a histogram of the pictures' colours
// (binned to 6 bits a component, each bin keeping the mean of its colours),
// splitting first the box with the largest weighted spread along its longest
// axis at its weighted median; then a few Lloyd passes move every chosen
// colour to the mean of the colours nearest to it. Fixed entries (exact
// colours a program draws with, a transparent key) keep their index and
// colour and take part in the nearest search, so the chosen colours go where
// the fixed ones do not reach.
//
// Distances weigh red, green and blue 3:4:2 (squared), a cheap stand-in for
// perceived difference. Toolkit-free; not thread-safe per object.
#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace tamboro::gfx {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr std::uint32_t PackRgb(Rgb c) {
    return static_cast<std::uint32_t>(c.r) << 16 | static_cast<std::uint32_t>(c.g) << 8 | c.b;
}
constexpr Rgb UnpackRgb(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// The weighted squared distance used throughout.
constexpr int ColourDistance(Rgb a, Rgb b) {
    const int dr = a.r - b.r;
    const int dg = a.g - b.g;
    const int db = a.b - b.b;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

struct FixedEntry {
    int index = 0;  // 0..255
    Rgb colour;
    bool usable = true;  // false: kept in the palette but never chosen by mapping (a key)
};

using Palette256 = std::array<Rgb, 256>;

class ColorQuantizer {
  public:
    // Counts `weight` for each pixel (0xRRGGBB in the low 24 bits).
    void Add(std::span<const std::uint32_t> pixels, std::uint32_t weight = 1);
    void Add(std::uint32_t rgb, std::uint32_t weight = 1);

    // A palette holding every fixed entry at its index and, in the other
    // slots, colours chosen for the counted pixels (slots left over when
    // there are fewer distinct colours than free slots repeat black).
    // Colours equal to a usable fixed entry are not counted again.
    Palette256 Build(std::span<const FixedEntry> fixed, int lloydPasses = 3) const;

    std::size_t BinCount() const { return m_bins.size(); }

  private:
    struct Bin {
        std::uint64_t r = 0, g = 0, b = 0, w = 0;
    };
    std::unordered_map<std::uint32_t, Bin> m_bins;  // key: 6-bit components
};

// Maps colours to the nearest usable palette entry, with a cache.
class PaletteMapper {
  public:
    // `usable[i]` false keeps entry i out of every answer (transparent keys).
    PaletteMapper(const Palette256& palette, const std::array<bool, 256>& usable);

    std::uint8_t Nearest(std::uint32_t rgb);

    // Maps a picture of `width` × `height` pixels (0xRRGGBB, rows top
    // first) into `out`. Pixels whose `transparent` byte is nonzero (when
    // given) become `transparentIndex`. With `dither` above 0, the rounding
    // error of each pixel is spread Floyd-Steinberg style (serpentine) to
    // its neighbours, scaled by `dither` (0..1); pixels whose colour is
    // exactly a palette entry keep it and neither spread nor take error, so
    // flat areas drawn in exact colours stay exact.
    void Map(std::span<const std::uint32_t> pixels, int width, int height, std::uint8_t* out,
             const std::uint8_t* transparent, std::uint8_t transparentIndex, float dither);

  private:
    Palette256 m_palette;
    std::array<bool, 256> m_usable;
    std::unordered_map<std::uint32_t, std::uint8_t> m_cache;
    std::unordered_map<std::uint32_t, std::uint8_t> m_exact;
};

}  // namespace tamboro::gfx
