#pragma once
// Helpers for the graphics tests: packed bitmaps built byte by byte, and
// pictures that look like random noise or like the console's skins.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "base/ByteOrder.h"
#include "gfx/BitmapHeader.h"

namespace tamboro::gfx::test {

using Bytes = std::vector<std::uint8_t>;

struct BitmapSpec {
    int width = 0;
    int height = 0;
    int bits = 8;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    bool masks = false;  // three masks after the header
    std::uint32_t maskValues[3] = {0x7C00, 0x03E0, 0x001F};
    bool fileHeader = false;
};

// A packed bitmap with a grey colour table (entry i = i, i, i) and the given
// stored rows (row bytes each, bottom row first), or zero pixels.
inline Bytes MakeBitmap(const BitmapSpec& s, const Bytes& pixels = {}) {
    const std::uint32_t entries = s.bits <= 8 ? (s.coloursUsed ? s.coloursUsed : 1u << s.bits) : 0;
    const std::uint32_t rowBytes = RowBytesForBits(s.bits, static_cast<std::uint32_t>(s.width));
    const std::size_t header = 40 + 4 * entries + (s.masks ? 12 : 0);
    const std::size_t image = static_cast<std::size_t>(rowBytes) * s.height;
    Bytes b((s.fileHeader ? 14 : 0) + header + image);
    std::uint8_t* h = b.data();
    if (s.fileHeader) {
        h[0] = 'B';
        h[1] = 'M';
        base::StoreLe<32>(h + 2, static_cast<std::uint32_t>(b.size()));
        base::StoreLe<32>(h + 10, static_cast<std::uint32_t>(14 + header));
        h += 14;
    }
    base::StoreLe<32>(h, 40);
    base::StoreLe<32>(h + 4, static_cast<std::uint32_t>(s.width));
    base::StoreLe<32>(h + 8, static_cast<std::uint32_t>(s.height));
    base::StoreLe<16>(h + 12, 1);
    base::StoreLe<16>(h + 14, static_cast<std::uint16_t>(s.bits));
    base::StoreLe<32>(h + 16, s.compression);
    base::StoreLe<32>(h + 32, s.coloursUsed);
    for (std::uint32_t i = 0; i < entries; ++i) {
        h[40 + 4 * i] = h[41 + 4 * i] = h[42 + 4 * i] = static_cast<std::uint8_t>(i);
    }
    if (s.masks) {
        for (int i = 0; i < 3; ++i)
            base::StoreLe<32>(h + 40 + 4 * entries + 4 * i, s.maskValues[i]);
    }
    if (!pixels.empty()) std::memcpy(h + header, pixels.data(), std::min(image, pixels.size()));
    return b;
}

// Random stored rows (padding bytes zero so that round trips compare whole rows).
inline Bytes RandomRows(int width, int height, int bits, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const std::uint32_t rowBytes = RowBytesForBits(bits, static_cast<std::uint32_t>(width));
    const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
    Bytes p(static_cast<std::size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < used; ++x)
            p[y * rowBytes + x] = static_cast<std::uint8_t>(rng());
    }
    return p;
}

// An 8-bit picture like a skin: a frame of key colour 252 (or 0), flat
// areas, a gradient and a little noise.
inline Bytes SkinRows(int width, int height, std::uint32_t seed, std::uint8_t key = 252) {
    std::mt19937 rng(seed);
    const std::uint32_t rowBytes = RowBytesForBits(8, static_cast<std::uint32_t>(width));
    Bytes p(static_cast<std::size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t v;
            const int cx = x - width / 2, cy = y - height / 2;
            if (cx * cx * height * height + cy * cy * width * width >
                width * width * height * height / 4) {
                v = key;  // outside the rounded pad
            } else if (y < height / 3) {
                v = static_cast<std::uint8_t>(40 + x * 60 / std::max(width, 1));  // gradient
            } else if (rng() % 23 == 0) {
                v = static_cast<std::uint8_t>(rng());  // speckle
            } else {
                v = static_cast<std::uint8_t>(100 + (x / 9) % 3);  // flat bands
            }
            p[y * rowBytes + x] = v;
        }
    }
    return p;
}

}  // namespace tamboro::gfx::test
